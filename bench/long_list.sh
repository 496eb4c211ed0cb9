#!/usr/bin/env bash
# A very long checksum list: splits 700,000 bytes into one-byte parts (700,001 of them,
# the last one empty) and joins them verified, printing each run's time and peak memory
# against the 64 MiB the list may cost at most. Creating the parts takes minutes.
# Usage: bash bench/long_list.sh [BUILD_DIR] [PARTS]
set -euo pipefail
build=${1:-build/release}
parts=${2:-700000}
cli="$build/cli/sundrix-cli"
[ -x "$cli" ] || { echo "build $cli first (cmake --preset release && cmake --build build/release)"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/sundrix-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c "$parts" </dev/urandom >"$work/input.bin"
mkdir "$work/parts"

peak() {  # what command...: runs it, prints its wall time and peak memory
  local what=$1 out
  shift
  out=$({ /usr/bin/time -f '%e %M' "$@" 2>&1 >/dev/null; } | tail -1)
  read -r secs kib <<<"$out"
  printf '%-6s %9s s  peak %6d MiB  (limit 64 MiB)\n' "$what" "$secs" $((kib / 1024))
}
peak split "$cli" split "$work/input.bin" --size 1 --out "$work/parts" -q
echo "$(ls "$work/parts" | wc -l) files, list $(($(stat -c %s "$work/parts/input.bin.sha256") / 1048576)) MiB"
peak join "$cli" join "$work/parts/input.bin.001" --out "$work/joined" -q
cmp "$work/input.bin" "$work/joined"
echo "load $(cut -d' ' -f1-3 /proc/loadavg)"
