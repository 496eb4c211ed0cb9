#!/usr/bin/env bash
# Joins the parts of a 1 GiB file with `sundrix-cli join` and with `cat p.* > out`, in the
# same run, and prints throughput, the ratio of wall times and peak memory.
# Usage: bash bench/join.sh [BUILD_DIR] [SIZE_MiB] [PARTS]
set -euo pipefail
build=${1:-build/release}
size_mib=${2:-1024}
parts=${3:-7}
. "$(dirname "$0")/common.sh"
"$cli" split "$work/input.bin" --parts "$parts" --no-checksum >/dev/null
sync

measure() {  # label, command...: prints seconds and peak RSS (KiB)
  local label=$1; shift
  local best=999999 rss=0
  for run in 1 2 3; do
    rm -f "$work/out"; sync
    local out
    out=$( { /usr/bin/time -f '%e %M' "$@" 2>&1 >/dev/null; } | tail -1)
    local t=${out% *} m=${out#* }
    best=$(python3 -c "print(min($best, $t))")
    rss=$m
  done
  echo "$label $best $rss"
}

read -r _ t_cat rss_cat < <(measure cat sh -c "cat '$work'/input.bin.0* > '$work/out'")
cmp "$work/input.bin" "$work/out"
read -r _ t_sx rss_sx < <(measure sundrix "$cli" join "$work/input.bin.001" --out "$work/out")
cmp "$work/input.bin" "$work/out"

python3 - "$size_mib" "$t_cat" "$rss_cat" "$t_sx" "$rss_sx" <<'PY'
import sys
mib, t_cat, rss_cat, t_sx, rss_sx = int(sys.argv[1]), *map(float, sys.argv[2:])
rate = lambda t: mib / t if t > 0 else float("inf")
print(f"input {mib} MiB, best of 3 runs, page cache warm")
print(f"cat:         {t_cat:6.2f} s  {rate(t_cat):8.1f} MiB/s  peak RSS {rss_cat/1024:6.1f} MiB")
print(f"sundrix-cli: {t_sx:6.2f} s  {rate(t_sx):8.1f} MiB/s  peak RSS {rss_sx/1024:6.1f} MiB")
print(f"time ratio sundrix/cat: {t_sx / t_cat if t_cat else float('nan'):.2f} (below 1 is faster)")
PY
