#!/bin/bash
# Builds the fuzz targets and runs each in turn for a while, one process (one core).
#   fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]
#     (default: 300 s; uncrunch ziplist decoders members single par2 lists)
# Corpora live in fuzz/corpus-TARGET/ (seeded from the shared test archives, and par2's from
# fuzz/seeds-par2/, single's from fuzz/seeds-single/, lists' from fuzz/seeds-lists/; not committed);
# crashes and timeouts land as fuzz/crash-*; copy them into fuzz/regressions/ to keep them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
seconds=${1:-300}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(uncrunch ziplist decoders members single par2 lists)
build=${FUZZ_BUILD:-$root/build-fuzz}
testdata=${SUNDRIX_TESTDATA:-$root/../shared/testdata}

CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j1 >/dev/null

for target in "${targets[@]}"; do
  corpus=$here/corpus-$target
  mkdir -p "$corpus"
  if [ "$target" = par2 ]; then
    cp -n "$here"/seeds-par2/* "$corpus"/ 2>/dev/null || true
  elif [ "$target" = single ]; then
    cp -n "$here"/seeds-single/* "$corpus"/ 2>/dev/null || true
  elif [ "$target" = lists ]; then
    cp -n "$here"/seeds-lists/* "$corpus"/ 2>/dev/null || true
  elif [ "$target" = members ] && [ -d "$testdata/zip" ]; then
    # Its inputs start with the byte that chooses the flags.
    for f in "$testdata"/zip/*.zip; do
      [ -e "$corpus/${f##*/}" ] || { printf '\0'; cat "$f"; } >"$corpus/${f##*/}"
    done
  elif [ "$target" != decoders ] && [ "$target" != lists ] && [ -d "$testdata/zip" ]; then
    cp -n "$testdata"/zip/*.zip "$corpus"/ 2>/dev/null || true
  fi
  [ -d "$here/regressions" ] && cp -n "$here"/regressions/* "$corpus"/ 2>/dev/null || true
  echo "== $target: ${seconds}s"
  "$build/fuzz_$target" "$corpus" -max_total_time="$seconds" \
    -timeout=20 -rss_limit_mb=2048 -max_len=131072 -print_final_stats=1 \
    -artifact_prefix="$here/crash-$target-" 2>&1 | grep -E "^(#[0-9]+ *(INITED|DONE|pulse))|stat::|ERROR|SUMMARY|Test unit written" || true
done
