#!/usr/bin/env bash
# Update window benchmark (not a test): start click to the window's close for a ~100 MB release
# against the floor for the same work, under Wine. See updatebench.py for what is timed.
#   tools/updatebench/updatebench.sh [BUILD_DIR] [ROUNDS]   (BUILD_DIR: a win32 build, default build/win32)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:-$top/build/win32}")
cmake --build "$build" --target TalvoUpdate talvo_windowdriver updatefloor talvo_client_standin talvo_e2e_helper >/dev/null
exec python3 "$top/tools/updatebench/updatebench.py" --build "$build" --rounds "${2:-3}"
