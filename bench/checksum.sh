#!/usr/bin/env bash
# What proving a split and a join costs: `sundrix-cli split` with its checksum file against
# plain GNU `split` and against GNU `split` followed by `sha256sum` of the parts (what a
# careful user does by hand), and the verified `sundrix-cli join` against `sha256sum -c`
# followed by `cat`; also a join checked against another splitter's .crc file. All in the
# same run, the runs of the tools alternating, medians, page cache warm.
# Usage: bash bench/checksum.sh [BUILD_DIR] [SIZE_MiB] [RUNS]
set -euo pipefail
build=${1:-build/release}
size_mib=${2:-1024}
. "$(dirname "$0")/common.sh"
mkdir -p "$work/s" "$work/p" "$work/j"
sync

runs=${3:-7}
now() { date +%s%N; }
timed() {  # command...: prints its wall time in seconds
  local t0 t1
  t0=$(now); "$@" >/dev/null; t1=$(now)
  echo "$(( (t1 - t0) / 1000 ))e-6"
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# The runs alternate between the tools, so that a change of the machine's pace during
# the benchmark falls on all of them alike.
split_sx() { rm -f "$work"/s/*; sync; timed "$cli" split "$work/input.bin" --parts 3 --out "$work/s"; }
split_gnu() {
  rm -f "$work"/p/*; sync
  timed split -n 3 -d -a 3 --numeric-suffixes=1 "$work/input.bin" "$work/p/input.bin."
}
split_gnusum() {
  rm -f "$work"/p/*; sync
  timed sh -c "split -n 3 -d -a 3 --numeric-suffixes=1 '$work/input.bin' '$work/p/input.bin.' && cd '$work/p' && sha256sum input.bin.0* ../input.bin > /dev/null"
}
# The floor under a checksummed split here (bench_copy_floor): one SHA-256 stream over the
# input, which the whole file's digest needs and no split can shorten; and this split's
# digest work alone and while a plain copy of the input runs beside it (both need memory).
floor="$build/bench/bench_copy_floor"
if [ -x "$floor" ] && "$floor" one "$work/input.bin" >/dev/null 2>&1; then
  floor_one() { "$floor" one "$work/input.bin"; }
  floor_hash() { "$floor" split "$work/input.bin"; }
  floor_both() {
    rm -f "$work/floor.copy"; sync
    "$floor" copy "$work/input.bin" "$work/floor.copy"
    rm -f "$work/floor.copy"
  }
else
  floor_one() { echo 0; }
  floor_hash() { echo 0; }
  floor_both() { echo 0; }
fi
# One untimed round first: the first writes after the input is made are slow on some
# machines (a virtual one backs the memory they take only when it is first touched).
split_sx >/dev/null; split_gnu >/dev/null; floor_both >/dev/null
sx=() gnu=() gnusum=() fone=() fhash=() fboth=()
for ((run = 1; run <= runs; run++)); do
  sx+=("$(split_sx)"); gnu+=("$(split_gnu)"); gnusum+=("$(split_gnusum)")
  fone+=("$(floor_one)"); fhash+=("$(floor_hash)"); fboth+=("$(floor_both)")
done
t_sx=$(median "${sx[@]}"); t_gnu=$(median "${gnu[@]}"); t_gnusum=$(median "${gnusum[@]}")
t_fone=$(median "${fone[@]}"); t_fhash=$(median "${fhash[@]}"); t_fboth=$(median "${fboth[@]}")

# Joins: the checksummed parts of the last run above, and GNU split's parts with the sums
# a careful user keeps beside them.
"$cli" split "$work/input.bin" --parts 3 --out "$work/s" >/dev/null
split -n 3 -d -a 3 --numeric-suffixes=1 "$work/input.bin" "$work/p/input.bin."
(cd "$work/s" && sha256sum input.bin.00? > "$work/p.sums") >/dev/null
cp "$work/p.sums" "$work/p/parts.sha256"
join_sx() { rm -f "$work/j/out"; sync; timed "$cli" join "$work/s/input.bin.001" --out "$work/j/out"; }
join_cat() {
  rm -f "$work/j/out"; sync
  timed sh -c "cd '$work/p' && sha256sum -c --quiet parts.sha256 && cat input.bin.0* > '$work/j/out'"
}
jsx=() jcat=()
for ((run = 1; run <= runs; run++)); do jsx+=("$(join_sx)"); jcat+=("$(join_cat)"); done
cmp "$work/input.bin" "$work/j/out"
t_jsx=$(median "${jsx[@]}"); t_jcat=$(median "${jcat[@]}")

# Another splitter's .crc beside plain parts: CRC-32 on the way.
crc=$(python3 -c "import zlib,sys; print('%08X' % zlib.crc32(open(sys.argv[1],'rb').read()))" "$work/input.bin")
rm -f "$work/p/parts.sha256"
printf 'filename=input.bin\r\nsize=%s\r\ncrc32=%s\r\n' "$(stat -c %s "$work/input.bin")" "$crc" >"$work/p/input.bin.crc"
join_crc() { rm -f "$work/j/out"; sync; timed "$cli" join "$work/p/input.bin.001" --out "$work/j/out"; }
join_plain() { rm -f "$work/j/out"; sync; timed sh -c "cat '$work'/p/input.bin.0* > '$work/j/out'"; }
jcrc=() jplain=()
for ((run = 1; run <= runs; run++)); do
  jcrc+=("$(join_crc)"); cmp "$work/input.bin" "$work/j/out"; jplain+=("$(join_plain)")
done
t_jcrc=$(median "${jcrc[@]}"); t_jplain=$(median "${jplain[@]}")

python3 - "$size_mib" "$t_sx" "$t_gnu" "$t_gnusum" "$t_jsx" "$t_jcat" "$t_jcrc" "$t_jplain" \
  "$(cut -d' ' -f1-3 /proc/loadavg)" "$(nproc)" "$runs" "$t_fone" "$t_fhash" "$t_fboth" \
  "${sx[*]}" "${gnu[*]}" <<'PY'
import sys
mib = int(sys.argv[1]); sx, gnu, gnusum, jsx, jcat, jcrc, jplain = map(float, sys.argv[2:9])
fone, fhash, fboth = map(float, sys.argv[12:15])
r = lambda a, b: a / b if b else float("nan")
print(f"input {mib} MiB in 3 parts, median of {sys.argv[11]} alternating runs, page cache warm;"
      f" load after: {sys.argv[9]} on {sys.argv[10]} cores")
print(f"split with checksum file   {sx:6.2f} s")
print(f"GNU split                  {gnu:6.2f} s   ratio {r(sx, gnu):.2f} (goal 1.0)")
print(f"GNU split + sha256sum      {gnusum:6.2f} s   ratio {r(sx, gnusum):.2f} (goal at most 0.5)")
print("  runs of the split:", " ".join(f"{float(t):.2f}" for t in sys.argv[15].split()),
      "| of GNU split:", " ".join(f"{float(t):.2f}" for t in sys.argv[16].split()))
if fone:
    print(f"floor: one SHA-256 stream  {fone:6.2f} s   (no split that writes the whole file's digest ends sooner):"
          f" GNU split is {r(gnu, fone):.2f} of it")
    print(f"  this split's digests alone {fhash:.2f} s, beside a plain copy {fboth:.2f} s:"
          f" the split is {r(sx, fboth):.2f} of that")
else:
    print("floor: not measured (no bench_copy_floor, or no SHA instructions here)")
print(f"verified join              {jsx:6.2f} s")
print(f"sha256sum -c + cat         {jcat:6.2f} s   ratio {r(jsx, jcat):.2f} (goal at most 0.5)")
print(f"join checked by .crc       {jcrc:6.2f} s   against plain cat {jplain:.2f} s: ratio {r(jcrc, jplain):.2f}")
PY
