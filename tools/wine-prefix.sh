#!/usr/bin/env bash
# Creates the project's template Wine prefix at DIR (never the user's own prefix):
# 32-bit, or 64-bit with TALVO_WINE_ARCH=win64; Korean fonts standing in for the fonts the dialogs
# ask for; settings that keep window tests fast and unattended. Safe to call concurrently.
#   wine-prefix.sh DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh" || exit
dir=$(realpath -m "$1")
mkdir -p "$(dirname "$dir")"
exec 9>"$dir.lock"
flock 9
[ -f "$dir/.talvo-ready-3" ] && exit 0
rm -rf "$dir"
export WINEPREFIX=$dir
# Through `wine`: the wineboot command of Debian would take the 32-bit loader on the 64-bit route.
if ! out=$(wine wineboot -i 2>&1); then
  echo "wine-prefix: Wine could not create a $WINEARCH prefix at $dir:" >&2
  tail -n 5 <<<"$out" >&2
  exit 1
fi
subst='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
# Baekmuk Gulim has Gulim's metrics (7 x 12 base units at 9 pt), so dialogs keep the layout the
# window's artwork is drawn for.
wine reg add "$subst" /v "굴림" /d "Baekmuk Gulim" /f >/dev/null 2>&1
for face in "MS Shell Dlg" "MS Shell Dlg 2"; do
  wine reg add "$subst" /v "$face" /d "NanumGothic" /f >/dev/null 2>&1
done
wine reg add "$subst" /v "굴림체" /d "NanumGothicCoding" /f >/dev/null 2>&1
# Unmanaged windows: without it every hide or destroy of a top-level window stalls about 2 s.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
# A crashing test program ends instead of waiting behind a crash dialog.
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wineserver -w
touch "$dir/.talvo-ready-3"
