#!/usr/bin/env bash
# Long fuzz run of every fuzz target of the host build: tools/fuzz-long.sh [SECONDS] (default 600 each).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
seconds=${1:-600}
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native -N -L fuzz | sed -n 's/.*Test *#[0-9]*: \(.*\)_short$/\1/p' | while read -r name; do
  fuzzer=$(find build/native -type f -name "$name" -perm -u+x | head -n 1)
  echo "== $name for ${seconds}s"
  seeds=(); for d in tests/*/corpus/"$name" build/native/fuzz/"$name"/corpus; do [ -d "$d" ] && seeds+=("$d"); done
  tools/fuzz-run.sh "$(realpath "$fuzzer")" "$seconds" "$top/build/native/fuzz-long/$name" "${seeds[@]}"
done
