#!/usr/bin/env bash
# The packages for Windows users, as a user meets them. Builds the zip and the installer of
# both Windows builds and checks the zips' file lists and text files; then, in a Wine prefix
# of its own, runs the x86_64 installer silently (/S), starts the installed program through
# its Start-menu shortcut until the main frame shows, checks the user's folder under
# %APPDATA% (the sample settings copied there, the friends file written there on exit), and
# runs the uninstaller silently: the program goes, the user's folder stays. The i686
# installer (the shipped one) is built and checked to be a 32-bit program; it cannot run here.
#
# Argument: the output folder (default build/package-wine): logs and screenshots.
# Environment: DISPLAY (a private Xvfb display is started without one).
set -uo pipefail
e2e_name=package_wine
# The end-to-end helpers: fail, note, poll, frame_id.
. "$(dirname "$0")/../e2e/lib.sh"
root=$e2e_root
out=$(realpath -m "${1:-$root/build/package-wine}")
export WINEPREFIX=$root/build/wineprefix-package WINEDEBUG=-all LANG=hu_HU.UTF-8 LC_ALL=hu_HU.UTF-8
# No menu entries or file associations of the installed program on this machine's desktop.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
app_pid=

finish() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  wineserver -k 2>/dev/null
  [ -n "$own_display" ] && "$root/tools/xvfb.sh" stop "$own_display"
}
trap finish EXIT

# pe_machine FILE: the machine field of a Windows program (14c i386, 8664 x86_64).
pe_machine() {
  python3 -c 'import struct, sys
d = open(sys.argv[1], "rb").read(4096)
print("%x" % struct.unpack_from("<H", d, struct.unpack_from("<I", d, 0x3c)[0] + 4)[0])' "$1"
}

rm -rf "$out" && mkdir -p "$out"

# Both packages of both builds.
version=
for name in win32 win64; do
  build=$root/build/$name
  [ -f "$build/CMakeCache.txt" ] || fail "no configured build in $build"
  cmake --build "$build" --target package >"$out/package-$name.txt" 2>&1 ||
    fail "packaging $name failed: $(tail -n 20 "$out/package-$name.txt")"
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  [ -n "$version" ] || fail "no project version in $build"
  zipfile=$build/lvchat-$version-$name.zip
  [ -f "$zipfile" ] || fail "no $zipfile"
  top=lvchat-$version-$name
  list=$(unzip -Z1 "$zipfile" | LC_ALL=C sort | tr '\n' ' ')
  [ "$list" = "$top/OLVASSEL.txt $top/lvchat.cfg $top/lvchat.exe " ] || fail "$name zip holds: $list"
  for f in lvchat.cfg OLVASSEL.txt; do
    unzip -p "$zipfile" "$top/$f" | cmp -s - "$build/packaging/$f" || fail "$name zip: $f differs from the build's"
  done
  [ "$(unzip -p "$zipfile" "$top/lvchat.exe" | head -c 2)" = MZ ] || fail "$name zip: lvchat.exe is no program"
done
setup32=$root/build/win32/lvchat-$version-setup.exe
setup64=$root/build/win64/lvchat-$version-win64-setup.exe
[ -f "$setup32" ] && [ -f "$setup64" ] || fail "installers missing: $(ls "$root"/build/win*/lvchat-*.exe 2>&1)"
[ "$(pe_machine "$setup32")" = 14c ] || fail "the win32 installer is not a 32-bit program"
[ "$(pe_machine "$setup64")" = 8664 ] || fail "the win64 installer is not an x86_64 program"
note "packages of $version built: $(cd "$root/build" && ls win32/lvchat-* win64/lvchat-* | tr '\n' ' ')"

if [ -z "${DISPLAY:-}" ]; then
  own_display=$("$root/tools/xvfb.sh") || fail "no display"
  export DISPLAY=:$own_display
fi
[ -d "$WINEPREFIX" ] || "$wine" wineboot -i >/dev/null 2>&1
c=$WINEPREFIX/drive_c
appdir="$c/Program Files/lvchat"
appdata=$("$wine" cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r')
userdir=$("$wine" winepath -u "$appdata\\lvchat" 2>/dev/null | tr -d '\r')
[ -n "$appdata" ] && [ -n "$userdir" ] || fail "the prefix names no Application Data folder"
menu="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/lvchat"
# A run before may have left its traces.
rm -rf "$appdir" "$userdir" "$menu"

# The installer, silent.
timeout 120 "$wine" "$setup64" /S >"$out/setup.txt" 2>&1 || fail "the installer failed ($?)"
for f in lvchat.exe lvstart.exe lvchat.cfg OLVASSEL.txt Uninstall.exe; do
  [ -f "$appdir/$f" ] || fail "not installed: $f (in $appdir: $(ls "$appdir" 2>&1 | tr '\n' ' '))"
done
[ -f "$menu/lvchat.lnk" ] || fail "no Start-menu shortcut (menu: $(ls "$menu" 2>&1 | tr '\n' ' '))"
[ -d "$userdir" ] && fail "the installer made the user's folder: that is the first start's work"

# First start through the shortcut: the launcher makes the user's folder with the sample
# settings and starts the program there.
"$wine" start 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\lvchat\lvchat.lnk' >"$out/start.txt" 2>&1 &
app_pid=$!
frame=
have_frame() { frame=$(frame_id); [ -n "$frame" ]; }
poll 60 have_frame || fail "the installed program showed no main frame"
cmp -s "$userdir/lvchat.cfg" "$appdir/lvchat.cfg" || fail "the sample settings were not copied to $userdir"

# Alt+X asks "Biztosan kilépsz?" (the sample keeps confirm_exit on); Enter answers OK. The
# console window (console=1) may cover the frame: the frame is raised and clicked first.
sleep 2
xdotool windowraise "$frame" 2>/dev/null
eval "$(xdotool getwindowgeometry --shell "$frame")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 8)) click 1
sleep 1
import -window root "$out/installed.png"
xdotool key alt+x
sleep 1.5
xdotool key Return
gone() { [ -z "$(frame_id)" ] && [ -f "$userdir/friends" ]; }
poll 30 gone || fail "the program did not end with its friends file written in $userdir"
wineserver -w
app_pid=

# The user's own settings, changed after the first start, outlive the program.
printf 'autoconnect=1\r\n' >>"$userdir/lvchat.cfg"
cp "$userdir/lvchat.cfg" "$out/user-lvchat.cfg"

# The uninstaller, silent. It runs on from a copy of itself, so it is waited for.
timeout 60 "$wine" 'C:\Program Files\lvchat\Uninstall.exe' /S >"$out/uninstall.txt" 2>&1 || fail "the uninstaller failed ($?)"
timeout 60 wineserver -w
[ -e "$appdir" ] && fail "the program is still installed: $(ls "$appdir" | tr '\n' ' ')"
[ -e "$menu" ] && fail "the Start-menu folder is still there: $(ls "$menu" | tr '\n' ' ')"
cmp -s "$userdir/lvchat.cfg" "$out/user-lvchat.cfg" || fail "the user's settings did not survive the uninstaller"
[ -f "$userdir/friends" ] || fail "the user's friends file did not survive the uninstaller"
note "PASS (screenshot in $out)"
