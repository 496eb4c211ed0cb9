#!/usr/bin/env bash
# Splits a 1 GiB file into 3 parts and into 256 MiB parts with `sundrix-cli split` and with
# GNU `split`, in the same run, and prints throughput, the ratio of wall times and peak
# memory; the 3 parts both without and with the checksum file (the default), against the
# same GNU split. Usage: bash bench/split.sh [BUILD_DIR] [SIZE_MiB]
set -euo pipefail
build=${1:-build/release}
size_mib=${2:-1024}
. "$(dirname "$0")/common.sh"
sync

best_of_3() {  # command...: prints "seconds peakRSS_KiB" of the fastest run
  local best="" rss=0
  for run in 1 2 3; do
    rm -rf "$work/out"; mkdir "$work/out"; sync
    local out t m
    out=$( { /usr/bin/time -f '%e %M' "$@" 2>&1 >/dev/null; } | tail -1)
    t=${out% *}; m=${out#* }
    if [ -z "$best" ] || python3 -c "import sys; sys.exit(0 if $t < $best else 1)"; then best=$t; rss=$m; fi
  done
  echo "$best $rss"
}

part3=$(( (size_mib * 1048576) / 3 ))
report() {  # label, our seconds, our rss, peer seconds, peer rss
  python3 - "$size_mib" "$@" <<'PY'
import sys
mib = int(sys.argv[1]); label = sys.argv[2]
t_sx, rss_sx, t_peer, rss_peer = map(float, sys.argv[3:])
rate = lambda t: mib / t if t > 0 else float("inf")
print(f"{label}")
print(f"  GNU split:   {t_peer:6.2f} s  {rate(t_peer):8.1f} MiB/s  peak RSS {rss_peer/1024:6.1f} MiB")
print(f"  sundrix-cli: {t_sx:6.2f} s  {rate(t_sx):8.1f} MiB/s  peak RSS {rss_sx/1024:6.1f} MiB")
print(f"  time ratio sundrix/split: {t_sx / t_peer if t_peer else float('nan'):.2f} (at most 1 is the target)")
PY
}

echo "input $size_mib MiB, best of 3 runs each, page cache warm"
read -r t1 r1 < <(best_of_3 "$cli" split "$work/input.bin" --parts 3 --out "$work/out" --no-checksum)
read -r p1 q1 < <(best_of_3 split -n 3 -d -a 3 "$work/input.bin" "$work/out/input.bin.")
report "3 parts, --no-checksum" "$t1" "$r1" "$p1" "$q1"
read -r t3 r3 < <(best_of_3 "$cli" split "$work/input.bin" --parts 3 --out "$work/out")
report "3 parts with the checksum file (the default)" "$t3" "$r3" "$p1" "$q1"
read -r t2 r2 < <(best_of_3 "$cli" split "$work/input.bin" --size 256M --out "$work/out" --no-checksum)
read -r p2 q2 < <(best_of_3 split -b 256M -d -a 3 "$work/input.bin" "$work/out/input.bin.")
report "256 MiB parts, --no-checksum" "$t2" "$r2" "$p2" "$q2"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"

# Same bytes as a check that both really split: the first part of the last run.
"$cli" split "$work/input.bin" --size 256M --out "$work/out" >/dev/null
cmp <(head -c 268435456 "$work/input.bin") "$work/out/input.bin.001"
