#!/usr/bin/env bash
# Which Windows build runs here under Wine, and how. The shipped program is the 32-bit build;
# where the kernel has 32-bit emulation switched off, Wine's 32-bit loader cannot start, and the
# same program built for x86_64 runs under Wine's 64-bit loader instead (tests, demo, benchmarks,
# pictures). A third route, emulated32, runs the 32-bit build's loader under qemu-i386 user
# emulation there: slow (every 32-bit instruction is emulated), so only when asked, and for the
# few end-to-end tests of the shipped program that tools/test.sh runs on such a machine.
#   windows-build.sh                 prints win32, win64 or emulated32
#   windows-build.sh --why           prints the route and, after a colon, the reason
#   windows-build.sh --shipped [--why]  the route for the shipped 32-bit build here: win32 where
#                                    its loader starts, else emulated32
#   windows-build.sh --preset        the build folder (preset) of the route: emulated32 runs win32
# TALVO_WINDOWS_BUILD=win32|win64|emulated32 forces one (the 64-bit and emulated routes can be
# tried anywhere). Exit 1, with what is missing on stderr in one line, when no route can run here.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64
qemu=${TALVO_QEMU_I386:-/usr/bin/qemu-i386}

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

# Prints why the 32-bit loader cannot start under qemu-i386, or nothing when it can.
emulated_trouble() {
  local out version
  [ -e "$wine32" ] || { echo "$wine32 (wine32:i386) is not installed"; return; }
  [ -x "$qemu" ] || { echo "$qemu is not installed (tools/setup.sh --emulated32 installs qemu-user)"; return; }
  version=$("$qemu" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\)\..*/\1/p')
  # qemu 7 ignores MAP_FIXED_NOREPLACE, and Wine cannot map its shared user data.
  if [ -z "$version" ] || [ "$version" -lt 8 ]; then
    echo "$qemu is version ${version:-unknown}; Wine's 32-bit loader needs qemu 8 or later (bookworm-backports)"
    return
  fi
  if ! out=$("$here/wine-emulated32/build-preload.sh" 2>&1 >/dev/null); then echo "$out"; return; fi
  if ! out=$(timeout 60 "$here/wine-emulated32/wine" --version 2>&1); then
    echo "$wine32 does not start under $qemu: $(head -n 1 <<<"${out:-no reason given}")"
  fi
}

answer() {
  if [ "$preset" = 1 ]; then [ "$1" = emulated32 ] && echo win32 || echo "$1"
  elif [ "$why" = 1 ]; then echo "$1: $2"
  else echo "$1"; fi
  exit 0
}
fail() {
  echo "windows-build: $1" >&2
  exit 1
}

why=0 shipped=0 preset=0
for arg in "$@"; do
  case "$arg" in
    --why) why=1 ;;
    --shipped) shipped=1 ;;
    --preset) preset=1 ;;
    *) fail "unknown option '$arg' (--why, --shipped, --preset)" ;;
  esac
done

emulated() {
  local trouble
  trouble=$(emulated_trouble)
  [ -z "$trouble" ] || fail "the emulated32 route cannot start: $trouble"
  answer emulated32 "$1"
}

if [ "$shipped" = 1 ]; then
  trouble32=$(loader_trouble "$wine32")
  [ -z "$trouble32" ] && answer win32 "Wine's 32-bit loader starts here"
  emulated "Wine's 32-bit loader cannot start here ($trouble32), so it runs under qemu-i386 user emulation"
fi

case "${TALVO_WINDOWS_BUILD:-}" in
  win32) answer win32 "forced by TALVO_WINDOWS_BUILD=win32" ;;
  win64) answer win64 "forced by TALVO_WINDOWS_BUILD=win64" ;;
  emulated32) emulated "forced by TALVO_WINDOWS_BUILD=emulated32: the 32-bit build, its Wine loader run by qemu-i386 user emulation" ;;
  "") ;;
  *) fail "TALVO_WINDOWS_BUILD must be win32, win64 or emulated32, not '$TALVO_WINDOWS_BUILD'" ;;
esac

trouble32=$(loader_trouble "$wine32")
[ -z "$trouble32" ] && answer win32 "Wine's 32-bit loader starts here, so the shipped 32-bit program runs"
trouble64=$(loader_trouble "$wine64")
[ -z "$trouble64" ] && answer win64 "Wine's 32-bit loader cannot start here ($trouble32), so the same program built for x86_64 runs under Wine's 64-bit loader"
fail "no Windows build can run here: $trouble32; $trouble64. Install Debian's wine, wine64 and wine32:i386 (tools/setup.sh); a kernel without 32-bit emulation needs wine64."
