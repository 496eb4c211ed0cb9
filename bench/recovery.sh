#!/usr/bin/env bash
# Makes recovery data for a file split into 8 parts, and rebuilds a lost part from it, with
# this program's recovery module (bench_recovery) and with `par2` (par2cmdline) in the same
# run; then the whole tool: `sundrix-cli split --recovery 1` against GNU split followed by
# `par2 create` of the same slice size and block count, and `sundrix-cli repair` against
# `par2 repair` of the same set. Prints wall and CPU seconds, peak memory and the time
# ratios (below 1: faster here).
# Usage: bash bench/recovery.sh [BUILD_DIR] [SIZE_MiB]
set -euo pipefail
build=${1:-build/release}
size_mib=${2:-256}
tool="$build/bench/bench_recovery"
[ -x "$tool" ] || { echo "build $tool first (cmake --build $build --target bench_recovery)"; exit 1; }
tool=$(realpath "$tool")
cli="$build/cli/sundrix-cli"
[ -x "$cli" ] || { echo "build $cli first (cmake --build $build --target sundrix-cli)"; exit 1; }
cli=$(realpath "$cli")
command -v par2 >/dev/null || { echo "par2 (par2cmdline) is not installed"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/sundrix-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# Input: deterministic and incompressible (AES-CTR keystream of zeros), in 8 parts.
head -c $((size_mib * 1048576)) </dev/zero | openssl enc -aes-128-ctr -nosalt \
  -pass pass:sundrix-bench 2>/dev/null >input.bin
split -n 8 -d -a 3 input.bin v.bin.
parts=(v.bin.00?)
part_bytes=$(stat -c %s v.bin.000)
rule_slice=$(( (part_bytes + 3) / 4 * 4 ))  # the slice size this program picks for parts
sync

best_of_3() {  # setup command, then the timed command: prints "wall user peakRSS_KiB"
  local setup=$1; shift
  local best="" line
  for run in 1 2 3; do
    eval "$setup"
    line=$( { /usr/bin/time -f '%e %U %M' "$@" 2>&1 >/dev/null || echo "FAILED: $*"; } | tail -1)
    case $line in FAILED*) echo "$line" >&2; exit 1 ;; esac
    if [ -z "$best" ] || awk -v a="${line%% *}" -v b="${best%% *}" 'BEGIN { exit !(a < b) }'; then best=$line; fi
  done
  echo "$best"
}

report() {  # label, our "wall user rss", peer "wall user rss"
  awk -v label="$1" -v mib="$size_mib" -v ours="$2" -v peer="$3" 'BEGIN {
    split(ours, o, " "); split(peer, p, " ")
    printf "%s\n", label
    printf "  par2:       %6.2f s wall %6.2f s CPU %7.1f MiB/s  peak %6.1f MiB\n", p[1], p[2], mib / p[1], p[3] / 1024
    printf "  this module:%6.2f s wall %6.2f s CPU %7.1f MiB/s  peak %6.1f MiB\n", o[1], o[2], mib / o[1], o[3] / 1024
    printf "  ratio wall %.2f, CPU %.2f\n", o[1] / p[1], o[2] / p[2]
  }'
}

clean='rm -f v*.par2 v.bin.*.rebuilt'
echo "input $size_mib MiB in 8 parts of $part_bytes bytes, best of 3 runs each, page cache warm"
for case in "1048576 26 1 MiB slices, 10 % recovery (26 blocks)" \
            "1048576 32 1 MiB slices, one part's worth (32 blocks)" \
            "$rule_slice 1 one slice per part, one part's worth (1 block)"; do
  read -r slice blocks label <<<"$case"
  ours=$(best_of_3 "$clean" "$tool" create "$slice" "$blocks" "$work/v" "${parts[@]}")
  peer=$(best_of_3 "$clean" par2 create -q -q -s"$slice" -c"$blocks" v.par2 "${parts[@]}")
  [ -s v.par2 ] || { echo "no recovery files made"; exit 1; }
  report "create, $label" "$ours" "$peer"
done

# Repair: both rebuild the same lost part from the same set (made by par2, one part's worth
# of 1 MiB slices); par2 writes it in place, this module beside it.
for case in "1048576 32 1 MiB slices" "$rule_slice 1 one slice per part"; do
  read -r slice blocks label <<<"$case"
  eval "$clean"
  par2 create -q -q -s"$slice" -c"$blocks" v.par2 "${parts[@]}"
  cp v.bin.003 keep.bin
  ours=$(best_of_3 'rm -f v.bin.003 v.bin.*.rebuilt' "$tool" repair "$work" v*.par2)
  cmp keep.bin v.bin.003.rebuilt
  peer=$(best_of_3 'rm -f v.bin.003' par2 repair -q -q v.par2)
  cmp keep.bin v.bin.003
  report "repair of one lost part, $label" "$ours" "$peer"
done

# The whole tool. The split writes its parts, its checksum list and its recovery files (one
# slice per part, one block); the peer cuts the same parts with GNU split and makes the
# same recovery data with par2.
mkdir whole && mv input.bin whole/ && cd whole
eval "$clean"
ours=$(best_of_3 'rm -f input.bin.* input.bin*.par2' "$cli" split -q input.bin --parts 8 --recovery 1)
bare=$(best_of_3 'rm -f input.bin.* input.bin*.par2' "$cli" split -q input.bin --parts 8 --recovery 1 --no-checksum)
plain=$(best_of_3 'rm -f input.bin.* input.bin*.par2' "$cli" split -q input.bin --parts 8)
peer=$(best_of_3 'rm -f x.bin.* x*.par2' bash -c \
  "split -n 8 -d -a 3 --numeric-suffixes=1 input.bin x.bin. && par2 create -q -q -s$rule_slice -c1 x.par2 x.bin.0*")
report "split --recovery 1 into 8 parts, against GNU split + par2 create (1 block of $rule_slice bytes)" "$ours" "$peer"
awk -v p="$plain" -v o="$ours" -v n="$bare" -v q="$peer" 'BEGIN { split(p, a, " "); split(o, b, " ")
  split(n, c, " "); split(q, d, " ")
  printf "  (the same split without recovery data: %.2f s wall; recovery adds %.2f s)\n", a[1], b[1] - a[1]
  printf "  (without the checksum list, which the peer does not make: %.2f s wall, ratio %.2f)\n", c[1], c[1] / d[1] }'
rm -f input.bin.* input.bin*.par2
"$cli" split -q input.bin --parts 8 --recovery 1
cp input.bin.004 keep.bin
ours=$(best_of_3 'rm -f input.bin.004 input.bin.004.damaged' "$cli" repair -q input.bin.001)
cmp keep.bin input.bin.004
peer=$(best_of_3 'rm -f input.bin.004 input.bin.004.1' par2 repair -q -q input.bin.par2)
cmp keep.bin input.bin.004
report "repair of one lost part of the split's own set, against par2 repair" "$ours" "$peer"
