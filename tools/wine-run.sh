#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's prefix, display and code page.
# CMake uses it as the cross-compiling emulator, so CTest runs the win32 tests through it.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${LV_WINEPREFIX:-$here/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# The Hungarian locale gives the ANSI code page 1250 (it must match the running wineserver).
export LANG=hu_HU.UTF-8 LC_ALL=hu_HU.UTF-8
[ -n "${DISPLAY:-}" ] || export DISPLAY=${LV_DISPLAY:-:99}
# 64-bit programs go straight to the 64-bit loader: on machines that cannot execute 32-bit
# Linux processes the `wine` front end would pick the 32-bit loader and fail.
loader=wine
if [ "${1:-}" = --64 ]; then loader=/usr/lib/wine/wine64; shift; export WINELOADER=$loader; fi
exe=$1; shift
case "$exe" in
  *.exe) ;;
  *) [ -f "$exe.exe" ] && exe=$exe.exe ;;
esac
exec "$loader" "$exe" "$@"
