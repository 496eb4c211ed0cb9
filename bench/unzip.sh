#!/bin/bash
# Extraction speed of sundrix-cli against Info-ZIP unzip and 7-Zip, measured in one run.
#   bench/unzip.sh [MEBIBYTES]        (default 64)
# Shrunk: a deterministic corpus packed with `sundrix-cli zip` (the only writer of Shrink
# here). Reduced and imploded: the largest such members of the shared test archives, copied
# into one archive until it holds as many bytes as the corpus. Each archive is
#   tested    decoded in memory with the CRC checked: bench_unzip test, unzip -t, 7z t;
#   extracted into files in a fresh folder: sundrix-cli unzip, unzip -d, 7z x;
#   piped     to /dev/null by the peers (unzip -p, 7z e -so), for reference.
# No peer reads Reduce; unzip and 7-Zip read Shrink and Implode.
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
  printf "  %-44s %9.4f s  %8s MB/s\n" "$label" "$bestTime" "$(rate "$bestTime" "$bytes")"
}
ratio() {  # ratio A B: how many times faster A is than B
  awk -v a="${best[$1]}" -v b="${best[$2]}" 'BEGIN { printf "  %s / %s: %.2fx the speed\n", "'"$1"'", "'"$2"'", b / a }'
}

echo "== Shrink: $mib MiB corpus"
"$build/bench/bench_unzip" corpus "$work/corpus.txt" "$mib"
"$cli" zip "$work/shrunk.zip" "$work/corpus.txt" >/dev/null
"$cli" list "$work/shrunk.zip"
bytes=$((mib << 20))
# compare ARCHIVE BYTES PEERS(yes/no) TAG
compare() {
  local archive=$1 bytes=$2 peers=$3 tag=$4
  rm -rf "$work"/x?
  measure "sundrix test $tag" "$bytes" 1 "$build/bench/bench_unzip" test "$archive"
  measure "sundrix-cli unzip $tag" "$bytes" 1 "$cli" unzip "$archive" --dir "$work/x1"
  if [ "$peers" = yes ]; then
    measure "unzip -t $tag" "$bytes" 1 unzip -tqq "$archive"
    measure "7z t $tag" "$bytes" 1 7z t -bd "$archive"
    measure "unzip -d $tag" "$bytes" 1 unzip -o -qq "$archive" -d "$work/x2"
    measure "7z x $tag" "$bytes" 1 7z x -y -bd "-o$work/x3" "$archive"
    measure "unzip -p $tag" "$bytes" 1 unzip -p "$archive"
    measure "7z e -so $tag" "$bytes" 1 7z e -so "$archive"
    ratio "sundrix test $tag" "unzip -t $tag"
    ratio "sundrix test $tag" "7z t $tag"
    ratio "sundrix-cli unzip $tag" "unzip -d $tag"
    ratio "sundrix-cli unzip $tag" "7z x $tag"
  fi
}
compare "$work/shrunk.zip" $bytes yes shrink
cmp "$work/corpus.txt" "$work/x1/corpus.txt" && echo "  output identical to the corpus"

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
  for row in "sh_reduce4.zip sh_mixed_256k.bin 262144 reduce" \
              "sh_reduce2.zip sh_text_64k.txt 65536 reduce" \
              "sh_implode_8k3.zip sh_text_64k.txt 65536 implode" \
              "sh_implode_4k2.zip sh_text_64k.txt 65536 implode"; do
    read -r archive member size kind <<<"$row"
    copies=$(((mib << 20) / size))
    replicate "$testdata/$archive" "$member" "$copies" "$work/$kind.zip"
    bytes=$((copies * size))
    echo "== $kind: $copies copies of $member from $archive ($bytes bytes)"
    compare "$work/$kind.zip" $bytes "$([ "$kind" = implode ] && echo yes || echo no)" "$kind-${archive%.zip}"
    cmp "$work/x1/00000_$member" "$testdata/inputs/$member" && echo "  output identical to the original"
  done
fi
