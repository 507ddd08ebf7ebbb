#!/usr/bin/env bash
# A picture of the notice box wrapped with skinned scroll bars, taken under Wine on a virtual
# display:
#   tools/scrollshot/scrollshot.sh [OUT.png] [SKIN.bmp]     (default docs/notice-scroll.png)
# Environment: TALVO_BUILD, a Windows build with the scrollshot target (default: the one that runs
# here, tools/windows-build.sh --preset).
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
out=$(realpath -m "${1:-$top/docs/notice-scroll.png}")
skin=${2:+$(realpath "$2")}
preset=$("$top/tools/windows-build.sh" --preset)
build=$(realpath "${TALVO_BUILD:-$top/build/$preset}")
exe=$build/tools/scrollshot/scrollshot.exe
[ -f "$exe" ] || { echo "scrollshot: build it first: cmake --build --preset $preset --target scrollshot" >&2; exit 2; }
export TALVO_WINE_ARCH=${TALVO_WINE_ARCH:-$(python3 -c 'import sys; sys.path.insert(0, sys.argv[1]); import winebuild; print(winebuild.arch_of(sys.argv[2]))' "$top/tests/app" "$exe")}
export TALVO_WINE_TEMPLATE=${TALVO_WINE_TEMPLATE:-$build/wine/template}
"$top/tools/wine-prefix.sh" "$TALVO_WINE_TEMPLATE"

work=$(mktemp -d "${TMPDIR:-/tmp}/scrollshot.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$top/tools/wine-run.sh" "$exe" "Z:$work/shot.bmp" ${skin:+"Z:$skin"}
mkdir -p "$(dirname "$out")"
convert "$work/shot.bmp" "$out"
echo "$out"
