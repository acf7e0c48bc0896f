#!/usr/bin/env bash
# End to end: lvserver with the demo data and lvchat.exe under Wine, configured to connect
# and log in on its own. Through the server's control console it checks that the client
# connected and logged in, and that every way of leaving while connected ("/exit" and
# "/abort" typed into the status window, Alt+X, File -> Exit with the mouse, closing the
# frame while a popup is open) ends the program within two seconds with its friends file
# written.
# Screenshots of the running program are kept in the output folder (first argument,
# default build/e2e-lvchat).
#
# Environment: see lib.sh.
set -uo pipefail
e2e_name=lvchat_wine
. "$(dirname "$0")/lib.sh"
e2e_init "${1:-$e2e_root/build/e2e-lvchat}"
e2e_start_server --bots 2

e2e_write_cfg 'e2eteszt$'

# start_logged_in: the client with the test's settings, logged in, its main frame in
# `frame`. The friends file is emptied once the client has read it: only the save on the
# way out can fill it again.
start_logged_in() {
  printf '150 admin\n' >"$out/run/friends"
  e2e_start_client
  e2e_wait_login e2eteszt
  frame=$(e2e_frame)
  [ -n "$frame" ] || fail "no main frame window"
  : >"$out/run/friends"
  sleep 1
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# ends_within_2s WHAT [CODE]: the client ends within two seconds from now, with exit code
# CODE (0 by default) and its friends file written, and the server no longer lists it.
ends_within_2s() {
  local want=${2:-0} start; start=$(now_ms)
  while kill -0 "$client_pid" 2>/dev/null; do
    if [ $(($(now_ms) - start)) -ge 2000 ]; then
      shot "$1-running"
      fail "the client was still running 2 s after $1"
    fi
    sleep 0.05
  done
  note "$1: ended in $(($(now_ms) - start)) ms"
  wait "$client_pid"
  local rc=$?
  client_pid=
  [ "$rc" -eq "$want" ] || fail "the client ended with $rc after $1 (wanted $want)"
  tr -d '\r' <"$out/run/friends" | grep -qx '150 admin' || fail "no friends saved after $1: $(cat "$out/run/friends")"
  poll 10 eval '! session_of e2eteszt' || fail "the server still lists the client after $1"
}

# click_status_bar: a click on the frame's status bar, so that keys go to the frame (there
# is no window manager: keys go to the window under the pointer).
click_status_bar() {
  eval "$(xdotool getwindowgeometry --shell "$frame")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 8)) click 1
  sleep 0.5
}

# ---- "/uptime" and "/exit" typed into the input line, which has the focus while the
# status window is the active child.
start_logged_in
console sessions >"$out/sessions.txt"
note "logged in: $(grep e2eteszt "$out/sessions.txt")"
sleep 2
shot logged-in
xdotool windowfocus "$frame" 2>/dev/null
sleep 0.5
xdotool type --delay 40 '/uptime'
xdotool key Return
sleep 1
shot uptime
xdotool type --delay 40 '/exit'
xdotool key Return
ends_within_2s /exit

# ---- "/abort": the program ends at once with exit code 1, its friends saved.
start_logged_in
xdotool windowfocus "$frame" 2>/dev/null
sleep 0.5
xdotool type --delay 40 '/abort'
xdotool key Return
ends_within_2s /abort 1

# ---- Alt+X: the key table's Exit. Releasing Alt afterwards puts the menu bar into its
# keyboard mode, whose loop must not keep the program alive.
start_logged_in
click_status_bar
xdotool key alt+x
ends_within_2s Alt+X

# ---- File -> Exit with the mouse (the menu bar has no caption above it here: no window
# manager draws one).
start_logged_in
eval "$(xdotool getwindowgeometry --shell "$frame")"
xdotool mousemove $((X + 16)) $((Y + 9)) click 1
sleep 0.7
shot file-menu
xdotool mousemove $((X + 30)) $((Y + 30)) click 1
ends_within_2s "File -> Exit"

# ---- Closing the frame (Alt+F4) while a popup from the server is open, the exit question
# on: OK ends the program. Under Xvfb the question's own window takes two seconds to go
# (Wine waits for a window manager that is not there): the time counts from its going.
e2e_write_cfg 'e2eteszt$' confirm_exit=1
start_logged_in
console "popup e2eteszt 2 Figyelem | Hamarosan karbantartas." >/dev/null
sleep 1.5
click_status_bar
xdotool key alt+F4
question=
for _ in $(seq 50); do
  question=$(xdotool search --name '^Kilépés$' 2>/dev/null | head -n 1)
  [ -n "$question" ] && break
  sleep 0.1
done
[ -n "$question" ] || fail "no exit question after Alt+F4"
sleep 0.5
shot popup-and-question
eval "$(xdotool getwindowgeometry --shell "$question")"
xdotool mousemove $((X + WIDTH * 3 / 10)) $((Y + HEIGHT - 20)) click 1
poll 10 eval '[ -z "$(xdotool search --name "^Kilépés$" 2>/dev/null)" ]' || fail "the exit question stayed"
ends_within_2s "closing with a popup open"

# Start-up with a missing configuration file: the defaults hold (no auto-connect, exit
# confirmation on). Alt+X asks "Biztosan kilépsz?"; Enter answers OK and the program ends.
mkdir -p "$out/defaults"
(cd "$out/defaults" && exec "$wine" "$exe" nincs-ilyen.cfg >"$out/client-defaults.log" 2>&1) &
client_pid=$!
frame=$(e2e_frame)
[ -n "$frame" ] || fail "no main frame with the default settings"
sleep 2
shot defaults
console sessions | grep -q client && fail "the client connected without autoconnect"
# The console window (the "console" setting is on by default) opens over the frame: the
# frame is raised and clicked (on its status bar) before the key goes to it.
xdotool windowraise "$frame" 2>/dev/null
eval "$(xdotool getwindowgeometry --shell "$frame")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 8)) click 1
sleep 0.5
shot defaults-raised
xdotool key alt+x
sleep 1.5
shot confirm-exit
kill -0 "$client_pid" 2>/dev/null || fail "the client ended without asking"
xdotool key Return
e2e_wait_end 20 || fail "the client did not end after the exit question"
client_pid=
note "PASS (screenshots in $out)"
