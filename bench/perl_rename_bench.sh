#!/usr/bin/env bash
# `brindle rename` of 20,000 files in one folder against Debian's perl `rename` giving the
# same names, by wall-clock time of whole runs, journal included. Runs in pairs (each on
# a fresh folder, which side goes first alternating) and shows the median of each side and
# their ratio.
#   bench/perl_rename_bench.sh [BUILD_DIR]     (default: build-release, built if missing)
# FILES sets the number of files (default 20000); RUNS the pairs (default 5); BENCH_DIR the
# scratch folder. Needs Debian's `rename` package.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
use_core_build "${1:-}"
command -v file-rename >/dev/null || { echo "Debian's rename is needed (apt-get install rename)"; exit 1; }
files=${FILES:-20000}
runs=${RUNS:-5}
use_work brindle-perl-rename-bench
export XDG_STATE_HOME="$work/state"

fresh_folder() {
  rm -rf "$1"
  mkdir -p "$1"
  (cd "$1" && seq -f "IMG_%05g.txt" 1 "$files" | xargs touch)
  sync  # the timed run meets no writeback of the folder's making
}
seconds() { local s e; s=$(date +%s.%N); "$@" >/dev/null; e=$(date +%s.%N); echo "$e - $s" | bc -l; }
median() { sort -n | sed -n "$(( (runs + 1) / 2 ))p"; }

run_brindle() {
  fresh_folder "$work/b"
  b_times+=("$(cd "$work/b" && seconds "$brindle" rename --name photo --number "(00001)" -- IMG_*.txt)")
  [ "$(find "$work/b" -name 'photo(*).txt' | wc -l)" -eq "$files" ] || { echo "brindle renamed too few"; exit 1; }
  rm -rf "$work/state"
}
run_perl() {
  fresh_folder "$work/p"
  p_times+=("$(cd "$work/p" && seconds file-rename 'our $i; $_ = sprintf("photo(%05d).txt", ++$i)' IMG_*.txt)")
  [ "$(find "$work/p" -name 'photo(*).txt' | wc -l)" -eq "$files" ] || { echo "rename renamed too few"; exit 1; }
}
b_times=() p_times=()
for round in $(seq "$runs"); do
  # Which goes first alternates, so neither always meets the other's writeback.
  if [ $((round % 2)) -eq 1 ]; then run_brindle; run_perl; else run_perl; run_brindle; fi
done
b=$(printf '%s\n' "${b_times[@]}" | median)
p=$(printf '%s\n' "${p_times[@]}" | median)
printf 'brindle rename: %.3f s   perl rename: %.3f s   ratio %.2f (median of %d pairs, %d files)\n' \
  "$b" "$p" "$(echo "$b / $p" | bc -l)" "$runs" "$files"
