#!/usr/bin/env bash
# A very long checksum list: splits 700,000 bytes into one-byte parts (700,001 of them,
# the last one empty) and joins them verified, printing each run's time and peak memory
# against the 64 MiB the list may cost at most, and the time of GNU `split -b 1` and of
# `cat` over the same number of parts (through xargs: the names pass any one command line)
# as the ratio. Creating the parts takes minutes, twice.
# Usage: bash bench/long_list.sh [BUILD_DIR] [PARTS]
set -euo pipefail
build=${1:-build/release}
parts=${2:-700000}
cli="$build/cli/sundrix-cli"
[ -x "$cli" ] || { echo "build $cli first (cmake --preset release && cmake --build build/release)"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/sundrix-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c "$parts" </dev/urandom >"$work/input.bin"
mkdir "$work/parts" "$work/gnu"

run() {  # command...: prints its wall time and peak memory (KiB)
  { /usr/bin/time -f '%e %M' "$@" 2>&1 >/dev/null; } | tail -1
}
ratio() { python3 -c "import sys; a, b = map(float, sys.argv[1:]); print(f'{a / b:.2f}' if b else 'n/a')" "$1" "$2"; }

read -r split_s split_kib < <(run "$cli" split "$work/input.bin" --size 1 --out "$work/parts" -q)
sync
read -r gnu_s _ < <(run sh -c "cd '$work/gnu' && split -b 1 -d -a 7 ../input.bin input.bin.")
sync
echo "$(ls "$work/parts" | wc -l) files, list $(($(stat -c %s "$work/parts/input.bin.sha256") / 1048576)) MiB"
read -r join_s join_kib < <(run "$cli" join "$work/parts/input.bin.001" --out "$work/joined" -q)
cmp "$work/input.bin" "$work/joined"
rm -f "$work/joined"
sync
read -r cat_s _ < <(run sh -c "cd '$work/gnu' && ls | xargs cat > ../joined")
cmp "$work/input.bin" "$work/joined"
printf 'split %9s s  peak %4d MiB (limit 64)  GNU split -b 1 %9s s  ratio %s\n' \
  "$split_s" $((split_kib / 1024)) "$gnu_s" "$(ratio "$split_s" "$gnu_s")"
printf 'join  %9s s  peak %4d MiB (limit 64)  ls | xargs cat %9s s  ratio %s\n' \
  "$join_s" $((join_kib / 1024)) "$cat_s" "$(ratio "$join_s" "$cat_s")"
echo "load $(cut -d' ' -f1-3 /proc/loadavg)"
