#!/usr/bin/env bash
# Builds the host and win32 builds and runs every test: the host suites, the same suites
# under ASan+UBSan and TSan, the fuzz targets for a bounded time, and the win32 suites
# under Wine on a private Xvfb display. Exit status is non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")"
root=$PWD
tools/setup.sh || {
  echo "test.sh: set-up failed: install the packages named above (or wait for the package mirror), then run ./test.sh again"
  exit 1
}

jobs=$(nproc)
passed=0 failed=0 broken=()
log=build/logs; mkdir -p "$log"

# build NAME cmake-args...: configure and build one build folder.
build() {
  local name=$1; shift
  echo "== build $name"
  if ! cmake -S . -B "build/$name" -DLV_WERROR=ON "$@" >"$log/$name-configure.txt" 2>&1; then
    tail -n 30 "$log/$name-configure.txt"; broken+=("$name (configure)"); return 1
  fi
  if ! cmake --build "build/$name" -j"$jobs" >"$log/$name-build.txt" 2>&1; then
    grep -E 'error|Error' "$log/$name-build.txt" | head -n 40; broken+=("$name (build)"); return 1
  fi
}

# failed_output: from CTest's output on stdin, the lines each failed test printed (CTest
# writes them after the test's result line, up to the next test's start).
failed_output() {
  awk '/^ *Start +[0-9]+:/ { show = 0 }
       /Test +#[0-9]+: .*(\*\*\*|Failed|Timeout|Exception)/ { show = 1; n = 0; print "== output of a failed test" }
       show && n++ < 150'
}

# run_tests NAME: run one build folder's CTest suite and add up its counts.
run_tests() {
  local name=$1 out
  echo "== test $name"
  out=$(cd "build/$name" && ctest --output-on-failure --timeout 900 2>&1)
  local rc=$?
  echo "$out" >"$log/$name-tests.txt"
  echo "$out" | tail -n 40
  # The tail holds only the summary: show what each failed test printed as well.
  [ $rc -eq 0 ] || echo "$out" | failed_output
  local line; line=$(echo "$out" | grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' | tail -n 1)
  if [ -n "$line" ]; then
    local total fails
    total=$(echo "$line" | sed -E 's/.*out of ([0-9]+).*/\1/')
    fails=$(echo "$line" | sed -E 's/.* ([0-9]+) tests? failed.*/\1/')
    passed=$((passed + total - fails)); failed=$((failed + fails))
  fi
  [ $rc -eq 0 ] || broken+=("$name (tests)")
}

# Every include points down a floor or stays on its own.
echo "== layers"
if tools/layers.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); broken+=("layers"); fi

# The set-up logic itself, against a fake package manager.
echo "== set-up"
if tests/setup/setup_test.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); broken+=("set-up"); fi

build host -DCMAKE_BUILD_TYPE=RelWithDebInfo && run_tests host
build asan -DCMAKE_BUILD_TYPE=Debug -DLV_SANITIZE=asan && run_tests asan
build tsan -DCMAKE_BUILD_TYPE=Debug -DLV_SANITIZE=tsan && run_tests tsan

if [ -f tests/fuzz/CMakeLists.txt ]; then
  if build fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLV_FUZZ=ON \
       -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++; then
    run_tests fuzz
  fi
fi

# The Windows builds run under Wine on a private display, in their own prefix. The i686
# build is the one we ship; its tests run only where this machine can execute 32-bit
# processes (some virtual machines cannot). The x86_64 build of the same tree always runs.
export LV_WINEPREFIX=$root/build/wineprefix
build win32 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
win32_ok=$?
if build win64 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake; then
  display=$(tools/xvfb.sh) || { broken+=("xvfb"); display=; }
  if [ -n "$display" ]; then
    export DISPLAY=:$display
    WINEPREFIX=$LV_WINEPREFIX WINEDEBUG=-all LANG=hu_HU.UTF-8 LC_ALL=hu_HU.UTF-8 \
      WINEDLLOVERRIDES=mscoree,mshtml= /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
    # Wine's desktop process, kept up by a hidden window for the whole series: otherwise
    # each suite starts it afresh, and it holds the suite's output pipe, so CTest waits
    # some 20 s after every suite for it to go.
    tools/wine-run.sh --64 build/win64/bench/wndprobe.exe hold </dev/null >/dev/null 2>&1 &
    desktop_keeper=$!
    for _ in $(seq 40); do pgrep -f 'explorer.exe /desktop' >/dev/null && break; sleep 0.5; done
    run_tests win64
    kill "$desktop_keeper" 2>/dev/null
    wait "$desktop_keeper" 2>/dev/null
    # lvchat.exe under Wine against lvserver (from the host build).
    echo "== e2e lvchat.exe"
    if LV_SERVER=build/host/server/lvserver LV_CHAT_EXE=build/win64/app/lvchat.exe \
         tests/e2e/lvchat_wine.sh build/e2e-lvchat; then
      passed=$((passed + 1))
    else
      failed=$((failed + 1)); broken+=("e2e lvchat.exe")
    fi
    # Its room, private, popup and drawing board windows, with lvcli as a second user.
    echo "== e2e lvchat.exe rooms"
    if LV_SERVER=build/host/server/lvserver LV_CHAT_EXE=build/win64/app/lvchat.exe LV_CLI=build/host/cli/lvcli \
         tests/e2e/lvchat_rooms_wine.sh build/e2e-rooms; then
      passed=$((passed + 1))
    else
      failed=$((failed + 1)); broken+=("e2e lvchat.exe rooms")
    fi
    # The packages for Windows users: the zip and the installer of both builds; the x86_64
    # installer installed, started and uninstalled under Wine in a prefix of its own.
    echo "== packages"
    if [ $win32_ok -ne 0 ]; then
      echo "== packages need the win32 build"
    elif tests/package/package_wine.sh build/package-wine; then
      passed=$((passed + 1))
    else
      failed=$((failed + 1)); broken+=("packages")
    fi
    if [ $win32_ok -eq 0 ] && [ "${LV_WIN32_SUITES:-0}" = 1 ] && tools/i386.sh &&
       /usr/lib/wine/wine --version >/dev/null 2>&1; then
      run_tests win32
    else
      echo "== win32 (i686) built with warnings as errors; its suites run with LV_WIN32_SUITES=1 where the 32-bit Wine is installed"
    fi
    WINEPREFIX=$LV_WINEPREFIX wineserver -k 2>/dev/null
    tools/xvfb.sh stop "$display"
  fi
fi

echo
if [ ${#broken[@]} -gt 0 ]; then
  echo "test.sh: FAILED: ${broken[*]} (build logs in build/logs, test output above)"
fi
echo "tests: $passed passed, $failed failed"
[ ${#broken[@]} -eq 0 ] && [ "$failed" -eq 0 ]
