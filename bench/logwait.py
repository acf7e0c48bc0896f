#!/usr/bin/env python3
"""When a log's last line arrives: waits until one of the last lines of FILE ends with
TEXT and prints the wall-clock time of that moment in milliseconds since the epoch.

usage: logwait.py FILE TEXT TIMEOUT-S

The flood benchmark starts it with the flood, so that the end of the flood is timed to a
few milliseconds while the bench types its lines meanwhile. It looks at the file's last
bytes every 5 ms: one small read, cheap enough not to slow the client it times.
"""
import os
import sys
import time


def has_line(path, text):
    # A line typed meanwhile may follow the awaited one: the last few lines are looked at.
    try:
        with open(path, "rb") as f:
            f.seek(0, os.SEEK_END)
            f.seek(max(0, f.tell() - 1024))
            tail = f.read()
    except OSError:
        return False
    return any(line.rstrip(b"\r").endswith(text) for line in tail.split(b"\n"))


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    path, text, timeout = sys.argv[1], sys.argv[2].encode(), float(sys.argv[3])
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if has_line(path, text):
            print(int(time.time() * 1000))
            return 0
        time.sleep(0.005)
    return 1


if __name__ == "__main__":
    sys.exit(main())
