#!/usr/bin/env bash
# The program's main job: sets up what is missing, builds, starts the local chat service
# with its demo data and bots, and the client (lvchat.exe under Wine) configured to connect
# and log in to it on its own. Ending the client ends the service.
#
# Without a usable display the client runs on a private Xvfb display and a screenshot is
# saved every few seconds (the folder is named at start).
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD
tools/setup.sh || {
  echo "run.sh: set-up failed: install the packages named above (or wait for the package mirror), then run ./run.sh again"
  exit 1
}
trap 'echo "run.sh: failed (line $LINENO): see the output above; ./test.sh shows which part is broken"' ERR

jobs=$(nproc)
cmake -S . -B build/host -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/host -j"$jobs" --target lvserver
cmake -S . -B build/win64 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
cmake --build build/win64 -j"$jobs" --target lvchat

export WINEPREFIX=$root/build/wineprefix WINEDEBUG=-all LANG=hu_HU.UTF-8 LC_ALL=hu_HU.UTF-8
wine=/usr/lib/wine/wine64
run=$root/build/run
mkdir -p "$run"

server_pid= client_pid= own_display= shots_pid=
finish() {
  [ -n "$shots_pid" ] && kill "$shots_pid" 2>/dev/null
  [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null
    echo "run.sh: the chat service is stopped"
  fi
  [ -n "$own_display" ] && "$root/tools/xvfb.sh" stop "$own_display"
  true
}
trap finish EXIT INT TERM

# The token page is served on port 80 of the chat host, as the real service does. Binding
# it needs root or a lowered unprivileged port range.
web_port=80
if [ "$(id -u)" -ne 0 ] && [ "$(cat /proc/sys/net/ipv4/ip_unprivileged_port_start 2>/dev/null || echo 1024)" -gt 80 ]; then
  web_port=0
  echo "run.sh: port 80 cannot be bound by this user: the client connects but cannot log in"
  echo "        (run as root, or: sudo sysctl net.ipv4.ip_unprivileged_port_start=80)"
fi

build/host/server/lvserver --bind 127.0.0.1 --chat-port 8888 --web-port "$web_port" --control-port 0 \
  --rooms server/demo/rooms.txt --accounts server/demo/accounts.txt --bots 6 --no-stdin >"$run/lvserver.log" 2>&1 &
server_pid=$!
for _ in $(seq 50); do grep -q '^lvserver:' "$run/lvserver.log" && break; sleep 0.1; done
if ! grep -q '^lvserver:' "$run/lvserver.log"; then
  echo "run.sh: the chat service did not start:"; cat "$run/lvserver.log"; exit 1
fi
echo "run.sh: chat service: $(head -n 1 "$run/lvserver.log") (log: $run/lvserver.log)"

autologin=1
[ "$web_port" = 80 ] || autologin=0
cat >"$run/lvchat.cfg" <<EOF
# Written by run.sh: the local chat service, connected and logged in at start.
server=127.0.0.1:8888
autoconnect=1
autologin=$autologin
login=vendeg\$
szoba.log=1
privat.log=1
console=0
confirm_exit=0
windowlist=1
EOF

[ -d "$WINEPREFIX" ] || { echo "run.sh: preparing the Wine prefix"; "$wine" wineboot -i >/dev/null 2>&1 || true; }

if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  own_display=$(tools/xvfb.sh)
  export DISPLAY=:$own_display
  shots=$run/screenshots
  mkdir -p "$shots"
  echo "run.sh: no display: the client runs on Xvfb :$own_display; a screenshot every 5 s goes to $shots"
  ( n=0; while sleep 5; do import -window root "$shots/shot-$(printf %04d $n).png" 2>/dev/null; n=$((n + 1)); done ) &
  shots_pid=$!
fi

echo "run.sh: starting lvchat.exe (in $run; close its window or type /exit to end)"
cd "$run"
"$wine" "$root/build/win64/app/lvchat.exe" lvchat.cfg &
client_pid=$!
wait "$client_pid" || true
client_pid=
echo "run.sh: the client ended"
