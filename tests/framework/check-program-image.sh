#!/usr/bin/env bash
# TalvoUpdate.exe must run on a clean Windows: 32-bit GUI program, no mingw DLLs beside it,
# manifest asking for no elevation. The 64-bit build (tests where 32-bit programs cannot run) is
# held to the same with its own image format.
#   check-program-image.sh PROGRAM.exe [i386|x86-64]
set -euo pipefail
exe=$1
arch=${2:-i386}
fail() { echo "FAIL: $*" >&2; exit 1; }
case $arch in
  i386) objdump=i686-w64-mingw32-objdump; manifest_arch=x86 ;;
  x86-64) objdump=x86_64-w64-mingw32-objdump; manifest_arch=amd64 ;;
  *) fail "unknown image kind $arch" ;;
esac
head=$($objdump -f "$exe")
grep -q "file format pei-$arch" <<<"$head" || fail "not a pei-$arch image"
headers=$($objdump -p "$exe")
grep -Eq '^Subsystem[[:space:]]+00000002' <<<"$headers" || fail "not the GUI subsystem"
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|SHELL32|SHLWAPI|WININET|WS2_32|WSOCK32|COMCTL32|COMDLG32|OLE32|OLEAUT32|MSIMG32|msvcrt|ATL|VERSION|UXTHEME|RSTRTMGR|BCRYPT)\.dll$'
while read -r dll; do
  grep -Eiq "$allowed" <<<"$dll" || fail "imports non-system DLL $dll"
done < <(sed -n 's/.*DLL Name: //p' <<<"$headers")
text=$(strings -a "$exe")
grep -q 'requestedExecutionLevel level="asInvoker"' <<<"$text" || fail "manifest without asInvoker"
# The common controls are loaded for the architecture the manifest names; another one stops the
# program before it starts (Windows reports a side-by-side error).
if grep -o 'processorArchitecture="[^"]*"' <<<"$text" | grep -vq "\"$manifest_arch\""; then
  fail "manifest names another architecture than $manifest_arch"
fi
echo "ok: $exe"
