#!/usr/bin/env bash
# The program's speed under Wine, as a user feels it, in one table: a room flood into a
# visible room window with the room log on, start-up against a minimal MDI program, and
# big room lists. With --before REV the same figures for that revision are taken in the
# same run, side by side (these machines are shared and noisy: compare within one run;
# CPU per line is the figure to trust, not wall time).
#
# usage: bench/run.sh [--before REV] [--lines N] [--before-lines N] [--rooms N]
#                     [--big-rooms N] [--starts N] [--only flood,startup,rooms] [--out DIR]
#
# Measured per build:
#   flood    N lines of ~80 characters (every 4th coloured) into room 2, shown in a room
#            window 1,000 pixels wide, room log on: CPU of lvchat.exe plus its wineserver
#            (user + system from /proc) per line; lines per second from the flood's start
#            to its last line in s2.log (timed by bench/logwait.py), with the chat server's
#            own CPU per line beside it; anonymous resident memory before and after; the
#            log's lines checked for loss and order. Then three lines typed during a second
#            flood at the same rate, from the key press (bench/keypress.py) to the server
#            (its `said` time). With BENCH_PERF=FILE set, perf records both processes over
#            the flood into FILE.before / FILE.after.
#   startup  process start to the main frame mapped on the display (MapNotify), the Wine
#            server warm, against bench/win/minimdi.exe started the same way (medians),
#            against minimdi_cc.exe, the same with the common controls loaded as any
#            program with a list view or a status bar must, and against samescreen.exe,
#            lvchat.exe's first screen made with bare calls (what those windows cost
#            without the program's code); lvchat.exe stripped as the package ships it.
#   rooms    a list of N rooms sent again to a logged-in client: from the console command
#            to the room list view holding N rows, with the longest time the window took
#            to answer meanwhile; the same for --big-rooms; and the memory that N rooms
#            listed plus 10 open rooms of 300 lines each add (anonymous resident memory).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
before= lines=50000 before_lines=3000 rooms=10000 big_rooms=50000 starts=5 only=flood,startup,rooms
out=$root/build/bench-run
while [ $# -gt 0 ]; do
  case $1 in
    --before) before=$2; shift 2 ;;
    --lines) lines=$2; shift 2 ;;
    --before-lines) before_lines=$2; shift 2 ;;
    --rooms) rooms=$2; shift 2 ;;
    --big-rooms) big_rooms=$2; shift 2 ;;
    --starts) starts=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "usage: bench/run.sh [--before REV] [--lines N] [--before-lines N] [--rooms N] [--big-rooms N] [--starts N] [--only LIST] [--out DIR]" >&2; exit 2 ;;
  esac
done
wants() { [[ ",$only," == *",$1,"* ]]; }

# ---- builds: this tree, and the revision to compare with (its lvchat.exe only; the same
# server, probe and floor program serve both).
jobs=$(nproc)
build_tree() {  # SOURCE BUILD-FOLDER TARGETS...
  local src=$1 dir=$2; shift 2
  cmake -S "$src" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-x86_64.cmake" >/dev/null &&
    cmake --build "$dir" -j"$jobs" --target "$@" >/dev/null
}
cmake -S "$root" -B "$root/build/host" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null &&
  cmake --build "$root/build/host" -j"$jobs" --target lvserver >/dev/null || { echo "bench: lvserver did not build"; exit 1; }
build_tree "$root" "$root/build/win64" lvchat wndprobe minimdi minimdi_cc samescreen || { echo "bench: lvchat.exe did not build"; exit 1; }
variants=(after)
# The start-up references timed beside the program: the plain floor, the floor with the
# common controls, and the program's first screen made with bare calls.
references=(floor floor_cc screen)
declare -A exe_of=([after]=$root/build/win64/app/lvchat.exe)
if [ -n "$before" ]; then
  src=$root/build/bench-before/src
  rm -rf "$src"; git -C "$root" worktree prune
  git -C "$root" worktree add --detach "$src" "$before" >/dev/null 2>&1 || { echo "bench: no revision $before"; exit 1; }
  build_tree "$src" "$root/build/bench-before/win64" lvchat || { echo "bench: $before did not build"; exit 1; }
  exe_of[before]=$root/build/bench-before/win64/app/lvchat.exe
  variants=(before after)
fi
export LV_PROBE_EXE=$root/build/win64/bench/wndprobe.exe LV_WINEPREFIX=$root/build/bench-prefix
e2e_name=bench
. "$root/tests/e2e/lib.sh"
mkdir -p "$out"
e2e_init "$out/work"
WINEDLLOVERRIDES=mscoree,mshtml= "$wine" wineboot -i >/dev/null 2>&1
# A warm Wine server for the whole run, as for a user who has Wine running already.
wineserver -p 2>/dev/null
trap 'e2e_finish; wineserver -k 2>/dev/null' EXIT

declare -A fig
now_ms() { date +%s%3N; }
anon_kb() { awk '/^RssAnon:/ {print $2}' "/proc/$1/status"; }
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# The Wine server of this prefix: its working folder is named after the prefix's device
# and inode.
wineserver_pid() {
  local want p
  want=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
  for p in $(pgrep wineserver); do
    [ "$(basename "$(readlink "/proc/$p/cwd")")" = "$want" ] && { echo "$p"; return; }
  done
}
# The server has nothing queued for NICK and the client's socket has nothing unread.
drained() {
  console sessions | grep -q " $1 client .* queued=0 " || return 1
  [ "$(ss -Htn state established "( dport = :8888 and dst $addr )" | awk '{s += $1} END {print s + 0}')" = 0 ]
}
median() { sort -n | awk '{a[NR] = $1} END {if (NR) print a[int((NR + 1) / 2)]}'; }
# Start-up times spread widely on a shared machine: the median with the lower quartile.
median_q1() { sort -n | awk '{a[NR] = $1} END {if (NR) print a[int((NR + 1) / 2)] " (" a[int((NR + 3) / 4)] ")"}'; }

# ---------------------------------------------------------------- the flood
flood_lines_ok() {  # LOG COUNT: every flood number once, in order
  tr -d '\r' <"$1" | sed -nE 's/.* flood #([0-9]+)$/\1/p' |
    awk -v n="$2" '$1 != NR - 1 {bad++} END {exit !(NR == n && !bad)}'
}

flood_run() {  # VARIANT LINES
  local v=$1 n=$2
  exe=${exe_of[$v]}
  local out=$out/$v-flood  # the e2e helpers write into $out
  rm -rf "$out" && mkdir -p "$out/run"
  e2e_start_server --bots 0 --queue-cap 1000000000
  e2e_write_cfg flood szoba.log=1 szoba.timestamp=1 szoba.kibe=1
  e2e_start_client
  e2e_wait_login flood
  local frame; frame=$(e2e_frame)
  xdotool windowmove "$frame" 0 0 windowsize "$frame" 1040 800
  console 'enter 2 flood' >/dev/null
  local room= input=
  room_window() { tree; room=$(window_line '$1==2 && $3=="velc" && index($0, " \"Budapest\" ")' | awk '{print $2}'); [ -n "$room" ]; }
  poll 10 room_window || fail "no room window"
  probe move "$room" 0 0 1010 640 >/dev/null
  sleep 2
  tree
  input=$(awk -v cap='"Budapest"' '$1==2 {inwin = index($0, " " cap " ") > 0} $1==3 && inwin && $3=="RichEdit20W" {print; exit}' "$out/tree.txt")
  [ -n "$input" ] || fail "no input line in the room window"
  local server; server=$(wineserver_pid)
  [ -n "$server" ] || fail "no wineserver for $WINEPREFIX"
  # The flood alone: CPU, rate, memory and the log, with nothing else going on.
  local a0 s0 l0 m0 t0; a0=$(ticks "$client_pid") s0=$(ticks "$server") l0=$(ticks "$server_pid") m0=$(anon_kb "$client_pid")
  # BENCH_PERF=FILE: a perf profile of the client and its Wine server over the flood.
  local perf_pid=
  if [ -n "${BENCH_PERF:-}" ]; then
    perf ${BENCH_PERF_ARGS:-record -q -F 1999} -p "$client_pid,$server" -o "$BENCH_PERF.$v" >/dev/null 2>&1 &
    perf_pid=$!
  fi
  python3 "$here/logwait.py" "$out/run/s2.log" "flood #$((n - 1))" 900 >"$out/end-ms" &
  local waiter=$!
  t0=$(now_ms)
  console "flood start 2 1000000 $n 80" >/dev/null
  wait "$waiter" || fail "$v: the last flood line never reached the log"
  local t1 a1 s1 l1 m1; a1=$(ticks "$client_pid") s1=$(ticks "$server") l1=$(ticks "$server_pid") t1=$(cat "$out/end-ms")
  [ -n "$perf_pid" ] && { kill -INT "$perf_pid"; wait "$perf_pid"; }
  sleep 1
  m1=$(anon_kb "$client_pid")
  flood_lines_ok "$out/run/s2.log" "$n" && fig[$v,log]=ok || fig[$v,log]=BAD
  shot "$v-flood"
  local hz; hz=$(getconf CLK_TCK)
  per_line() { LC_ALL=C awk -v t="$1" -v hz="$hz" -v n="$n" 'BEGIN {printf "%.1f", t / hz * 1e6 / n}'; }
  fig[$v,lines]=$n
  fig[$v,cpu]=$(per_line $((a1 - a0 + s1 - s0)))
  fig[$v,cpu_proc]=$(per_line $((a1 - a0)))
  fig[$v,cpu_server]=$(per_line $((s1 - s0)))
  fig[$v,cpu_lvserver]=$(per_line $((l1 - l0)))
  fig[$v,rate]=$(LC_ALL=C awk -v n="$n" -v ms=$((t1 - t0)) 'BEGIN {printf "%.0f", n * 1000 / ms}')
  fig[$v,mem]=$(((m1 - m0)))

  # Lines typed into a second flood, at the rate the client took the first one in and
  # lasting until they are in: each from its key press to the server.
  console "flood start 2 ${fig[$v,rate]} 100000000 80" >/dev/null
  local typed=() k press said
  for k in 1 2 3; do
    sleep 0.25
    click_middle "$input"
    press=$(printf 'type gepel%s\nenter\n' "$k" | python3 "$here/keypress.py")
    for _ in $(seq 200); do
      said=$(console 'said flood' | head -n 1)
      [[ $said == *" gepel$k" ]] && break
      sleep 0.05
    done
    [[ $said == *" gepel$k" ]] && typed+=($((${said%% *} - press))) || typed+=(lost)
  done
  console 'flood stop' >/dev/null
  fig[$v,typed]=$(IFS=/; echo "${typed[*]}")
  kill "$client_pid" 2>/dev/null; client_pid=
  kill "$server_pid" 2>/dev/null; server_pid=
  sleep 1
}

# ---------------------------------------------------------------- start-up
startup_runs() {
  local run=$out/startup i v t pid
  mkdir -p "$run"
  printf 'autoconnect=0\nconsole=0\nconfirm_exit=0\n' >"$run/lvchat.cfg"
  declare -A times exe
  # The program as the package installs it: stripped of its debugging sections (Wine
  # reads every section of an image into memory, some 8 MB of them here).
  for v in "${variants[@]}"; do
    exe[$v]=$run/lvchat-$v.exe
    x86_64-w64-mingw32-strip -o "${exe[$v]}" "${exe_of[$v]}" || exe[$v]=${exe_of[$v]}
  done
  # Wine running already, as for a user with another Windows program open: one window
  # stays for the whole series, so that Wine's desktop process is not started afresh for
  # every program measured (that alone takes some 450 ms).
  "$wine" "$root/build/win64/bench/minimdi.exe" >/dev/null 2>&1 &
  local keeper=$!
  sleep 3
  for i in $(seq "$starts"); do
    for v in "${references[@]}" "${variants[@]}"; do
      if [ "$v" = floor ]; then
        t=$(cd "$run" && python3 "$here/mapwait.py" minimdi 60 "$wine" "$root/build/win64/bench/minimdi.exe")
      elif [ "$v" = floor_cc ]; then
        t=$(cd "$run" && python3 "$here/mapwait.py" 'minimdi cc' 60 "$wine" "$root/build/win64/bench/minimdi_cc.exe")
      elif [ "$v" = screen ]; then
        t=$(cd "$run" && python3 "$here/mapwait.py" samescreen 60 "$wine" "$root/build/win64/bench/samescreen.exe")
      else
        t=$(cd "$run" && python3 "$here/mapwait.py" 'lorvando cset' 60 "$wine" "${exe[$v]}" lvchat.cfg)
      fi
      pid=$(sed -n 2p <<<"$t")
      times[$v]+="$(head -n 1 <<<"$t") "
      # The program is gone, whatever its way out costs, before the next one starts.
      if [ -n "$pid" ]; then
        sleep 1
        kill "$pid" 2>/dev/null
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null
      fi
      sleep 1
    done
  done
  kill "$keeper" 2>/dev/null
  for v in "${references[@]}" "${variants[@]}"; do
    fig[$v,start]=$(tr ' ' '\n' <<<"${times[$v]}" | grep . | median_q1)
    fig[$v,starts]=${times[$v]}
  done
}

# ---------------------------------------------------------------- room lists
# Rooms file: the demo rooms and N more.
make_rooms() {  # N FILE
  { cat "$root/server/demo/rooms.txt"
    awk -v n="$1" 'BEGIN {for (i = 0; i < n; i++) printf "%d|%d|Szoba %05d|$blue$A %d. szoba témája - gyere be\n", 1000 + i, (i % 7 == 0) ? 8 : 0, i, i}'
  } >"$2"
}

# The room list view of the client.
room_list_view() {
  tree
  awk '$1==2 && $3=="velc" {inwin = index($0, " \"szobalista") > 0} $1==3 && inwin && $3=="SysListView32" {print $2; exit}' "$out/tree.txt"
}

rooms_run() {  # VARIANT N KEY [MEMORY]
  local v=$1 n=$2 key=$3 memory=${4:-}
  exe=${exe_of[$v]}
  local out=$out/$v-rooms$n
  rm -rf "$out" && mkdir -p "$out/run"
  make_rooms "$n" "$out/rooms.txt"
  local total; total=$(grep -vc '^#' "$out/rooms.txt")
  e2e_start_server --bots 0 --queue-cap 1000000000 --rooms "$out/rooms.txt"
  # Connected but not logged in: the memory before the list is the baseline.
  e2e_write_cfg lista autologin=0
  e2e_start_client
  local frame; frame=$(e2e_frame)
  poll 40 eval "console sessions | grep -q ' client '" || fail "$v: the client did not connect"
  sleep 2
  local m0; m0=$(anon_kb "$client_pid")
  tree
  local status_input
  status_input=$(awk '$1==2 && $3=="velc" {inwin = index($0, "\"status") > 0} $1==3 && inwin && $3=="RichEdit20W" {print; exit}' "$out/tree.txt")
  [ -n "$status_input" ] || fail "no status window input line"
  click_middle "$status_input"
  xdotool type --delay 10 '/login'
  xdotool key Return
  e2e_wait_login lista
  local list=
  for _ in $(seq 100); do list=$(room_list_view); [ -n "$list" ] && break; sleep 0.2; done
  [ -n "$list" ] || fail "no room list view"
  probe load "$list" "$total" 600000 >/dev/null || fail "$v: the first list never arrived"
  if [ -n "$memory" ]; then
    local r
    for r in $(seq 1000 1009); do
      console "enter $r lista" >/dev/null
      console "flood start $r 100000 310 80" >/dev/null
      poll 600 eval "console flood | grep -q '^off '" || fail "$v: the flood into room $r did not end"
      poll 600 drained lista || fail "$v: the client did not absorb the flood into room $r"
    done
    sleep 3
    fig[$v,mem_rooms]=$(($(anon_kb "$client_pid") - m0))
  fi
  sleep 1
  local t0 got
  t0=$(now_ms)
  console "roomlist lista $n" >/dev/null
  got=$(probe load "$list" "$n" 600000)
  local reached; reached=$(sed -nE 's/.*reached_unix_ms=([0-9]+).*/\1/p' <<<"$got")
  [ -n "$reached" ] || fail "$v: the list of $n rooms never arrived ($got)"
  fig[$v,$key]=$((reached - t0))
  fig[$v,${key}_stall]=$(sed -nE 's/.*max_stall_ms=([0-9.]+).*/\1/p' <<<"$got")
  shot "$v-rooms$n"
  kill "$client_pid" 2>/dev/null; client_pid=
  kill "$server_pid" 2>/dev/null; server_pid=
  sleep 1
}

# ---------------------------------------------------------------- run and report
for v in "${variants[@]}"; do
  if wants flood; then
    if [ "$v" = before ]; then flood_run "$v" "$before_lines"; else flood_run "$v" "$lines"; fi
  fi
  if wants rooms; then
    rooms_run "$v" "$rooms" rooms memory
    rooms_run "$v" "$big_rooms" big
  fi
done
wants startup && startup_runs

g() { echo "${fig[$1,$2]:--}"; }
{
  echo "bench/run.sh on $(date -u '+%Y-%m-%d %H:%M UTC'), load average $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
  echo
  printf '| measure | %s |\n' "$(IFS='|'; for v in "${variants[@]}"; do printf ' %s |' "$v"; done | sed 's/ |$//')"
  printf '|---|%s\n' "$(for v in "${variants[@]}"; do printf -- '---|'; done)"
  row() {  # LABEL KEY
    printf '| %s |' "$1"
    for v in "${variants[@]}"; do printf ' %s |' "$(g "$v" "$2")"; done
    echo
  }
  if wants flood; then
    row "flood lines (80 characters, room log on)" lines
    row "CPU per line, lvchat.exe + wineserver (µs)" cpu
    row "  of it lvchat.exe (µs)" cpu_proc
    row "  of it wineserver (µs)" cpu_server
    row "lines absorbed per second" rate
    row "  (the chat server's own CPU per line sent, µs)" cpu_lvserver
    row "typed line, key press to server (ms, three lines)" typed
    row "anonymous memory growth over the flood (KiB)" mem
    row "log: every line once, in order" log
  fi
  if wants rooms; then
    row "$rooms-room list: command to all rows shown (ms)" rooms
    row "  longest time the window took to answer (ms)" rooms_stall
    row "$big_rooms-room list: command to all rows shown (ms)" big
    row "  longest time the window took to answer (ms)" big_stall
    row "$rooms rooms + 10 rooms × 300 lines: memory growth (KiB)" mem_rooms
  fi
  if wants startup; then
    row "start-up to the frame mapped, median (lower quartile) of $starts (ms)" start
    printf '| minimal MDI program (the floor), median (lower quartile) of %s (ms) | %s |\n' "$starts" "$(g floor start)"
    printf '| the same with the common controls, median (lower quartile) of %s (ms) | %s |\n' "$starts" "$(g floor_cc start)"
    printf '| lvchat.exe'"'"'s first screen made with bare calls, median (lower quartile) of %s (ms) | %s |\n' "$starts" "$(g screen start)"
    echo
    for v in "${references[@]}" "${variants[@]}"; do echo "start-up runs, $v (ms): $(g "$v" starts)"; done
  fi
} | tee "$out/table.md"
