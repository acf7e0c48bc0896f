#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12. Idempotent: asks apt
# only for packages that are missing.
#
# A package mirror can be caught mid-sync (one index fails its size check): a failed
# index is a warning, and set-up goes on with the lists that did arrive. Only a required
# package that cannot be installed stops it, naming the package.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Building both builds, the fuzzers and the packages; running the Windows suites under
# wine64 on a private display; the proxy and web server peers; the Hungarian locale.
# fonts-liberation: faces with the metrics of Arial, Times New Roman and Courier New, which
# the program asks for by name, so that Wine lays text out as Windows does.
required=(cmake make g++ clang libclang-rt-14-dev googletest libbenchmark-dev
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth x11-utils imagemagick xdotool fonts-liberation
  tinyproxy nginx-light locales procps iproute2 python3 nsis zip unzip)
# The 32-bit Wine runs the shipped i686 build's suites, only where this machine can
# execute 32-bit processes at all; without it the x86_64 build runs every Windows suite.
optional=()
want_i386=0
if "$here/i386.sh"; then
  want_i386=1
  optional+=(wine32:i386)
fi

say() { echo "setup: $*"; }
sudo_() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
apt_() { sudo_ env DEBIAN_FRONTEND=noninteractive apt-get "$@"; }
install_() { apt_ install -y -q --no-install-recommends "$@"; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# missing NAME PKGS...: sets the array NAME to the packages not installed yet.
missing() {
  local -n into=$1; shift
  into=()
  local p
  for p in "$@"; do installed "$p" || into+=("$p"); done
}

# Fetches the package lists; a failing index (a mirror mid-sync) is retried once and then
# left out: apt still installs from the lists that arrived.
update_lists() {
  apt_ update -q && return 0
  say "warning: some package lists could not be fetched; trying once more"
  sleep "${LV_SETUP_RETRY_DELAY:-3}"
  apt_ update -q && return 0
  say "warning: going on with the package lists that did arrive"
}

need_req=() need_opt=() failed=()
missing need_req "${required[@]}"
missing need_opt "${optional[@]}"
added_i386=0
if [ ${#need_req[@]} -gt 0 ] || [ ${#need_opt[@]} -gt 0 ]; then
  say "installing ${need_req[*]} ${need_opt[*]}"
  if [ $want_i386 = 1 ] && [ ${#need_opt[@]} -gt 0 ] &&
     ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo_ dpkg --add-architecture i386 && added_i386=1
  fi
  update_lists
  if ! install_ "${need_req[@]}" "${need_opt[@]}"; then
    # One broken package spoils a combined request: the required ones first, together,
    # then each alone to name the ones that cannot be had.
    say "the combined install failed; installing the required packages first"
    if [ ${#need_req[@]} -gt 0 ] && ! install_ "${need_req[@]}"; then
      for p in "${need_req[@]}"; do installed "$p" || install_ "$p" || true; done
      missing failed "${need_req[@]}"
      if [ ${#failed[@]} -gt 0 ]; then
        say "error: cannot install the required package(s): ${failed[*]}"
        exit 1
      fi
    fi
    for p in "${need_opt[@]}"; do
      install_ "$p" || say "warning: the optional package $p could not be installed; going on without it"
    done
  fi
  missing failed "${required[@]}"
  if [ ${#failed[@]} -gt 0 ]; then
    say "error: cannot install the required package(s): ${failed[*]}"
    exit 1
  fi
  if [ $added_i386 = 1 ] && ! installed wine32:i386; then
    # Nothing of i386 is installed: drop the architecture so that a later update does not
    # keep fetching (and failing on) its lists.
    say "the 32-bit Wine is not installed: the i686 build is compiled, and the x86_64 build runs the Windows suites"
    sudo_ dpkg --remove-architecture i386 || true
  fi
fi

# Wine takes its ANSI code page from the locale: hu_HU gives Windows-1250.
if ! locale -a 2>/dev/null | grep -qi '^hu_HU.utf8$'; then
  sudo_ sed -i 's/^# *hu_HU.UTF-8 UTF-8/hu_HU.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^hu_HU.UTF-8 UTF-8' /etc/locale.gen || echo 'hu_HU.UTF-8 UTF-8' | sudo_ tee -a /etc/locale.gen >/dev/null
  sudo_ locale-gen >/dev/null || { say "error: cannot make the hu_HU.UTF-8 locale"; exit 1; }
fi
exit 0
