#!/usr/bin/env bash
# Saves a picture of the skinned controls as the program draws them, with its own artwork, in a
# sample window on a virtual display under Wine.
#   tools/uishot/uishot.sh [OUTPUT.png]      (default docs/controls.png)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
out=$(realpath -m "${1:-$top/docs/controls.png}")
cd "$top"
# The build that runs here: win64 where Wine cannot start 32-bit programs (the same drawing code).
preset=$(tools/windows-build.sh --preset)
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target uishot >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
TALVO_WINE_ARCH=$preset TALVO_WINE_TEMPLATE=${TALVO_WINE_TEMPLATE:-$top/build/$preset/wine/template} \
  "$top/tools/wine-run.sh" "$top/build/$preset/tools/uishot/uishot.exe" "Z:${work//\//\\}\\controls.bmp"
mkdir -p "$(dirname "$out")"
convert "$work/controls.bmp" -strip "$out"
echo "$out"
