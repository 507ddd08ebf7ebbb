#!/usr/bin/env bash
# Resume benchmark: a 40 MiB incompressible package through the test update server, uncut and then
# with the connection cut at 10 random points (each answer cut once, the next one continuing
# it with Range/If-Range), fetched by talvo-fetch.exe (the updater's downloader) under Wine.
# Reports bytes the server sent against the package size, and time against the uncut download
# (the downloader's own pauses between tries counted apart).
#   tools/fetchbench/resumebench.sh [BUILD_DIR] [SEED]
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:-$top/build/$("$top/tools/windows-build.sh" --preset)}")
seed=${2:-1}
fetch=$build/tools/talvo-fetch/talvo-fetch.exe
[ -x "$fetch" ] || { echo "resumebench: build the target first: cmake --build $build --target talvo-fetch" >&2; exit 2; }
export TALVO_WINE_TEMPLATE=${TALVO_WINE_TEMPLATE:-$build/wine/template}
export TALVO_WINE_ARCH=${TALVO_WINE_ARCH:-$(python3 -c 'import sys; sys.path.insert(0, sys.argv[1]); import winebuild; print(winebuild.arch_of(sys.argv[2]))' "$top/tests/app" "$fetch")}

work=$(mktemp -d "${TMPDIR:-/tmp}/resumebench.XXXXXX")
server_pid=
cleanup() { [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

size=$((40 * 1024 * 1024))
mkdir -p "$work/root/files" "$work/out"
head -c "$size" /dev/urandom > "$work/root/files/package.bin"
cp "$work/root/files/package.bin" "$work/root/files/uncut.bin"
# Ten cut points over the body; each answer is cut where the next point falls within it.
python3 - "$size" "$seed" > "$work/faults.json" <<'PY'
import json, random, sys
size, seed = int(sys.argv[1]), int(sys.argv[2])
points = sorted(random.Random(seed).sample(range(1, size), 10))
sequence, start = [], 0
for point in points:
    sequence.append({"truncate": point - start})
    start = point
sequence.append({})
json.dump({"/files/package.bin": {"validator": "both", "sequence": sequence},
           "/files/uncut.bin": {"validator": "both"}}, sys.stdout)
PY
python3 "$top/tools/updateserver/updateserver.py" --root "$work/root" --port 0 --port-file "$work/port" \
  --faults "$work/faults.json" --access-log "$work/access.log" 2>/dev/null &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
base="http://127.0.0.1:$(cat "$work/port")/files"

run() {  # URL: wall milliseconds of one talvo-fetch run, its debug lines to $work/$2.log
  local start end
  start=$(date +%s%N)
  WINEDEBUG=-all,+debugstr "$top/tools/wine-run.sh" "$fetch" --save-dir "Z:${work//\//\\}\\out" "$1" \
    >"$work/$2.out" 2>"$work/$2.log" || true
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}
uncut_ms=$(run "$base/uncut.bin" uncut)
cut_ms=$(run "$base/package.bin" cut)
cmp -s "$work/out/package.bin" "$work/root/files/package.bin" && whole=yes || whole=NO

python3 - "$work/access.log" "$size" "$uncut_ms" "$cut_ms" "$whole" "$work/cut.log" <<'PY'
import re, sys
log, size, uncut, cut, whole, debug = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), sys.argv[5], sys.argv[6]
sent = {"uncut": 0, "package": 0}
requests = 0
for line in open(log):
    m = re.search(r" /files/(\w+)\.bin sent=(\d+)", line)
    if m:
        sent[m.group(1)] += int(m.group(2))
    if "request GET /files/package.bin" in line:
        requests += 1
tries = sum(1 for line in open(debug, errors="replace") if "broke off at byte" in line)
# The downloader pauses 500 ms before each try after one that got on.
pauses = 500 * tries
extra = sent["package"] - size
print("| 40 MiB, 10 cuts | value |")
print("|---|---|")
print("| whole and equal to the package | %s |" % whole)
print("| requests | %d |" % requests)
print("| bytes sent / package size | %.4f (%d extra, %.1f KiB per cut) |" % (sent["package"] / size, extra, extra / 1024 / 10))
print("| uncut ms | %d |" % uncut)
print("| cut ms (pauses %d ms) | %d |" % (pauses, cut))
print("| (cut - pauses) / uncut | %.2f |" % ((cut - pauses) / uncut))
PY
