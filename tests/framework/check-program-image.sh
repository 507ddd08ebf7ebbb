#!/usr/bin/env bash
# TalvoUpdate.exe must run on a clean Windows: 32-bit GUI program, no mingw DLLs beside it,
# manifest asking for no elevation.
set -euo pipefail
exe=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
head=$(i686-w64-mingw32-objdump -f "$exe")
grep -q 'file format pei-i386' <<<"$head" || fail "not a PE32 i386 image"
headers=$(i686-w64-mingw32-objdump -p "$exe")
grep -Eq '^Subsystem[[:space:]]+00000002' <<<"$headers" || fail "not the GUI subsystem"
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|SHELL32|SHLWAPI|WININET|WS2_32|WSOCK32|COMCTL32|COMDLG32|OLE32|OLEAUT32|MSIMG32|msvcrt|ATL|VERSION|UXTHEME)\.dll$'
while read -r dll; do
  grep -Eiq "$allowed" <<<"$dll" || fail "imports non-system DLL $dll"
done < <(sed -n 's/.*DLL Name: //p' <<<"$headers")
text=$(strings -a "$exe")
grep -q 'requestedExecutionLevel level="asInvoker"' <<<"$text" || fail "manifest without asInvoker"
echo "ok: $exe"
