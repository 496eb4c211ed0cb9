#!/usr/bin/env bash
# Many small parts: splits 10,000,000 bytes into 1 KiB parts (9,766 of them) with
# `sundrix-cli split` and GNU `split -b 1K`, joins them with `sundrix-cli join` and with
# `cat`, and runs the same split from the window (when bench_window_split is built).
# The splits alternate, then the joins in a loop of their own (the first of the two changing
# each run); the medians and their ratios are printed, with peak memory.
# Usage: bash bench/many_parts.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build/release}
runs=${2:-5}
cli="$build/cli/sundrix-cli"
window="$build/bench/bench_window_split"
[ -x "$cli" ] || { echo "build $cli first (cmake --preset release && cmake --build build/release)"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/sundrix-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c 10000000 </dev/zero | openssl enc -aes-128-ctr -nosalt -pass pass:sundrix-bench \
  2>/dev/null >"$work/input.bin"
export SUNDRIX_SETTINGS="$work/settings.ini" QT_QPA_PLATFORM=offscreen

# /usr/bin/time counts wall time in 10 ms steps, too coarse for runs of a tenth of a
# second: the wall time is taken around it in nanoseconds, the peak memory from it.
timed() {  # command...: prints "seconds peakRSS_KiB"
  local start end rss
  start=$(date +%s%N)
  rss=$({ /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null; } | tail -1)
  end=$(date +%s%N)
  echo "$(( (end - start) / 1000 ))e-6 $rss"
}
fresh() { rm -rf "$1"; mkdir "$1"; sync; }

# The parts the joins read, and the order cat must read them in.
mkdir "$work/parts"
"$cli" split "$work/input.bin" --size 1K --out "$work/parts" -q
(cd "$work/parts" && ls | grep -v sha256 | sort -t. -k3n) >"$work/order"
sync

split_sx=() split_gnu=() join_sx=() join_cat=() split_win=() rss_split=() rss_join=()
for ((run = 1; run <= runs; run++)); do
  fresh "$work/a"; read -r t m < <(timed "$cli" split "$work/input.bin" --size 1K --out "$work/a" -q)
  split_sx+=("$t"); rss_split+=("$m")
  fresh "$work/b"; read -r t _ < <(timed sh -c "cd '$work/b' && split -b 1K -d -a 4 ../input.bin input.bin.")
  split_gnu+=("$t")
  if [ -x "$window" ]; then
    fresh "$work/w"; split_win+=("$("$window" "$work/input.bin" 1 "$work/w" 2>/dev/null)")
  fi
done
# The joins in a loop of their own, after the splits' writes have settled: the kernel's
# flushing of 30,000 new files takes a core for a while, which the first tool timed after
# them would pay alone. Which of the two goes first alternates.
sync; sleep 2
join_sx_once() {
  rm -f "$work/joined"; sync
  read -r t m < <(timed "$cli" join "$work/parts/input.bin.001" --out "$work/joined" -q)
  join_sx+=("$t"); rss_join+=("$m")
  cmp "$work/input.bin" "$work/joined"
}
join_cat_once() {
  rm -f "$work/joined"; sync
  read -r t _ < <(timed sh -c "cd '$work/parts' && cat \$(cat '$work/order') > '$work/joined'")
  join_cat+=("$t")
  cmp "$work/input.bin" "$work/joined"
}
for ((run = 1; run <= runs; run++)); do
  if ((run % 2)); then join_sx_once; join_cat_once; else join_cat_once; join_sx_once; fi
done
cmp <(cat "$work"/a/input.bin.001 "$work"/a/input.bin.002) <(head -c 2048 "$work/input.bin")

python3 - "${split_sx[*]}" "${split_gnu[*]}" "${join_sx[*]}" "${join_cat[*]}" \
  "${split_win[*]:-}" "${rss_split[*]}" "${rss_join[*]}" "$(cut -d' ' -f1-3 /proc/loadavg)" <<'PY'
import statistics, sys
col = lambda i: [float(x) for x in sys.argv[i].split()]
med = lambda i: statistics.median(col(i)) if sys.argv[i].strip() else None
s, g, j, c, w = (med(i) for i in range(1, 6))
print(f"10,000,000 bytes in 1 KiB parts (9,766), {len(col(1))} runs, medians; load after: {sys.argv[8]}")
print(f"split  sundrix-cli {s:6.2f} s   GNU split -b 1K {g:6.2f} s   ratio {s / g:.2f} (goal 0.7)")
print(f"join   sundrix-cli {j:6.2f} s   cat             {c:6.2f} s   ratio {j / c:.2f} (goal 1.0)")
if w is not None:
    print(f"split  window      {w:6.2f} s   sundrix-cli     {s:6.2f} s   ratio {w / s:.2f} (goal 1.1)")
print(f"peak RSS sundrix-cli: split {max(col(6)) / 1024:.1f} MiB, join {max(col(7)) / 1024:.1f} MiB")
PY
