#!/usr/bin/env bash
# Creates the project's template Wine prefix at DIR (never the user's own prefix):
# 32-bit, Korean fonts standing in for the fonts the dialogs ask for. Safe to call concurrently.
#   wine-prefix.sh DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
dir=$(realpath -m "$1")
mkdir -p "$(dirname "$dir")"
exec 9>"$dir.lock"
flock 9
[ -f "$dir/.talvo-ready" ] && exit 0
rm -rf "$dir"
export WINEPREFIX=$dir
wineboot -i >/dev/null 2>&1
subst='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
for face in "굴림" "굴림체" "MS Shell Dlg" "MS Shell Dlg 2"; do
  wine reg add "$subst" /v "$face" /d "NanumGothic" /f >/dev/null 2>&1
done
wineserver -w
touch "$dir/.talvo-ready"
