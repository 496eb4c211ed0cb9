#!/usr/bin/env bash
# What proving a split and a join costs: `sundrix-cli split` with its checksum file against
# plain GNU `split` and against GNU `split` followed by `sha256sum` of the parts (what a
# careful user does by hand), and the verified `sundrix-cli join` against `sha256sum -c`
# followed by `cat`; also a join checked against another splitter's .crc file. All in the
# same run, median of 5 runs each, page cache warm.
# Usage: bash bench/checksum.sh [BUILD_DIR] [SIZE_MiB]
set -euo pipefail
build=${1:-build/release}
size_mib=${2:-1024}
. "$(dirname "$0")/common.sh"
mkdir -p "$work/s" "$work/p" "$work/j"
sync

median5() {  # prepare-command, command...: prints the median wall time of 5 runs
  local prepare=$1; shift
  local times=()
  for run in 1 2 3 4 5; do
    eval "$prepare"
    sync
    local t
    t=$( { /usr/bin/time -f '%e' "$@" 2>&1 >/dev/null; } | tail -1)
    times+=("$t")
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n 3p
}

clean_s='rm -f "$work"/s/*'
clean_p='rm -f "$work"/p/*'
t_sx=$(median5 "$clean_s" "$cli" split "$work/input.bin" --parts 3 --out "$work/s")
t_gnu=$(median5 "$clean_p" split -n 3 -d -a 3 --numeric-suffixes=1 "$work/input.bin" "$work/p/input.bin.")
t_gnusum=$(median5 "$clean_p" sh -c "split -n 3 -d -a 3 --numeric-suffixes=1 '$work/input.bin' '$work/p/input.bin.' && cd '$work/p' && sha256sum input.bin.0* input.bin > /dev/null")

# Joins: the checksummed parts of the last run above, and GNU split's parts with the sums
# a careful user keeps beside them.
"$cli" split "$work/input.bin" --parts 3 --out "$work/s" >/dev/null
(cd "$work/s" && sha256sum input.bin.00? > "$work/p.sums") >/dev/null
cp "$work/p.sums" "$work/p/parts.sha256"
t_jsx=$(median5 'rm -f "$work/j/out"' "$cli" join "$work/s/input.bin.001" --out "$work/j/out")
cmp "$work/input.bin" "$work/j/out"
t_jcat=$(median5 'rm -f "$work/j/out"' sh -c "cd '$work/p' && sha256sum -c --quiet parts.sha256 && cat input.bin.0* > '$work/j/out'")

# Another splitter's .crc beside plain parts: CRC-32 on the way.
crc=$(python3 -c "import zlib,sys; print('%08X' % zlib.crc32(open(sys.argv[1],'rb').read()))" "$work/input.bin")
rm -f "$work/p/parts.sha256"
printf 'filename=input.bin\r\nsize=%s\r\ncrc32=%s\r\n' "$(stat -c %s "$work/input.bin")" "$crc" >"$work/p/input.bin.crc"
t_jcrc=$(median5 'rm -f "$work/j/out"' "$cli" join "$work/p/input.bin.001" --out "$work/j/out")
cmp "$work/input.bin" "$work/j/out"
t_jplain=$(median5 'rm -f "$work/j/out"' sh -c "cat '$work'/p/input.bin.0* > '$work/j/out'")

python3 - "$size_mib" "$t_sx" "$t_gnu" "$t_gnusum" "$t_jsx" "$t_jcat" "$t_jcrc" "$t_jplain" \
  "$(cut -d' ' -f1-3 /proc/loadavg)" "$(nproc)" <<'PY'
import sys
mib = int(sys.argv[1]); sx, gnu, gnusum, jsx, jcat, jcrc, jplain = map(float, sys.argv[2:9])
r = lambda a, b: a / b if b else float("nan")
print(f"input {mib} MiB in 3 parts, median of 5 runs, page cache warm;"
      f" load after: {sys.argv[9]} on {sys.argv[10]} cores")
print(f"split with checksum file   {sx:6.2f} s")
print(f"GNU split                  {gnu:6.2f} s   ratio {r(sx, gnu):.2f} (goal 1.0)")
print(f"GNU split + sha256sum      {gnusum:6.2f} s   ratio {r(sx, gnusum):.2f} (goal at most 0.5)")
print(f"verified join              {jsx:6.2f} s")
print(f"sha256sum -c + cat         {jcat:6.2f} s   ratio {r(jsx, jcat):.2f} (goal at most 0.5)")
print(f"join checked by .crc       {jcrc:6.2f} s   against plain cat {jplain:.2f} s: ratio {r(jcrc, jplain):.2f}")
PY
