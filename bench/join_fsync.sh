#!/usr/bin/env bash
# What flushing to disk costs a join that replaces an existing file, against the same join
# into a new name (which does not flush). Pairs alternate their order and each run starts
# after a sync, so neither pays for the other's writeback. Prints the median wall time of
# each and the median of the per-pair ratios.
#   bench/join_fsync.sh [BUILD_DIR]   SIZE_MB (default 512), PAIRS (default 7), BENCH_DIR
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_start brindle-fsync "${1:-}"
size_mb=${SIZE_MB:-512}
pairs=${PAIRS:-7}

head -c "$((size_mb << 20))" /dev/urandom >"$work/source.bin"
"$brindle" split "$work/source.bin" --pieces 4 --dest "$work" >/dev/null
rm "$work/source.bin"

# One join into $work/out; "replace" puts a file there first. Prints wall seconds.
run() {
  rm -f "$work/out"
  [ "$1" = replace ] && echo "an earlier file" >"$work/out"
  sync
  { /usr/bin/time -f "%e" "$brindle" join "$work/source(1).qmf" --out "$work/out" >/dev/null; } 2>&1 | tail -n 1
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

new_times=() replace_times=() pair_ratios=()
for ((i = 0; i < pairs; i++)); do
  if ((i % 2 == 0)); then
    n=$(run new); r=$(run replace)
  else
    r=$(run replace); n=$(run new)
  fi
  new_times+=("$n") replace_times+=("$r")
  pair_ratios+=("$(awk -v r="$r" -v n="$n" 'BEGIN { printf "%.2f", (n > 0 ? r / n : 0) }')")
  echo "pair $((i + 1)): new ${n}s, replace ${r}s"
done
echo "join of ${size_mb} MiB, ${pairs} pairs:"
echo "  into a new name:         median $(printf '%s\n' "${new_times[@]}" | median)s"
echo "  replacing a file (sync): median $(printf '%s\n' "${replace_times[@]}" | median)s"
echo "  replace / new:           median $(printf '%s\n' "${pair_ratios[@]}" | median)"
