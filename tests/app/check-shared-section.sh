#!/usr/bin/env bash
# The background counter's section "UpdateAp" must be in the program image and marked shared,
# or every updater process would count only itself.
#   check-shared-section.sh PROGRAM.exe [i386|x86-64]
set -euo pipefail
case ${2:-i386} in
  x86-64) objdump=$(command -v x86_64-w64-mingw32-objdump || command -v objdump) ;;
  *) objdump=$(command -v i686-w64-mingw32-objdump || command -v objdump) ;;
esac
headers=$("$objdump" -h "$1")
section=$(grep -A1 -E '^ +[0-9]+ UpdateAp ' <<<"$headers" || true)
if [ -z "$section" ]; then
  echo "no UpdateAp section in $1" >&2
  exit 1
fi
echo "$section"
size=$(awk 'NR==1 {print $3}' <<<"$section")
grep -q 'SHARED' <<<"$section" || { echo "UpdateAp is not shared" >&2; exit 1; }
grep -q 'DATA' <<<"$section" || { echo "UpdateAp holds no data" >&2; exit 1; }
# One 32-bit counter and nothing else.
[ "$((16#$size))" -eq 4 ] || { echo "UpdateAp holds $((16#$size)) bytes, expected 4" >&2; exit 1; }
