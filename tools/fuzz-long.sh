#!/usr/bin/env bash
# Long fuzz run of every fuzz target of the host build, one after the other, each from the seed
# corpora its short test pass uses:  tools/fuzz-long.sh [SECONDS]   (default 600 each)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
tools/setup.sh
seconds=${1:-600}
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native -L fuzz --show-only=json-v1 | python3 -c '
import json, sys
for test in json.load(sys.stdin)["tests"]:
    command = test["command"]          # fuzz-run.sh FUZZER SECONDS WORKDIR SEEDS...
    print("\t".join([test["name"][:-len("_short")], command[1]] + command[4:]))
' | while IFS=$'\t' read -r name fuzzer seeds; do
  echo "== $name for ${seconds}s"
  # shellcheck disable=SC2086  # seed folders hold no blanks
  tools/fuzz-run.sh "$fuzzer" "$seconds" "$top/build/native/fuzz-long/$name" $seeds
done
