#!/usr/bin/env bash
# End to end: lvserver with the demo data and lvchat.exe under Wine, configured to connect
# and log in on its own. Through the server's control console it checks that the client
# connected and logged in, that it was sent the room list, and that "/exit" typed into the
# status window ends the program cleanly with its friends file written. Screenshots of the
# running program are kept in the output folder (first argument, default build/e2e-lvchat).
#
# Environment: see lib.sh.
set -uo pipefail
e2e_name=lvchat_wine
. "$(dirname "$0")/lib.sh"
e2e_init "${1:-$e2e_root/build/e2e-lvchat}"
e2e_start_server --bots 2

e2e_write_cfg 'e2eteszt$'
printf '150 admin\n' >"$out/run/friends"
before=$(stat -c %Y "$out/run/friends")
sleep 1
e2e_start_client

# Connected and logged in: the server lists the session with the nick.
e2e_wait_login e2eteszt
console sessions >"$out/sessions.txt"
note "logged in: $(grep e2eteszt "$out/sessions.txt")"
sleep 3
shot logged-in

# The frame and its status window: "/uptime" and "/exit" typed into the input line, which
# has the focus while the status window is the active child.
frame=$(e2e_frame)
[ -n "$frame" ] || fail "no main frame window"
xdotool windowfocus "$frame" 2>/dev/null
sleep 0.5
xdotool type --delay 40 '/uptime'
xdotool key Return
sleep 1
shot uptime
xdotool type --delay 40 '/exit'
xdotool key Return

e2e_wait_end 20 || fail "the client did not end after /exit"
wait "$client_pid"
rc=$?
client_pid=
[ "$rc" -eq 0 ] || fail "the client ended with $rc"

# The server sees the connection gone; the friends file was written again.
poll 10 eval '! session_of e2eteszt' || fail "the server still lists the client"
after=$(stat -c %Y "$out/run/friends")
[ "$after" -gt "$before" ] || fail "the friends file was not written"
tr -d '\r' <"$out/run/friends" | grep -qx '150 admin' || fail "the friends file lost its entry: $(cat "$out/run/friends")"

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
