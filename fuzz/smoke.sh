#!/bin/bash
# A short check that the fuzz targets still build and run, for the test command: every
# saved input in fuzz/regressions/ is replayed through each target, then each target
# fuzzes for a few seconds from a throwaway corpus. Needs clang++.
#   fuzz/smoke.sh [SECONDS_PER_TARGET]      (default: 3)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
seconds=${1:-3}
build=${FUZZ_BUILD:-$root/build-fuzz}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" >/dev/null

shopt -s nullglob
saved=("$here"/regressions/*)
for target in uncrunch ziplist decoders members single par2 lists; do
  if [ ${#saved[@]} -gt 0 ] && ! "$build/fuzz_$target" "${saved[@]}" >"$work/log" 2>&1; then
    grep -E "ERROR|SUMMARY|Running:" "$work/log" | tail -20
    echo "fuzz smoke: $target fails on a saved input" >&2
    exit 1
  fi
  mkdir "$work/corpus-$target"
  seeds=("$here/regressions")
  [ "$target" = par2 ] && seeds+=("$here/seeds-par2")
  [ "$target" = single ] && seeds+=("$here/seeds-single")
  [ "$target" = lists ] && seeds+=("$here/seeds-lists")
  if ! "$build/fuzz_$target" "$work/corpus-$target" "${seeds[@]}" -max_total_time="$seconds" \
      -timeout=20 -rss_limit_mb=2048 -max_len=131072 -artifact_prefix="$here/crash-$target-" \
      >"$work/log" 2>&1; then
    grep -E "ERROR|SUMMARY|Test unit written" "$work/log" | tail -20
    echo "fuzz smoke: $target found a fault (kept as fuzz/crash-$target-*)" >&2
    exit 1
  fi
  echo "fuzz smoke: $target passes ($(grep -oE '^#[0-9]+' "$work/log" | tail -1 | tr -d '#') runs)"
done
