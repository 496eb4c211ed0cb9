#!/usr/bin/env bash
# Splits and joins on filesystems whose files share blocks: a loop-mounted btrfs image and
# an XFS image (reflink on). For 1 GiB in 256 MiB parts and in 3 parts it times
# `sundrix-cli split` against GNU `split` and `sundrix-cli join` against `cat` in the same
# run, and reports the new space each took (`df` after a sync). With the page cache
# dropped it also times the verified join of the shared parts against reading them.
# Needs root, mkfs.btrfs and mkfs.xfs; says so and stops otherwise.
# Usage: bash bench/sharing.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build/release}
runs=${2:-3}
size_mib=1024
cli="$build/cli/sundrix-cli"
[ -x "$cli" ] || { echo "build $cli first (cmake --preset release && cmake --build build/release)"; exit 1; }
cli=$(realpath "$cli")
if [ "$(id -u)" -ne 0 ]; then echo "skipped: mounting the images needs root"; exit 0; fi
for tool in mkfs.btrfs mkfs.xfs; do
  command -v $tool >/dev/null || { echo "skipped: $tool is missing (apt-get install btrfs-progs xfsprogs)"; exit 0; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/sundrix-bench-XXXXXX")
mnt="$work/mnt"
mkdir "$mnt"
cleanup() { umount "$mnt" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

now() { date +%s%N; }
used() { sync -f "$mnt"; df -B1 --output=used "$mnt" | tail -1; }
# Runs a command in the mounted folder; prints "seconds new_bytes".
measure() {
  local before t0 t1 after
  before=$(used); t0=$(now)
  (cd "$mnt" && "$@" >/dev/null)
  t1=$(now); after=$(used)
  echo "$(( t1 - t0 )) $(( after - before ))"
}
drop_caches() { sync; echo 3 >/proc/sys/vm/drop_caches; }
clear_outputs() { (cd "$mnt" && find . -mindepth 1 ! -name input.bin -delete); sync -f "$mnt"; }

results="$work/results"
: >"$results"
record() { echo "$1 $2" >>"$results"; }  # key, "ns bytes"

bench_fs() {  # type, mkfs command...
  local type=$1; shift
  truncate -s 5G "$work/$type.img"
  "$@" "$work/$type.img" >/dev/null 2>&1
  mount -o loop "$work/$type.img" "$mnt"
  head -c $((size_mib * 1048576)) </dev/zero | openssl enc -aes-128-ctr -nosalt \
    -pass pass:sundrix-bench 2>/dev/null >"$mnt/input.bin"
  sync -f "$mnt"
  for ((run = 1; run <= runs; run++)); do
    for mode in size parts; do
      if [ $mode = size ]; then ours=(--size 256M); gnu=(-b 256M); else ours=(--parts 3); gnu=(-n 3); fi
      clear_outputs
      record "$type.$mode.split.gnu" "$(measure split -d -a 3 "${gnu[@]}" input.bin gnu.)"
      (cd "$mnt" && cat $(ls gnu.* | sort) >/dev/null)  # the peer's join reads warm parts too
      record "$type.$mode.join.cat" "$(measure sh -c 'cat $(ls gnu.* | sort) > joined.cat')"
      clear_outputs
      record "$type.$mode.split.plain" "$(measure "$cli" split input.bin "${ours[@]}" --no-checksum -q)"
      record "$type.$mode.join.plain" "$(measure "$cli" join input.bin.001 --out joined.plain -q)"
      cmp "$mnt/input.bin" "$mnt/joined.plain"
      clear_outputs
      record "$type.$mode.split.sums" "$(measure "$cli" split input.bin "${ours[@]}" -q)"
      record "$type.$mode.join.sums" "$(measure "$cli" join input.bin.001 --out joined.sums -q)"
      cmp "$mnt/input.bin" "$mnt/joined.sums"
      if [ $mode = size ]; then
        # Freshly shared parts come from the disk: the verified join with nothing in the
        # page cache, against reading the same parts with nothing cached (the device's
        # speed). The join goes first, so a cache below the image favours the peer.
        rm -f "$mnt/joined.sums"; drop_caches
        record "$type.cold.join" "$(measure "$cli" join input.bin.001 --out joined.cold -q)"
        cmp "$mnt/input.bin" "$mnt/joined.cold"
        drop_caches
        record "$type.cold.read" "$(measure sh -c 'cat input.bin.0* > /dev/null')"
      fi
    done
  done
  clear_outputs
  umount "$mnt"
  rm -f "$work/$type.img"
}

bench_fs btrfs mkfs.btrfs -f
bench_fs xfs mkfs.xfs -f -m reflink=1

python3 - "$results" "$size_mib" "$(cut -d' ' -f1-3 /proc/loadavg)" <<'PY'
import collections, statistics, sys
runs = collections.defaultdict(list)
for line in open(sys.argv[1]):
    key, ns, new = line.split()
    runs[key].append((int(ns) / 1e9, int(new)))
size = int(sys.argv[2]) * 1048576
med = lambda key, i: statistics.median(r[i] for r in runs[key])
print(f"1 GiB input, medians of {len(runs['btrfs.size.split.gnu'])} runs; load after: {sys.argv[3]}")
print("new space: % of the input the run added to the filesystem (df after a sync)")
for fs in ("btrfs", "xfs"):
    for mode, label in (("size", "256 MiB parts"), ("parts", "3 parts")):
        k = f"{fs}.{mode}"
        g, c = med(k + ".split.gnu", 0), med(k + ".join.cat", 0)
        print(f"{fs:5} {label}: GNU split {g:7.3f} s ({100 * med(k + '.split.gnu', 1) / size:5.1f} % new)"
              f"   cat {c:7.3f} s ({100 * med(k + '.join.cat', 1) / size:5.1f} % new)")
        for variant, what in (("plain", "--no-checksum"), ("sums", "with checksums")):
            s, j = med(f"{k}.split.{variant}", 0), med(f"{k}.join.{variant}", 0)
            print(f"      sundrix {what:15} split {s:7.3f} s = {s / g:5.3f}x GNU split"
                  f" ({100 * med(f'{k}.split.{variant}', 1) / size:5.1f} % new)"
                  f"   join {j:7.3f} s = {j / c:5.2f}x cat"
                  f" ({100 * med(f'{k}.join.{variant}', 1) / size:5.1f} % new)")
for fs in ("btrfs", "xfs"):
    j, r = med(fs + ".cold.join", 0), med(fs + ".cold.read", 0)
    print(f"{fs:5} 256 MiB parts, page cache dropped: verified join {j:7.3f} s,"
          f" cat of the parts to /dev/null {r:7.3f} s = {j / r:5.2f}x the read (goal 1.0)")
print("goal (256 MiB parts, --no-checksum): split under 0.05x GNU split, join within 2x cat,"
      " each under 1 % new space")
PY
