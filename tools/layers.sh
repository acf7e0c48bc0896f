#!/usr/bin/env bash
# The house in floors: every `#include "folder/..."` must point down a floor or stay on
# its own, never up. Prints each include that points up and exits 1 when there is one.
#
#   program   app/                          the glue that knows every window
#   windows   ui/
#   settings  settings/
#   base      toolkit/ text/ protocol/ resources/
#   apart     server/ cli/ packaging/       the base only
#
# Inside the base: the toolkit knows only itself; text knows only itself; the protocol
# knows the text's and the toolkit's public headers (text/string.h, toolkit/list.h,
# toolkit/strlist.h); nothing outside protocol/ sees protocol/internal.h except tests.
# tests/, bench/ and tools/ may use everything.
set -uo pipefail
cd "$(dirname "$0")/.."

floor() {
  case $1 in
    app) echo 3 ;;
    ui) echo 2 ;;
    settings) echo 1 ;;
    toolkit|text|protocol|resources) echo 0 ;;
    server|cli|packaging) echo apart ;;
    *) echo any ;;
  esac
}

# allowed FROM-FOLDER INCLUDED-PATH: 0 when the include may stand.
allowed() {
  local from=$1 path=$2 to=${2%%/*}
  local f t
  f=$(floor "$from") t=$(floor "$to")
  [ "$f" = any ] && return 0
  [ "$t" = any ] && return 1
  if [ "$f" = apart ]; then
    [ "$to" = "$from" ] || { [ "$t" = 0 ] && [ "$path" != protocol/internal.h ]; }
    return
  fi
  [ "$t" = apart ] && return 1
  [ "$t" -gt "$f" ] && return 1
  [ "$path" = protocol/internal.h ] && [ "$from" != protocol ] && return 1
  if [ "$f" = 0 ] && [ "$t" = 0 ] && [ "$from" != "$to" ]; then
    case $from:$path in
      protocol:text/string.h|protocol:toolkit/list.h|protocol:toolkit/strlist.h) return 0 ;;
      *) return 1 ;;
    esac
  fi
  return 0
}

bad=0
while IFS=: read -r file _ line; do
  path=$(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]+"([^"]+)".*/\1/p' <<<"$line")
  [[ $path == */* ]] || continue
  from=${file%%/*}
  if ! allowed "$from" "$path"; then
    echo "layers: $file includes $path"
    bad=1
  fi
done < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h' '*.rc' | xargs grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' /dev/null)
[ $bad = 0 ] && echo "layers: every include points down or sideways"
exit $bad
