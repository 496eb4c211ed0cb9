#!/usr/bin/env bash
# Splits 64 MiB of mixed data into 4 parts with the compress option, once on every usable
# core and once pinned to one core (`taskset -c 0`), alternating, and prints the median
# wall times and their ratio (the archives of both runs are compared too).
# Usage: bash bench/parallel_zip.sh [BUILD_DIR] [SIZE_MiB] [RUNS]
set -euo pipefail
build=${1:-build/release}
size_mib=${2:-64}
runs=${3:-5}
cli="$build/cli/sundrix-cli"
[ -x "$cli" ] || { echo "build $cli first (cmake --preset release && cmake --build build/release)"; exit 1; }
command -v taskset >/dev/null || { echo "taskset (util-linux) is needed"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/sundrix-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Mixed data, deterministic: blocks of random bytes between blocks of repetitive text, so
# that the compressor meets both kinds of data in every part.
python3 - "$work/input.bin" "$size_mib" <<'PY'
import random, sys
path, mib = sys.argv[1], int(sys.argv[2])
r = random.Random(13)
words = [bytes(r.choice(b"etaoinshrdlu") for _ in range(r.randint(2, 9))) for _ in range(400)]
with open(path, "wb") as out:
    left = mib * 1048576
    while left > 0:
        n = min(left, 262144)
        if r.random() < 0.5:
            block = r.randbytes(n)
        else:
            block = b" ".join(r.choice(words) for _ in range(n // 4))[:n]
            block += b"x" * (n - len(block))
        out.write(block)
        left -= n
PY

time_split() {  # out folder, command prefix...: prints seconds
  local out=$1; shift
  rm -rf "$out"; mkdir "$out"
  local t
  t=$( { /usr/bin/time -f '%e' "$@" "$cli" split "$work/input.bin" --parts 4 --zip --out "$out" -q 2>&1 >/dev/null; } | tail -1)
  echo "$t"
}

echo "input $size_mib MiB mixed, 4 parts with --zip, $runs runs each, alternating; $(nproc) cores, load: $(cut -d' ' -f1-3 /proc/loadavg)"
all=() one=()
for ((run = 1; run <= runs; run++)); do
  all+=("$(time_split "$work/all")")
  one+=("$(time_split "$work/one" taskset -c 0)")
done
# Both runs wrote the same archives, apart from the parts' times (one member each: the
# local header's time and date at 10..13, the central header's at 12..15).
python3 - "$work/all" "$work/one" <<'PY'
import os, struct, sys
def masked(path):
    data = bytearray(open(path, "rb").read())
    data[10:14] = bytes(4)
    central = struct.unpack_from("<I", data, len(data) - 6)[0]
    data[central + 12:central + 16] = bytes(4)
    return bytes(data)
names = sorted(n for n in os.listdir(sys.argv[1]) if n.endswith(".zip"))
assert names == sorted(n for n in os.listdir(sys.argv[2]) if n.endswith(".zip")), "different archives"
for n in names:
    assert masked(os.path.join(sys.argv[1], n)) == masked(os.path.join(sys.argv[2], n)), n
print(f"the {len(names)} archives of both runs are the same")
PY
python3 - "${all[*]}" "${one[*]}" <<'PY'
import statistics, sys
all_cores = [float(x) for x in sys.argv[1].split()]
one_core = [float(x) for x in sys.argv[2].split()]
a, o = statistics.median(all_cores), statistics.median(one_core)
print(f"all cores:          median {a:6.2f} s  (runs {' '.join(f'{x:.2f}' for x in all_cores)})")
print(f"one core (taskset): median {o:6.2f} s  (runs {' '.join(f'{x:.2f}' for x in one_core)})")
print(f"time ratio all/one: {a / o:.2f} (at most 0.6 is the target)")
PY
