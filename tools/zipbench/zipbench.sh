#!/usr/bin/env bash
# Extraction benchmark: talvo-zip against Info-ZIP unzip and bsdtar (libarchive) on a ~100 MB
# deflated archive of mixed files, a stored archive and an archive of 5000 small files, in one
# run; then the Windows build of talvo-zip under Wine on the same archives.
#   tools/zipbench/zipbench.sh [WORKDIR]      (default build/zipbench; archives are made there once)
# Environment:
#   ZIPBENCH_BUILD  native-bench build folder (default build/native-bench; configured and built here)
#   ZIPBENCH_WIN32  Windows build folder holding tools/talvo-zip/talvo-zip.exe and wine/template
#                   (default: the build that runs here, tools/windows-build.sh; the Wine part is
#                   skipped when the program is missing)
#   ZIPBENCH_OUT    extraction folder (default on /dev/shm, so disk noise stays out of the ratios)
#   ZIPBENCH_RUNS   timed runs per command (default 5)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"
# The Wine part needs an X display.
[ -n "${DISPLAY:-}" ] || exec tools/with-display.sh "$0" "$@"
work=$(realpath -m "${1:-build/zipbench}")
build=$(realpath -m "${ZIPBENCH_BUILD:-build/native-bench}")
win32=$(realpath -m "${ZIPBENCH_WIN32:-build/$(tools/windows-build.sh --preset || echo win32)}")
runs=${ZIPBENCH_RUNS:-5}
if [ -n "${ZIPBENCH_OUT:-}" ]; then out=$ZIPBENCH_OUT
elif [ -d /dev/shm ]; then out=/dev/shm/zipbench-out.$$
else out=$work/out; fi
mkdir -p "$work"

cmake --preset native-bench -B "$build" >/dev/null
cmake --build "$build" --target talvo-zip >/dev/null
talvozip=$build/tools/talvo-zip/talvo-zip

data=$work/data
stamp=$data/.made-by-$(sha1sum tools/zipbench/make_bench_archives.py | cut -c1-12)
if [ ! -f "$stamp" ]; then
  echo "making the archives in $data"
  rm -rf "$data"
  python3 tools/zipbench/make_bench_archives.py "$data"
  touch "$stamp"
fi

cleanup() {
  rm -rf "$out"
  if [ -n "${wine_clone:-}" ]; then WINEPREFIX=$wine_clone wineserver -k >/dev/null 2>&1 || true; rm -rf "$wine_clone"; fi
}
trap cleanup EXIT

fresh="sh -c 'rm -rf $out && mkdir -p $out'"
peak_kb() {  # peak resident memory of one run into a fresh folder
  sh -c "rm -rf $out && mkdir -p $out"
  /usr/bin/time -f %M -o "$work/peak" "$@" >/dev/null 2>&1 || true
  cat "$work/peak"
}

archives=(mixed stored small)
for a in "${archives[@]}"; do
  zip=$data/$a.zip
  echo "== $a.zip ($(du -m "$zip" | cut -f1) MB)"
  hyperfine -N -w 1 -r "$runs" --style basic --prepare "$fresh" --export-json "$work/$a.json" \
    -n talvo-zip "$talvozip extract $zip $out" \
    -n unzip "unzip -q -o $zip -d $out" \
    -n bsdtar "bsdtar -xf $zip -C $out" >/dev/null
  # Every tool must have produced the same files.
  sh -c "rm -rf $out && mkdir -p $out/t $out/b"
  "$talvozip" extract "$zip" "$out/t" >/dev/null
  bsdtar -xf "$zip" -C "$out/b"
  diff -rq "$out/t" "$out/b" >/dev/null || { echo "talvo-zip and bsdtar disagree on $a.zip"; exit 1; }
  {
    echo "talvo-zip $(peak_kb "$talvozip" extract "$zip" "$out")"
    echo "unzip $(peak_kb unzip -q -o "$zip" -d "$out")"
    echo "bsdtar $(peak_kb bsdtar -xf "$zip" -C "$out")"
  } >"$work/$a.peak"
done

# The Windows program under Wine, in one kept clone of the template prefix with a running
# wineserver, so that the times show extraction and Wine's start rather than prefix creation.
exe=$win32/tools/talvo-zip/talvo-zip.exe
if [ -f "$exe" ]; then
  template=${TALVO_WINE_TEMPLATE:-$win32/wine/template}
  export TALVO_WINE_ARCH=${TALVO_WINE_ARCH:-$(python3 -c 'import sys; sys.path.insert(0, "tests/app"); import winebuild; print(winebuild.arch_of(sys.argv[1]))' "$exe")}
  wine_clone=$(tools/wine-clone.sh "$template")
  export WINEPREFIX=$wine_clone TALVO_WINE_PREFIX=$wine_clone
  . tools/wine-env.sh
  wineserver -p
  winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
  # Wine's own start-up: the program refusing its (missing) arguments.
  hyperfine -N -w 1 -r "$runs" --style basic -i --export-json "$work/wine-start.json" \
    -n wine-start "tools/wine-run.sh $exe" >/dev/null
  for a in "${archives[@]}"; do
    hyperfine -N -w 1 -r "$runs" --style basic --prepare "$fresh" --export-json "$work/wine-$a.json" \
      -n talvo-zip.exe "tools/wine-run.sh $exe extract '$(winpath "$data/$a.zip")' '$(winpath "$out")'" >/dev/null
    cmp -s "$out/$(unzip -Z1 "$data/$a.zip" | head -n 1)" <(unzip -p "$data/$a.zip" "$(unzip -Z1 "$data/$a.zip" | head -n 1)") ||
      { echo "talvo-zip.exe gave a different first file for $a.zip"; exit 1; }
    echo "talvo-zip.exe $(peak_kb tools/wine-run.sh "$exe" extract "$(winpath "$data/$a.zip")" "$(winpath "$out")")" >"$work/wine-$a.peak"
  done
fi

python3 - "$work" "${archives[@]}" <<'PY'
import json, os, sys
work, archives = sys.argv[1], sys.argv[2:]
def load(name):
    with open(os.path.join(work, name + ".json")) as f:
        return {r["command"]: r for r in json.load(f)["results"]}
def peaks(name):
    path = os.path.join(work, name + ".peak")
    if not os.path.exists(path):
        return {}
    return dict(line.split() for line in open(path) if line.strip())
print()
print(f"{'archive':<8} {'tool':<14} {'mean s':>8} {'± s':>6} {'time / talvo-zip':>17} {'peak RSS MB':>12}")
for a in archives:
    r, p = load(a), peaks(a)
    base = r["talvo-zip"]["mean"]
    for tool in ("talvo-zip", "unzip", "bsdtar"):
        m = r[tool]
        print(f"{a:<8} {tool:<14} {m['mean']:8.3f} {m['stddev']:6.3f} {m['mean'] / base:17.2f} "
              f"{int(p.get(tool, 0)) / 1024:12.1f}")
print()
if os.path.exists(os.path.join(work, "wine-start.json")):
    start = load("wine-start")["wine-start"]["mean"]
    print(f"Windows build under Wine (Wine start-up alone: {start:.3f} s)")
    print(f"{'archive':<8} {'mean s':>8} {'less start-up':>14} {'/ native':>9} {'/ bsdtar':>9} {'peak RSS MB':>12}")
    for a in archives:
        w = load("wine-" + a)["talvo-zip.exe"]["mean"]
        r, p = load(a), peaks("wine-" + a)
        net = w - start
        print(f"{a:<8} {w:8.3f} {net:14.3f} {net / r['talvo-zip']['mean']:9.2f} "
              f"{net / r['bsdtar']['mean']:9.2f} {int(p.get('talvo-zip.exe', 0)) / 1024:12.1f}")
PY
