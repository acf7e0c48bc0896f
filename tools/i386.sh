#!/usr/bin/env bash
# Exits 0 when this machine can execute 32-bit x86 processes, 1 otherwise. Some virtual
# machines cannot, and Wine's 32-bit loader is one such process: there the i686 build is
# compiled but not run. LV_I386=yes|no overrides the answer (tests of the set-up use it).
case "${LV_I386:-}" in
  yes) exit 0 ;;
  no) exit 1 ;;
esac
[ "$(uname -m)" = x86_64 ] || [ "$(uname -m)" = i686 ] || exit 1
# A 93-byte static i386 ELF program that only calls exit(0): ELF header, one loadable
# segment at 0x08048000, then mov eax,1; xor ebx,ebx; int 0x80.
probe=$(mktemp "${TMPDIR:-/tmp}/lvchat-i386.XXXXXX") || exit 1
trap 'rm -f "$probe"' EXIT
printf '%b' \
  '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
  '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
  '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00' \
  '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' \
  '\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' \
  '\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$probe"
chmod +x "$probe"
"$probe" 2>/dev/null
