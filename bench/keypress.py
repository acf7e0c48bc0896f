#!/usr/bin/env python3
"""Key presses for timing: types what it is told into the window under the pointer, from
one process that is already connected to the display, so that a timed key press does not
also time a program's start (xdotool's start-up alone takes tens of milliseconds on a
machine busy with a flood).

usage: keypress.py          (commands on standard input, one a line)
  type TEXT   presses and releases the keys of TEXT (letters and digits)
  enter       prints the wall-clock milliseconds since the epoch, then presses Return
"""
import ctypes
import ctypes.util
import sys
import time


def main():
    x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XStringToKeysym.restype = ctypes.c_ulong
    x.XStringToKeysym.argtypes = [ctypes.c_char_p]
    x.XKeysymToKeycode.restype = ctypes.c_ubyte
    x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x.XFlush.argtypes = [ctypes.c_void_p]
    xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
    display = x.XOpenDisplay(None)
    if not display:
        print("keypress: no display", file=sys.stderr)
        return 1

    def key(name):
        code = x.XKeysymToKeycode(display, x.XStringToKeysym(name.encode()))
        xtst.XTestFakeKeyEvent(display, code, 1, 0)
        xtst.XTestFakeKeyEvent(display, code, 0, 0)
        x.XFlush(display)

    for line in sys.stdin:
        command, _, arg = line.rstrip("\n").partition(" ")
        if command == "type":
            for ch in arg:
                key(ch)
                time.sleep(0.005)
        elif command == "enter":
            print(int(time.time() * 1000), flush=True)
            key("Return")
    return 0


if __name__ == "__main__":
    sys.exit(main())
