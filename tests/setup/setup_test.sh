#!/usr/bin/env bash
# tools/setup.sh against a fake package manager on the PATH (no network, nothing really
# installed): a mirror with one index mid-sync, an optional package that cannot be had,
# a required one that cannot be had, a machine without 32-bit processes.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/lvchat-setup-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "setup_test: FAIL: $*"; failures=$((failures + 1)); }

# The fakes keep their state in $FAKE: `installed` (one package a line), `calls` (every
# apt-get call), `refuse` (packages whose install fails), `archs` (foreign architectures).
mkdir -p "$work/bin"
cat >"$work/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$FAKE/calls"
case $1 in
  update)
    echo "E: Failed to fetch .../binary-i386/Packages.xz  File has unexpected size (Mirror sync in progress?)"
    exit 100 ;;
  install)
    pkgs=()
    for a in "$@"; do case $a in install|-*) ;; *) pkgs+=("$a") ;; esac; done
    for p in "${pkgs[@]}"; do
      grep -qx "$p" "$FAKE/refuse" 2>/dev/null && { echo "E: Unable to install $p"; exit 100; }
    done
    printf '%s\n' "${pkgs[@]}" >>"$FAKE/installed" ;;
esac
EOF
cat >"$work/bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
p=${!#}
grep -qx "$p" "$FAKE/installed" 2>/dev/null && { echo -n 'install ok installed'; exit 0; }
exit 1
EOF
cat >"$work/bin/dpkg" <<'EOF'
#!/usr/bin/env bash
echo "dpkg $*" >>"$FAKE/calls"
case $1 in
  --print-foreign-architectures) cat "$FAKE/archs" 2>/dev/null ;;
  --add-architecture) echo "$2" >>"$FAKE/archs" ;;
  --remove-architecture) sed -i "/^$2\$/d" "$FAKE/archs" ;;
esac
EOF
printf '#!/bin/sh\necho hu_HU.utf8\n' >"$work/bin/locale"
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*

# run_setup CASE I386(yes|no) [REFUSED...]: a fresh fake machine; set-up's output and exit
# status in $work/CASE.
run_setup() {
  local name=$1 i386=$2; shift 2
  export FAKE=$work/$name
  mkdir -p "$FAKE"
  printf '%s\n' "$@" >"$FAKE/refuse"
  PATH=$work/bin:$PATH LV_I386=$i386 LV_SETUP_RETRY_DELAY=0 "$root/tools/setup.sh" >"$FAKE/out" 2>&1
  echo $? >"$FAKE/status"
}
asked_for() { grep -E "^apt-get install .* $2( |\$)" "$work/$1/calls" >/dev/null; }
installed() { grep -qx "$2" "$work/$1/installed"; }

required=$(sed -n '/^required=(/,/)/p' "$root/tools/setup.sh" | tr -d '()' | sed 's/required=//')

# A mirror mid-sync and an optional package that cannot be had: set-up succeeds.
run_setup midsync yes wine32:i386
[ "$(cat "$work/midsync/status")" = 0 ] || fail "mid-sync mirror: set-up failed: $(tail -n 3 "$work/midsync/out")"
[ "$(grep -c '^apt-get update' "$work/midsync/calls")" = 2 ] || fail "the failed update was not retried exactly once"
grep -q 'going on with the package lists' "$work/midsync/out" || fail "no warning about the missing lists"
for p in $required; do
  installed midsync "$p" || fail "required package $p was not installed"
done
asked_for midsync wine32:i386 || fail "wine32:i386 was never asked for on a machine with 32-bit processes"
grep -q 'optional package wine32:i386 could not be installed' "$work/midsync/out" ||
  fail "no word about the missing 32-bit Wine"
grep -qx i386 "$work/midsync/archs" 2>/dev/null && fail "the i386 architecture was left behind without wine32"

# Run again on the same machine: only the optional package still missing is asked for.
: >"$work/midsync/calls"
PATH=$work/bin:$PATH LV_I386=yes LV_SETUP_RETRY_DELAY=0 FAKE=$work/midsync "$root/tools/setup.sh" >"$work/midsync/out2" 2>&1 ||
  fail "the second run failed"
[ "$(grep '^apt-get install' "$work/midsync/calls" | grep -v ' wine32:i386$' | wc -l)" = 0 ] ||
  fail "a second run asked for installed packages: $(grep '^apt-get install' "$work/midsync/calls" | head -n 1)"

# A machine without 32-bit processes never adds the architecture or asks for wine32.
run_setup x64only no
[ "$(cat "$work/x64only/status")" = 0 ] || fail "x86_64-only machine: set-up failed"
grep -q 'wine32\|add-architecture' "$work/x64only/calls" && fail "i386 wanted on a machine that cannot run it"
installed x64only wine64 || fail "wine64 was not installed"

# A required package that cannot be had stops set-up and is named.
run_setup broken no xdotool
[ "$(cat "$work/broken/status")" != 0 ] || fail "set-up succeeded without the required xdotool"
grep -q 'cannot install the required package(s): xdotool$' "$work/broken/out" ||
  fail "the missing required package is not named: $(tail -n 2 "$work/broken/out")"
installed broken cmake || fail "the other required packages were not installed one by one"

[ $failures = 0 ] && echo "setup_test: passed"
exit $((failures > 0))
