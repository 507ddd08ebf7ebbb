#!/usr/bin/env bash
# Which Windows build runs here under Wine. The shipped program is the 32-bit build; where the
# kernel has 32-bit emulation switched off, Wine's 32-bit loader cannot start, and the same program
# built for x86_64 runs under Wine's 64-bit loader instead (tests, demo, benchmarks, pictures).
#   windows-build.sh          prints win32 or win64
#   windows-build.sh --why    prints the build and, after a colon, the reason
# TALVO_WINDOWS_BUILD=win32|win64 forces one (the 64-bit route can be tried anywhere). Exit 1,
# with what is missing on stderr, when neither build can run here.
set -uo pipefail
wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64

# Prints why LOADER cannot start, or nothing when it prints its version.
loader_trouble() {
  local loader=$1 out
  [ -e "$loader" ] || { echo "$loader is not installed"; return; }
  # execve itself, so the kernel's answer is seen (a shell or execvp would retry it as a script).
  if out=$(timeout 30 python3 -c 'import os, sys
try:
    os.execv(sys.argv[1], sys.argv[1:])
except OSError as e:
    sys.exit(e.strerror)' "$loader" --version 2>&1); then return; fi
  echo "$loader does not start: ${out:-no reason given}"
}

answer() {
  if [ "${1:-}" = --why ]; then echo "$2: $3"; else echo "$2"; fi
  exit 0
}

why=${1:-}
case "${TALVO_WINDOWS_BUILD:-}" in
  win32) answer "$why" win32 "forced by TALVO_WINDOWS_BUILD=win32" ;;
  win64) answer "$why" win64 "forced by TALVO_WINDOWS_BUILD=win64" ;;
  "") ;;
  *) echo "windows-build: TALVO_WINDOWS_BUILD must be win32 or win64, not '$TALVO_WINDOWS_BUILD'" >&2; exit 1 ;;
esac

trouble32=$(loader_trouble "$wine32")
[ -z "$trouble32" ] && answer "$why" win32 "Wine's 32-bit loader starts here, so the shipped 32-bit program runs"
trouble64=$(loader_trouble "$wine64")
[ -z "$trouble64" ] && answer "$why" win64 "Wine's 32-bit loader cannot start here ($trouble32), so the same program built for x86_64 runs under Wine's 64-bit loader"
echo "windows-build: no Windows build can run here: $trouble32; $trouble64. Install Debian's wine, wine64 and wine32:i386 (tools/setup.sh); a kernel without 32-bit emulation needs wine64." >&2
exit 1
