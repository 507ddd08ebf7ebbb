#!/usr/bin/env bash
# Builds both presets and runs every test: the portable core natively under ASan/UBSan (with a
# short fuzz pass), and the Windows build under Wine in the project's own prefix.
#   tools/test.sh            everything
#   TALVO_TEST_JOBS=N        parallel ctest jobs (default: number of cores)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
tools/setup.sh

jobs=${TALVO_TEST_JOBS:-$(nproc)}
# One virtual display for all Wine tests when there is none.
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 140); do
    [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ] || { disp=$n; break; }
  done
  Xvfb ":$disp" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
  export DISPLAY=":$disp"
  for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$disp ] && break; sleep 0.1; done
fi

status=0
for preset in native win32; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
  echo "== $preset: test"
  ctest --preset "$preset" -j "$jobs" || status=1
done
exit $status
