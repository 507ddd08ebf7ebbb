#!/usr/bin/env bash
# Builds emulated32-preload.c for i386 (once, again when the source changes) and prints the
# library's path: build/emulated32/emulated32-preload.so. Safe to call concurrently.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$here/emulated32-preload.c
out_dir=$(realpath -m "$here/../../build/emulated32")
lib=$out_dir/emulated32-preload.so
if [ ! -f "$lib" ] || [ "$src" -nt "$lib" ]; then
  mkdir -p "$out_dir"
  exec 9>"$out_dir/.build.lock"
  flock 9
  if [ ! -f "$lib" ] || [ "$src" -nt "$lib" ]; then
    if ! err=$(gcc -m32 -shared -fPIC -O2 -Wall -Wextra -Werror -o "$lib.tmp" "$src" -ldl 2>&1); then
      echo "emulated32: cannot build the signal wrapper for i386 (gcc-multilib missing?): $(head -n 1 <<<"$err")" >&2
      exit 1
    fi
    mv -f "$lib.tmp" "$lib"
  fi
fi
printf '%s\n' "$lib"
