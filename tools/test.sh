#!/usr/bin/env bash
# Builds the presets and runs every test: the portable core natively under ASan/UBSan (with a
# short fuzz pass), and the Windows build under Wine in the project's own prefix.
#   tools/test.sh            everything
#   TALVO_TEST_JOBS=N        parallel ctest jobs (default: number of cores)
#   TALVO_WINDOWS_BUILD=win64  the Windows tests on the 64-bit build even where 32-bit programs run
# Where Wine's 32-bit loader cannot start (tools/windows-build.sh), the shipped 32-bit build is
# still built and its image checked, and every Windows test runs on the 64-bit build.
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

if ! why=$(tools/windows-build.sh --why); then
  echo "test: the Windows tests cannot run on this machine (see above)" >&2
  exit 1
fi
windows_build=${why%%:*}
echo "== Windows tests run on $why"

status=0
build() {
  echo "== $1: configure and build"
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$(nproc)"
}
run_tests() {
  local preset=$1 note=$2
  shift 2
  echo "== $preset: test${note:+ ($note)}"
  ctest --preset "$preset" -j "$jobs" "$@" || status=1
}
for preset in native win32 win64; do
  if [ "$preset" = win64 ] && [ "$windows_build" != win64 ]; then continue; fi
  build "$preset"
  if [ "$preset" = win32 ] && [ "$windows_build" != win32 ]; then
    run_tests "$preset" "the shipped image only, read without running it; the rest on win64" -L image
  else
    run_tests "$preset" ""
  fi
done
exit $status
