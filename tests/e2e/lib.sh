# Shared by the Wine end-to-end scripts (sourced, not run): lvserver with the demo data,
# its control console, lvchat.exe under wine64 in a folder of its own, polling with a
# deadline, screenshots. The sourcing script sets `e2e_name` (its name in messages) and
# calls e2e_init with its output folder before anything else.
#
# Environment: LV_SERVER (build/host/server/lvserver), LV_CHAT_EXE (build/win64/app/lvchat.exe),
# LV_WINEPREFIX (build/wineprefix), DISPLAY (a private Xvfb display is started without one).

e2e_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
wine=/usr/lib/wine/wine64
server_pid= client_pid= own_display= control= addr=
e2e_extra_pids=()

fail() { echo "$e2e_name: FAIL: $*"; exit 1; }
note() { echo "$e2e_name: $*"; }

# e2e_init OUT: resolves the programs, empties OUT (absolute: the client runs in a folder
# below it), makes sure there is a display and sets up the clean-up at exit.
e2e_init() {
  server=$(realpath -m "${LV_SERVER:-$e2e_root/build/host/server/lvserver}")
  exe=$(realpath -m "${LV_CHAT_EXE:-$e2e_root/build/win64/app/lvchat.exe}")
  out=$(realpath -m "$1")
  export WINEPREFIX=${LV_WINEPREFIX:-$e2e_root/build/wineprefix} WINEDEBUG=-all LANG=hu_HU.UTF-8 LC_ALL=hu_HU.UTF-8
  [ -x "$server" ] || fail "no lvserver at $server"
  [ -f "$exe" ] || fail "no lvchat.exe at $exe"
  rm -rf "$out" && mkdir -p "$out/run"
  if [ -z "${DISPLAY:-}" ]; then
    own_display=$("$e2e_root/tools/xvfb.sh") || fail "no display"
    export DISPLAY=:$own_display
  fi
  trap e2e_finish EXIT
}

e2e_finish() {
  local p
  [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null
  for p in "${e2e_extra_pids[@]}"; do kill "$p" 2>/dev/null; done
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  [ -n "$own_display" ] && "$e2e_root/tools/xvfb.sh" stop "$own_display"
}

# e2e_start_server ARGS...: lvserver with the demo rooms and accounts on a loopback
# address of its own (so the token page can have port 80 beside other runs); sets `addr`
# and `control`.
e2e_start_server() {
  addr=127.0.$((RANDOM % 200 + 20)).$((RANDOM % 200 + 20))
  "$server" --bind "$addr" --chat-port 8888 --web-port 80 --control-port 0 --no-stdin \
    --rooms "$e2e_root/server/demo/rooms.txt" --accounts "$e2e_root/server/demo/accounts.txt" "$@" \
    >"$out/server.log" 2>&1 &
  server_pid=$!
  for _ in $(seq 50); do grep -q '^lvserver:' "$out/server.log" && break; sleep 0.1; done
  control=$(sed -nE 's/^lvserver: .* control ([0-9]+).*/\1/p' "$out/server.log")
  [ -n "$control" ] || fail "lvserver did not start: $(cat "$out/server.log")"
}

# console CMD: one command to the control port; prints the answer up to its "ok" line.
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

# poll SECONDS CMD...: runs CMD every 0.2 s until it succeeds (0) or the time is up (1).
poll() {
  local end=$((SECONDS + $1)); shift
  while :; do
    "$@" && return 0
    [ $SECONDS -ge $end ] && return 1
    sleep 0.2
  done
}

# e2e_write_cfg LOGIN [LINES...]: the client's settings in $out/run/lvchat.cfg: connect
# and log in on its own, no console window, no exit question, then the given lines.
e2e_write_cfg() {
  local login=$1; shift
  {
    echo "# written by the end-to-end test"
    echo "server=$addr:8888"
    echo "autoconnect=1"
    echo "autologin=1"
    echo "login=$login"
    echo "console=0"
    echo "confirm_exit=0"
    printf '%s\n' "$@"
  } >"$out/run/lvchat.cfg"
}

# e2e_start_client [CFG]: lvchat.exe under Wine in $out/run; sets `client_pid`.
e2e_start_client() {
  (cd "$out/run" && exec "$wine" "$exe" "${1:-lvchat.cfg}" >"$out/client.log" 2>&1) &
  client_pid=$!
}

session_of() { console sessions | grep -q " $1 client "; }

# e2e_wait_login NICK: the server lists the client's session under that nick.
e2e_wait_login() {
  poll 40 session_of "$1" || fail "the client did not log in as $1 (sessions: $(console sessions | tr '\n' ' '))"
}

# e2e_wait_end SECONDS: the client has ended.
client_gone() { ! kill -0 "$client_pid" 2>/dev/null; }
e2e_wait_end() { poll "${1:-20}" client_gone; }

# e2e_frame: prints the main frame's X window (the one X window of the MDI program).
frame_id() { xdotool search --name 'lorvando cset' 2>/dev/null | head -n 1; }
e2e_frame() {
  local f=
  for _ in $(seq 100); do
    f=$(frame_id)
    [ -n "$f" ] && break
    sleep 0.2
  done
  echo "$f"
}

# shot NAME: a screenshot of the whole display, kept as $out/NAME.png.
shot() { import -window root "$out/$1.png"; }

# probe ARGS...: bench/win/wndprobe.exe in the client's Wine prefix (the windows inside the
# MDI frame are no X windows; it walks the real window tree).
probe() { "$wine" "${LV_PROBE_EXE:-$(dirname "$exe")/../bench/wndprobe.exe}" "$@" 2>/dev/null | tr -d '\r'; }

# tree: the client's window tree into $out/tree.txt (see wndprobe.cpp for the columns).
tree() { probe tree >"$out/tree.txt"; }

# window_line AWK-CONDITION: the first line of the last tree that matches.
window_line() { awk "$1" "$out/tree.txt" | head -n 1; }

# click_middle LINE [BUTTON-ARGS...]: clicks the middle of the window on a tree line.
click_middle() {
  local l t r b
  read -r l t r b <<<"$(awk '{print $(NF-4), $(NF-3), $(NF-2), $(NF-1)}' <<<"$1")"
  [ -n "$b" ] || return 1
  shift
  xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) click "${@:-1}"
}
