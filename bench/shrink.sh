#!/bin/sh
# Shrink throughput against gzip -6 and gzip -1, same input, same run. Run by hand:
#   bench/shrink.sh [MiB]        (default 64)
# Builds a Release tree beside the sources (build-bench-shrink) and runs bench_shrink.
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
build="$src/build-bench-shrink"
mib=${1:-64}
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSUNDRIX_GUI=OFF \
  -DSUNDRIX_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_shrink -j2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/bench_shrink" --dir "$work" --mib "$mib"
