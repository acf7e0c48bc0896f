#!/usr/bin/env python3
"""Start-up time of a windowed program: starts COMMAND and prints how many milliseconds
passed until a top-level X window whose name contains TITLE was mapped.

usage: mapwait.py TITLE TIMEOUT-S COMMAND...

It listens for MapNotify on the root window (there is no window manager on the bench's
Xvfb display, so Wine's top-level windows are the root's children), so the time is the
moment the frame reaches the screen, not when a poller happened to look. The program is
left running; its process id is printed on the second line.
"""
import ctypes
import ctypes.util
import os
import select
import subprocess
import sys
import time

MAP_NOTIFY = 19
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19


def main():
    if len(sys.argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    title, timeout, command = sys.argv[1].encode(), float(sys.argv[2]), sys.argv[3:]
    x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XDefaultRootWindow.restype = ctypes.c_ulong
    x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
    x.XPending.argtypes = [ctypes.c_void_p]
    x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
    x.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]
    x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x.XConnectionNumber.argtypes = [ctypes.c_void_p]
    dpy = x.XOpenDisplay(None)
    if not dpy:
        print("mapwait: no display", file=sys.stderr)
        return 1
    x.XSelectInput(dpy, x.XDefaultRootWindow(dpy), SUBSTRUCTURE_NOTIFY_MASK)
    x.XSync(dpy, 0)
    event = (ctypes.c_long * 24)()
    start = time.monotonic()
    proc = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # Sleeps on the X connection until an event comes: a polling loop would take CPU from
    # the program being timed on a small machine.
    fd = x.XConnectionNumber(dpy)
    while time.monotonic() - start < timeout:
        if not x.XPending(dpy):
            select.select([fd], [], [], 0.05)
            continue
        x.XNextEvent(dpy, event)
        if ctypes.c_int.from_buffer(event).value != MAP_NOTIFY:
            continue
        # XMapEvent: type, serial, send_event, display, event, window.
        window = ctypes.c_ulong.from_buffer(event, 5 * ctypes.sizeof(ctypes.c_long)).value
        name = ctypes.c_char_p()
        if x.XFetchName(dpy, window, ctypes.byref(name)) and name.value and title in name.value:
            print("%.1f" % ((time.monotonic() - start) * 1000))
            print(proc.pid)
            sys.stdout.flush()
            os._exit(0)
    proc.kill()
    print("mapwait: no window named %s within %.0f s" % (title.decode(), timeout), file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
