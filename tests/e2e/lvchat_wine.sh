#!/usr/bin/env bash
# End to end: lvserver with the demo data and lvchat.exe under Wine, configured to connect
# and log in on its own. Through the server's control console it checks that the client
# connected and logged in, that it was sent the room list, and that "/exit" typed into the
# status window ends the program cleanly with its friends file written. Screenshots of the
# running program are kept in the output folder (first argument, default build/e2e-lvchat).
#
# Environment: LV_SERVER (build/host/server/lvserver), LV_CHAT_EXE (build/win64/app/lvchat.exe),
# LV_WINEPREFIX (build/wineprefix), DISPLAY (a private Xvfb display is started without one).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
server=$(realpath -m "${LV_SERVER:-$root/build/host/server/lvserver}")
exe=$(realpath -m "${LV_CHAT_EXE:-$root/build/win64/app/lvchat.exe}")
# Absolute: the client runs in a folder of its own below it.
out=$(realpath -m "${1:-$root/build/e2e-lvchat}")
export WINEPREFIX=${LV_WINEPREFIX:-$root/build/wineprefix} WINEDEBUG=-all LANG=hu_HU.UTF-8 LC_ALL=hu_HU.UTF-8
wine=/usr/lib/wine/wine64

fail() { echo "lvchat_wine: FAIL: $*"; exit 1; }
[ -x "$server" ] || fail "no lvserver at $server"
[ -f "$exe" ] || fail "no lvchat.exe at $exe"
rm -rf "$out" && mkdir -p "$out/run"

own_display=
if [ -z "${DISPLAY:-}" ]; then
  own_display=$("$root/tools/xvfb.sh") || fail "no display"
  export DISPLAY=:$own_display
fi
server_pid= client_pid=
finish() {
  [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  [ -n "$own_display" ] && "$root/tools/xvfb.sh" stop "$own_display"
}
trap finish EXIT

# A loopback address of our own, so the token page can have port 80 beside other runs.
addr=127.0.$((RANDOM % 200 + 20)).$((RANDOM % 200 + 20))
"$server" --bind "$addr" --chat-port 8888 --web-port 80 --control-port 0 --no-stdin --bots 2 \
  --rooms "$root/server/demo/rooms.txt" --accounts "$root/server/demo/accounts.txt" >"$out/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 50); do grep -q '^lvserver:' "$out/server.log" && break; sleep 0.1; done
control=$(sed -nE 's/^lvserver: .* control ([0-9]+).*/\1/p' "$out/server.log")
[ -n "$control" ] || fail "lvserver did not start: $(cat "$out/server.log")"

# console: one command to the control port; prints the answer up to its "ok" line.
console() {
  exec 3<>"/dev/tcp/127.0.0.1/$control" || return 1
  printf '%s\n' "$1" >&3
  local line
  while IFS= read -r -t 5 line <&3; do
    line=${line%$'\r'}
    echo "$line"
    [ "$line" = ok ] && break
    case $line in error:*) break ;; esac
  done
  exec 3<&-
}

# wait_end: waits up to 20 s for the client to end.
wait_end() {
  for _ in $(seq 100); do
    kill -0 "$client_pid" 2>/dev/null || return 0
    sleep 0.2
  done
  return 1
}

cd "$out/run"
cat >lvchat.cfg <<EOF
# written by the end-to-end test
server=$addr:8888
autoconnect=1
autologin=1
login=e2eteszt\$
console=0
confirm_exit=0
EOF
printf '150 admin\n' >friends
before=$(stat -c %Y friends)
sleep 1

"$wine" "$exe" lvchat.cfg >"$out/client.log" 2>&1 &
client_pid=$!

# Connected and logged in: the server lists the session with the nick.
logged=
for _ in $(seq 150); do
  if console sessions | grep -q e2eteszt; then logged=1; break; fi
  sleep 0.2
done
[ -n "$logged" ] || fail "the client did not log in (sessions: $(console sessions | tr '\n' ' '))"
console sessions >"$out/sessions.txt"
echo "lvchat_wine: logged in: $(grep e2eteszt "$out/sessions.txt")"
sleep 3
import -window root "$out/logged-in.png"

# The frame and its status window: "/uptime" and "/exit" typed into the input line, which
# has the focus while the status window is the active child.
frame=$(xdotool search --name 'lorvando cset' | head -n 1)
[ -n "$frame" ] || fail "no main frame window"
xdotool windowfocus "$frame" 2>/dev/null
sleep 0.5
xdotool type --delay 40 '/uptime'
xdotool key Return
sleep 1
import -window root "$out/uptime.png"
xdotool type --delay 40 '/exit'
xdotool key Return

wait_end || fail "the client did not end after /exit"
wait "$client_pid"
rc=$?
client_pid=
[ "$rc" -eq 0 ] || fail "the client ended with $rc"

# The server sees the connection gone; the friends file was written again.
gone=
for _ in $(seq 50); do
  if ! console sessions | grep -q e2eteszt; then gone=1; break; fi
  sleep 0.2
done
[ -n "$gone" ] || fail "the server still lists the client"
after=$(stat -c %Y friends)
[ "$after" -gt "$before" ] || fail "the friends file was not written"
tr -d '\r' <friends | grep -qx '150 admin' || fail "the friends file lost its entry: $(cat friends)"

# Start-up with a missing configuration file: the defaults hold (no auto-connect, exit
# confirmation on). Alt+X asks "Biztosan kilépsz?"; Enter answers OK and the program ends.
mkdir -p "$out/defaults" && cd "$out/defaults"
"$wine" "$exe" nincs-ilyen.cfg >"$out/client-defaults.log" 2>&1 &
client_pid=$!
frame=
for _ in $(seq 100); do
  frame=$(xdotool search --name 'lorvando cset' 2>/dev/null | head -n 1)
  [ -n "$frame" ] && break
  sleep 0.2
done
[ -n "$frame" ] || fail "no main frame with the default settings"
sleep 2
import -window root "$out/defaults.png"
console sessions | grep -q client && fail "the client connected without autoconnect"
# The console window (the "console" setting is on by default) opens over the frame: the
# frame is raised and clicked (on its status bar) before the key goes to it.
xdotool windowraise "$frame" 2>/dev/null
eval "$(xdotool getwindowgeometry --shell "$frame")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 8)) click 1
sleep 0.5
import -window root "$out/defaults-raised.png"
xdotool key alt+x
sleep 1.5
import -window root "$out/confirm-exit.png"
kill -0 "$client_pid" 2>/dev/null || fail "the client ended without asking"
xdotool key Return
wait_end || fail "the client did not end after the exit question"
client_pid=
echo "lvchat_wine: PASS (screenshots in $out)"
