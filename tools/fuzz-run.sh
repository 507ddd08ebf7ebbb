#!/usr/bin/env bash
# Bounded libFuzzer pass: fuzz-run.sh FUZZER SECONDS WORKDIR [SEED_DIR...]
# Copies the seed corpora into WORKDIR/corpus and fuzzes for SECONDS; crashes land in WORKDIR.
set -euo pipefail
fuzzer=$1 seconds=$2 work=$3; shift 3
mkdir -p "$work/corpus"
for seeds in "$@"; do
  [ -d "$seeds" ] && cp -r "$seeds/." "$work/corpus/"
done
cd "$work"
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/" "$work/corpus"
