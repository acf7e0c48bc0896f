#!/usr/bin/env bash
# Starts a private Xvfb display and prints its number; `tools/xvfb.sh stop N` ends it.
set -euo pipefail
if [ "${1:-}" = stop ]; then
  pidfile=/tmp/lvchat-xvfb-$2.pid
  [ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null || true
  rm -f "$pidfile"
  exit 0
fi
for n in $(seq 90 140); do
  [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  echo $! > /tmp/lvchat-xvfb-$n.pid
  for _ in $(seq 50); do
    [ -e /tmp/.X11-unix/X$n ] && { echo "$n"; exit 0; }
    sleep 0.1
  done
  kill $! 2>/dev/null || true
done
echo "xvfb: no free display" >&2
exit 1
