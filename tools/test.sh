#!/usr/bin/env bash
# Builds the presets and runs every test: the portable core natively under ASan/UBSan (with a
# short fuzz pass), and the Windows build under Wine in the project's own prefix.
#   tools/test.sh              everything
#   tools/test.sh --emulated32 every Windows test of the 32-bit build with Wine's 32-bit loader under
#                              qemu-i386 user emulation (slow), wherever this machine can run it
#   TALVO_TEST_JOBS=N          parallel ctest jobs (default: number of cores)
#   TALVO_WINDOWS_BUILD=win64  the Windows tests on the 64-bit build even where 32-bit programs run
#   TALVO_SKIP_EMULATED32=1    no shipped-program set on the 32-bit build (below)
# Where Wine's 32-bit loader cannot start (tools/windows-build.sh), the shipped 32-bit build is
# still built and its image checked, every Windows test runs on the 64-bit build, and a few
# end-to-end tests of the shipped program (ctest label "shipped": the update window's full run,
# signed releases accepted and refused, the interruption at a handful of points, the start-up
# guard) run on the 32-bit build with its loader under qemu-i386 user emulation.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
only_windows32=0
for arg in "$@"; do
  case "$arg" in
    --emulated32) export TALVO_WINDOWS_BUILD=emulated32; only_windows32=1 ;;
    *) echo "test: unknown option '$arg' (--emulated32)" >&2; exit 2 ;;
  esac
done
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
# The shipped program's end-to-end set where the Windows tests run on the 64-bit build: natively
# where the 32-bit loader starts (TALVO_WINDOWS_BUILD=win64 asked for the 64-bit route), else
# emulated (installing the emulator first).
shipped_route=
if [ "$windows_build" = win64 ]; then
  if [ "${TALVO_SKIP_EMULATED32:-0}" = 1 ]; then
    echo "== shipped-program set on the 32-bit build: skipped (TALVO_SKIP_EMULATED32=1)"
  else
    if ! shipped_why=$(tools/windows-build.sh --shipped --why 2>/dev/null); then
      tools/setup.sh --emulated32 || true
      shipped_why=$(tools/windows-build.sh --shipped --why) || shipped_why=
    fi
    if [ -n "$shipped_why" ]; then
      shipped_route=${shipped_why%%:*}
      echo "== shipped-program set on the 32-bit build: $shipped_why"
    else
      echo "test: the shipped-program set cannot run (see above); TALVO_SKIP_EMULATED32=1 skips it" >&2
      status=1
    fi
  fi
fi

presets="native win32 win64"
[ "$only_windows32" = 1 ] && presets=win32
for preset in $presets; do
  if [ "$preset" = win64 ] && [ "$windows_build" != win64 ]; then continue; fi
  build "$preset"
  if [ "$preset" = win32 ] && [ "$windows_build" = win64 ]; then
    run_tests "$preset" "the shipped image only, read without running it; the rest on win64" -L image
    if [ -n "$shipped_route" ]; then
      start=$SECONDS
      # Cuts at five points: each costs a full update and a repair, and emulated that is slow.
      TALVO_WINDOWS_BUILD=$shipped_route TALVO_E2E_INTERRUPT_POINTS=5 \
        run_tests "$preset" "the shipped program end to end on $shipped_route" -L shipped
      echo "== $preset: shipped-program set took $((SECONDS - start)) s"
    fi
  else
    run_tests "$preset" ""
  fi
done
exit $status
