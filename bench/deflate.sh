#!/usr/bin/env bash
# Deflate packing against gzip -6, same input, same run: CPU time (user + system) and
# output size, each as a ratio to gzip's. Run by hand:
#   bench/deflate.sh [MiB] [rounds]      (default 128 MiB, 3 rounds)
# Builds a Release tree beside the sources (build-bench-deflate). The input is half text
# (the system's C headers, in name order) and half random bytes (AES-CTR keystream), in
# pieces of odd sizes so that no piece starts on a block boundary of either packer.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build="$src/build-bench-deflate"
mib=${1:-128}
rounds=${2:-3}
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSUNDRIX_GUI=OFF \
  -DSUNDRIX_TESTS=OFF >/dev/null
cmake --build "$build" --target sundrix-cli -j2 >/dev/null
cli="$build/cli/sundrix-cli"
work=$(mktemp -d "${TMPDIR:-/tmp}/sundrix-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

half=$((mib * 1048576 / 2))
{ find /usr/include -type f -name '*.h' -print0 | sort -z | xargs -0 cat 2>/dev/null || true; } |
  head -c "$half" >"$work/text"
head -c "$half" </dev/zero | openssl enc -aes-128-ctr -nosalt -pass pass:sundrix-bench \
  2>/dev/null >"$work/noise"
python3 - "$work" <<'PY'
import sys
w = sys.argv[1]
text = open(w + "/text", "rb").read()
noise = open(w + "/noise", "rb").read()
out, t, n = [], 0, 0
while t < len(text) or n < len(noise):
    out.append(text[t:t + 1000003]); t += 1000003
    out.append(noise[n:n + 777781]); n += 777781
open(w + "/input.bin", "wb").write(b"".join(out))
PY
size=$(stat -c %s "$work/input.bin")
echo "input: $size bytes, $((size / 1048576)) MiB mixed text and random bytes; $(nproc) cores"

cpu() {  # CPU seconds (user + system) of the command
  local TIMEFORMAT='%U %S'
  { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ print $1 + $2 }'
}
for round in $(seq "$rounds"); do
  rm -f "$work/parts.zip"
  ours=$(cpu "$cli" zip -q --deflate "$work/parts.zip" "$work/input.bin")
  gz=$(cpu sh -c "gzip -6 -c '$work/input.bin' >'$work/input.gz'")
  ours_size=$(stat -c %s "$work/parts.zip")
  gz_size=$(stat -c %s "$work/input.gz")
  awk -v r="$round" -v o="$ours" -v g="$gz" -v os="$ours_size" -v gs="$gz_size" 'BEGIN {
    printf "round %d: deflate %.2f s, %d bytes; gzip -6 %.2f s, %d bytes\n", r, o, os, g, gs
    printf "  CPU time ratio %.3f (target <= 0.5), size ratio %.4f (target <= 1.02)\n", o / g, os / gs
  }'
done
