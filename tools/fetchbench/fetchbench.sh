#!/usr/bin/env bash
# Download benchmark: the same 100 MB file from the same test update server, in one run, by
#   - CInternetFileDown in file mode (without and with a progress bar on the waiting thread),
#   - a bare WinINet loop making the same calls with the same reads of at most 4096 bytes, on the calling
#     thread and on a thread of its own (the downloader's worker is one),
#   - curl (native, for scale).
#   tools/fetchbench/fetchbench.sh [BUILD_DIR] [ROUNDS]
# BUILD_DIR: a Windows build, by default the one that runs here (tools/windows-build.sh --preset).
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:-$top/build/$("$top/tools/windows-build.sh" --preset)}")
rounds=${2:-5}
bench=$build/tools/fetchbench/fetchbench.exe
[ -x "$bench" ] || { echo "fetchbench: build the target first: cmake --build $build --target fetchbench" >&2; exit 2; }
export TALVO_WINE_TEMPLATE=${TALVO_WINE_TEMPLATE:-$build/wine/template}
export TALVO_WINE_ARCH=${TALVO_WINE_ARCH:-$(python3 -c 'import sys; sys.path.insert(0, sys.argv[1]); import winebuild; print(winebuild.arch_of(sys.argv[2]))' "$top/tests/app" "$bench")}

work=$(mktemp -d "${TMPDIR:-/tmp}/fetchbench.XXXXXX")
server_pid=
cleanup() { [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

mkdir -p "$work/root/files" "$work/out"
head -c $((100 * 1024 * 1024)) /dev/urandom > "$work/root/files/big.bin"
python3 "$top/tools/updateserver/updateserver.py" --root "$work/root" --port 0 \
  --port-file "$work/port" 2>/dev/null &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
url="http://127.0.0.1:$(cat "$work/port")/files/big.bin"

echo "== $rounds rounds of $url (100 MiB); curl is native, the others run under Wine"
"$top/tools/wine-run.sh" "$bench" "$url" "$rounds" "Z:${work//\//\\}\\out" | tee "$work/wine.txt"

curl_times=()
for _ in $(seq "$rounds"); do
  t=$(curl -s -o "$work/out/curl.bin" -w '%{time_total}' "$url")
  curl_times+=("$(python3 -c "print(round($t * 1000, 1))")")
done
echo "curl ${curl_times[*]}"

python3 - "$work/wine.txt" "${curl_times[@]}" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]).read().splitlines():
    if line.startswith("summary "):
        f = line.split()
        rows[f[1]] = {"median": float(f[3]), "min": float(f[5]), "cpu": float(f[7])}
curl = [float(t) for t in sys.argv[2:]]
rows["curl"] = {"median": statistics.median(curl), "min": min(curl), "cpu": float("nan")}
bare = rows["bare"]
mbs = lambda ms: 100 * 1.048576 / (ms / 1000)
print("\nvs bare: against the bare loop on the calling thread; the downloader's worker is a thread")
print("of its own, so compare it with bare-thread too.")
print("\n| 100 MiB | median ms | MB/s | vs bare | fastest ms | vs bare | CPU ms | vs bare |")
print("|---|---|---|---|---|---|---|---|")
for name in ("bare", "bare-thread", "downloader", "downloader+bar", "curl"):
    r = rows[name]
    print("| %s | %.0f | %.1f | %+.1f %% | %.0f | %+.1f %% | %.0f | %+.1f %% |" % (
        name, r["median"], mbs(r["median"]), 100 * (r["median"] / bare["median"] - 1),
        r["min"], 100 * (r["min"] / bare["min"] - 1), r["cpu"], 100 * (r["cpu"] / bare["cpu"] - 1)))
PY
