#!/usr/bin/env bash
# Builds both presets and runs every test: the portable core natively under ASan/UBSan (with a
# short fuzz pass), and the Windows build under Wine in the project's own prefix.
#   tools/test.sh            everything
#   TALVO_TEST_JOBS=N        parallel ctest jobs (default: number of cores)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
if [ -z "${TALVO_SETUP_DONE:-}" ]; then
  tools/setup.sh
  export TALVO_SETUP_DONE=1
fi

jobs=${TALVO_TEST_JOBS:-$(nproc)}
# One virtual display for all Wine tests when there is none.
[ -n "${DISPLAY:-}" ] || exec tools/with-display.sh "$0" "$@"

status=0
for preset in native win32; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
  echo "== $preset: test"
  ctest --preset "$preset" -j "$jobs" || status=1
done
exit $status
