#!/usr/bin/env bash
# Flood figures under Wine: lvserver floods one room with numbered lines as fast as it can
# while lvchat.exe shows that room in a visible room window. Measured per run:
#   - lines per second absorbed: from the flood's start until the server has nothing left
#     queued for the client, the client's socket has nothing left unread and (with the room
#     log on) the last line is in the log;
#   - the client's CPU seconds per 10,000 lines (user + system, /proc of the Wine process);
#   - its resident set (VmRSS) before and after;
#   - how fast the UI thread answers: wndprobe times SendMessageTimeout(WM_NULL) to the
#     frame and to the room window, idle and during the flood.
# Usage: bench/flood_wine.sh [LINES] [LOG-LINES] [OUT]: LINES with the room log off, then
# LOG-LINES with it on (the log opens and closes its file for every line, which is slow).
# Environment: as tests/e2e/lib.sh.
set -uo pipefail
e2e_name=flood_wine
. "$(dirname "$0")/../tests/e2e/lib.sh"
all_lines=${1:-20000}
log_lines=${2:-3000}
e2e_init "${3:-$e2e_root/build/flood-wine}"
base_out=$out

# cpu_ticks PID: user + system time in clock ticks.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
now_ms() { date +%s%3N; }
flood_off() { console flood | grep -q '^off '; }
drained() {
  console sessions | grep -q ' flood client .* queued=0 ' || return 1
  # Nothing unread on the client's side of the connection either (with a state given,
  # ss leaves out the state column: the first is the receive queue).
  [ "$(ss -Htn state established "( dport = :8888 and dst $addr )" | awk '{s += $1} END {print s + 0}')" = 0 ]
}
last_logged() { [ -f "$out/run/s2.log" ] && tail -c 200 "$out/run/s2.log" | tr -d '\r' | grep -q "flood #$((lines - 1))\$"; }

# run_one LOG(0|1): one client, one flood; prints one result line.
run_one() {
  local log=$1
  lines=$2
  out=$base_out/log$log
  mkdir -p "$out/run"
  e2e_start_server --bots 0 --queue-cap 200000000
  e2e_write_cfg 'flood$' "szoba.log=$log" szoba.timestamp=1 szoba.kibe=1
  e2e_start_client
  e2e_wait_login flood
  # The Wine loader becomes the Windows process itself: its /proc entry is the client's.
  tr '\0' ' ' <"/proc/$client_pid/cmdline" | grep -q 'lvchat.exe' || fail "process $client_pid is not lvchat.exe"
  local frame_x; frame_x=$(e2e_frame)
  xdotool windowsize "$frame_x" 1000 750
  console 'enter 2 flood' >/dev/null
  local room= frame=
  for _ in $(seq 50); do
    tree
    room=$(awk '$1==2 && $3=="velc" && index($0, " \"Budapest\" ") {print $2; exit}' "$out/tree.txt")
    [ -n "$room" ] && break
    sleep 0.2
  done
  [ -n "$room" ] || fail "no room window for Budapest"
  frame=$(awk '$1==0 {print $2; exit}' "$out/tree.txt")
  sleep 3
  local idle_frame idle_room
  idle_frame=$(probe ping "$frame" 2000 20)
  idle_room=$(probe ping "$room" 2000 20)
  local rss0 cpu0 t0 t1 cpu1 rss1
  rss0=$(rss_kb "$client_pid") cpu0=$(cpu_ticks "$client_pid") t0=$(now_ms)
  console "flood start 2 1000000 $lines" >/dev/null
  # The pings run while the flood is being absorbed.
  probe ping "$room" 4000 20 >"$out/ping-room.txt" &
  local ping_room=$!
  probe ping "$frame" 4000 20 >"$out/ping-frame.txt" &
  local ping_frame=$!
  poll 600 flood_off || fail "the flood did not end"
  if [ "$log" = 1 ]; then
    poll 600 last_logged || fail "the last line never reached the log"
  fi
  poll 600 drained || fail "the client did not absorb the flood"
  t1=$(now_ms) cpu1=$(cpu_ticks "$client_pid")
  wait "$ping_room" "$ping_frame"
  sleep 1
  rss1=$(rss_kb "$client_pid")
  shot "flood-log$log"
  local hz; hz=$(getconf CLK_TCK)
  LC_ALL=C awk -v n="$lines" -v ms=$((t1 - t0)) -v c=$((cpu1 - cpu0)) -v hz="$hz" -v r0="$rss0" -v r1="$rss1" -v logged="$log" \
    'BEGIN { printf "log=%d lines=%d seconds=%.2f lines_per_s=%.0f cpu_s_per_10k=%.2f rss_before_kb=%d rss_after_kb=%d\n",
             logged, n, ms / 1000, n * 1000 / ms, c / hz * 10000 / n, r0, r1 }'
  echo "  idle  frame: $idle_frame"
  echo "  idle  room:  $idle_room"
  echo "  flood frame: $(cat "$out/ping-frame.txt")"
  echo "  flood room:  $(cat "$out/ping-room.txt")"
  kill "$client_pid" 2>/dev/null; client_pid=
  kill "$server_pid" 2>/dev/null; server_pid=
  sleep 1
}

run_one 0 "$all_lines"
run_one 1 "$log_lines"
