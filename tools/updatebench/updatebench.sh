#!/usr/bin/env bash
# Update window benchmark (not a test): start click to the window's close for a ~100 MB release
# against the floor for the same work, under Wine. See updatebench.py for what is timed.
#   tools/updatebench/updatebench.sh [BUILD_DIR] [ROUNDS] [--signed] [--against OTHER_TalvoUpdate.exe]
# BUILD_DIR: a Windows build, by default the one that runs here (tools/windows-build.sh: build/win32,
# or build/win64 where Wine cannot start 32-bit programs).
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
if [ -z "${1:-}" ]; then
  preset=$("$top/tools/windows-build.sh" --preset)
  cmake --preset "$preset" -S "$top" >/dev/null
fi
build=$(realpath "${1:-$top/build/$preset}")
cmake --build "$build" --target TalvoUpdate TalvoUpdateSignedTest talvo_windowdriver updatefloor talvo_client_standin talvo_e2e_helper >/dev/null
# Port 80 is the test server's; wait for any test or demo that holds it.
exec flock /tmp/talvo-port80.lock python3 "$top/tools/updatebench/updatebench.py" --build "$build" --rounds "${2:-3}" "${@:3}"
