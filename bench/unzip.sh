#!/bin/bash
# Extraction speed of sundrix-cli against Info-ZIP unzip and 7-Zip, measured in one run.
#   bench/unzip.sh [MEBIBYTES]        (default 64)
# Shrunk: a deterministic corpus packed with `sundrix-cli zip` (the only writer of Shrink
# here), extracted to a file by each tool and to stdout by the peers. Reduced and imploded:
# the largest such members of the shared test archives, copied into one archive until it
# holds as many bytes as the corpus (no peer reads Reduce; unzip and 7-Zip read Implode).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mib=${1:-64}
build=${BENCH_BUILD:-$root/build-bench}
testdata=${SUNDRIX_TESTDATA:-$root/../shared/testdata}/zip
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSUNDRIX_GUI=OFF \
  -DSUNDRIX_TESTS=OFF >/dev/null
cmake --build "$build" --target sundrix-cli bench_unzip -j2 >/dev/null
cli=$build/cli/sundrix-cli

now() { date +%s.%N; }
# seconds BYTES -> "MB/s"
rate() { awk -v s="$1" -v b="$2" 'BEGIN { printf "%.1f", b / s / 1e6 }'; }
declare -A best
# measure LABEL BYTES REPEAT COMMAND... : the best of three rounds of REPEAT runs
measure() {
  local label=$1 bytes=$2 repeat=$3
  shift 3
  local bestTime=
  for round in 1 2 3; do
    local t0 t1
    t0=$(now)
    for ((i = 0; i < repeat; i++)); do "$@" >/dev/null 2>&1 || { echo "$label failed"; return 1; }; done
    t1=$(now)
    local t
    t=$(awk -v a="$t0" -v b="$t1" -v r="$repeat" 'BEGIN { printf "%.6f", (b - a) / r }')
    if [ -z "$bestTime" ] || awk -v a="$t" -v b="$bestTime" 'BEGIN { exit !(a < b) }'; then bestTime=$t; fi
  done
  best[$label]=$bestTime
  printf "  %-34s %9.4f s  %8s MB/s\n" "$label" "$bestTime" "$(rate "$bestTime" "$bytes")"
}
ratio() {  # ratio A B: how many times faster A is than B
  awk -v a="${best[$1]}" -v b="${best[$2]}" 'BEGIN { printf "  %s / %s: %.2fx the speed\n", "'"$1"'", "'"$2"'", b / a }'
}

echo "== Shrink: $mib MiB corpus"
"$build/bench/bench_unzip" "$work/corpus.txt" "$mib"
"$cli" zip "$work/shrunk.zip" "$work/corpus.txt" >/dev/null
"$cli" list "$work/shrunk.zip"
bytes=$((mib << 20))
measure "sundrix-cli unzip (file)" $bytes 1 "$cli" unzip "$work/shrunk.zip" --dir "$work/o1"
measure "unzip -o -d (file)" $bytes 1 unzip -o -qq "$work/shrunk.zip" -d "$work/o2"
measure "7z x -o (file)" $bytes 1 7z x -y -bd "-o$work/o3" "$work/shrunk.zip"
measure "unzip -p (stdout)" $bytes 1 unzip -p "$work/shrunk.zip"
measure "7z e -so (stdout)" $bytes 1 7z e -so "$work/shrunk.zip"
cmp "$work/corpus.txt" "$work/o1/corpus.txt" && echo "  output identical to the corpus"
ratio "sundrix-cli unzip (file)" "unzip -o -d (file)"
ratio "sundrix-cli unzip (file)" "7z x -o (file)"

# replicate ARCHIVE MEMBER COPIES OUT: an archive holding COPIES copies of one member's
# compressed data (names 00000_MEMBER ...), with a central directory so that 7-Zip reads it.
replicate() {
  python3 - "$@" <<'PY'
import struct, sys
src, member, copies, out = sys.argv[1], sys.argv[2].encode(), int(sys.argv[3]), sys.argv[4]
data = open(src, 'rb').read()
pos = 0
while True:
    sig, ver, flag, meth, tim, dat, crc, csz, usz, nlen, xlen = struct.unpack_from('<IHHHHHIIIHH', data, pos)
    assert sig == 0x04034B50, 'member not found'
    name = data[pos + 30:pos + 30 + nlen]
    body = data[pos + 30 + nlen + xlen:pos + 30 + nlen + xlen + csz]
    pos += 30 + nlen + xlen + csz
    if name == member:
        break
local, central = bytearray(), bytearray()
for i in range(copies):
    n = b'%05d_' % i + member
    central += struct.pack('<IHHHHHHIIIHHHHHII', 0x02014B50, 10, ver, flag, meth, tim, dat, crc,
                           csz, usz, len(n), 0, 0, 0, 0, 0x20, len(local)) + n
    local += struct.pack('<IHHHHHIIIHH', 0x04034B50, ver, flag, meth, tim, dat, crc, csz, usz,
                         len(n), 0) + n + body
end = struct.pack('<IHHHHIIH', 0x06054B50, 0, 0, copies, copies, len(central), len(local), 0)
open(out, 'wb').write(local + central + end)
PY
}

if [ -d "$testdata" ]; then
  for spec in "sh_reduce4.zip sh_mixed_256k.bin 262144 reduce" \
              "sh_reduce2.zip sh_text_64k.txt 65536 reduce" \
              "sh_implode_8k3.zip sh_text_64k.txt 65536 implode" \
              "sh_implode_4k2.zip sh_text_64k.txt 65536 implode"; do
    read -r archive member size kind <<<"$spec"
    copies=$(((mib << 20) / size))
    replicate "$testdata/$archive" "$member" "$copies" "$work/$kind.zip"
    bytes=$((copies * size))
    echo "== $kind: $copies copies of $member from $archive ($bytes bytes)"
    rm -rf "$work"/r?
    measure "sundrix-cli $archive" $bytes 1 "$cli" unzip "$work/$kind.zip" --dir "$work/r1"
    cmp "$work/r1/00000_$member" "$testdata/inputs/$member" && echo "  output identical to the original"
    if [ "$kind" = implode ]; then
      measure "unzip $archive" $bytes 1 unzip -o -qq "$work/$kind.zip" -d "$work/r2"
      measure "7z $archive" $bytes 1 7z x -y -bd "-o$work/r3" "$work/$kind.zip"
      ratio "sundrix-cli $archive" "unzip $archive"
      ratio "sundrix-cli $archive" "7z $archive"
    fi
  done
fi
