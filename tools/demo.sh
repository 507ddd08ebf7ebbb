#!/usr/bin/env bash
# The updater's main job against a local update server with the sample release.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
tools/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32
echo "built build/win32/app/TalvoUpdate.exe"
