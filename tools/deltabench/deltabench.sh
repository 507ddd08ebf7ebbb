#!/usr/bin/env bash
# Delta benchmark (not a test): a release of real programs, this repository's updater, tools and
# test programs built for Windows at two adjacent commits, plus a 4 MB data file with a small
# change, published by talvo-publish as two signed releases; the full package against the delta:
# bytes, fetching the way the updater fetches (talvo-fetch.exe on the loopback), unpacking and
# applying the way it does (talvo-zip.exe extract / patch), its peak memory, and the publisher's
# time to make the delta. See deltabench.py.
#   tools/deltabench/deltabench.sh [OLD_REV [NEW_REV]]       (default HEAD~1 HEAD)
# The Windows builds are of the route that runs here (tools/windows-build.sh: win32, or win64 where
# Wine cannot start 32-bit programs; the same code).
# Environment:
#   DELTABENCH_OLD_BUILD, DELTABENCH_NEW_BUILD  Windows build folders to take the programs from
#       instead of building the two commits (each in a git worktree below the work folder)
#   DELTABENCH_WORK   work folder (default build/deltabench)
#   DELTABENCH_HOST   native build with talvo-publish (default build/native-bench, built here)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"
[ -n "${DISPLAY:-}" ] || exec tools/with-display.sh "$0" "$@"
work=$(realpath -m "${DELTABENCH_WORK:-build/deltabench}")
host=$(realpath -m "${DELTABENCH_HOST:-build/native-bench}")
mkdir -p "$work"
preset=$(tools/windows-build.sh --preset)
[ "$preset" = win64 ] && export TALVO_WINE_ARCH=win64 || export TALVO_WINE_ARCH=win32
programs=(TalvoUpdate TalvoUpdateTestTimings TalvoUpdateSignedTest talvo_client_standin talvo_windowdriver
          talvo-fetch talvo-zip talvo-doc talvo-publish)

# A commit's Windows build: its own worktree, configured with the route's preset, the release's
# programs built (their outputs are what the release ships).
build_rev() {
  local rev=$1 sha src
  sha=$(git rev-parse --short=12 "$rev^{commit}")
  src=$work/src-$sha
  [ -d "$src" ] || git worktree add --detach "$src" "$sha" >/dev/null
  (cd "$src" && cmake --preset "$preset" >/dev/null)
  local targets=()
  for t in "${programs[@]}"; do
    if cmake --build "$src/build/$preset" --target help | grep -q "^$t:"; then targets+=("$t"); fi
  done
  cmake --build "$src/build/$preset" -j2 --target "${targets[@]}" >/dev/null
  echo "$src/build/$preset"
}

old=${DELTABENCH_OLD_BUILD:-}
new=${DELTABENCH_NEW_BUILD:-}
[ -n "$old" ] || old=$(build_rev "${1:-HEAD~1}")
[ -n "$new" ] || new=$(build_rev "${2:-HEAD}")

cmake --preset native-bench -B "$host" >/dev/null
cmake --build "$host" -j2 --target talvo-publish >/dev/null
# Fetching and applying are measured with this tree's tools (older commits may lack the applier).
cmake --preset "$preset" >/dev/null
cmake --build "build/$preset" -j2 --target talvo-fetch talvo-zip >/dev/null
exec python3 tools/deltabench/deltabench.py --old "$old" --new "$new" --host "$host" --work "$work" \
  --tools "build/$preset" --programs "${programs[@]}"
