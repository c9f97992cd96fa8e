#!/usr/bin/env bash
# Times new-name generation for 100,000 rows, and `brindle rename` of 10,000 files in one
# folder against a loop of `mv -n` calls. The renames are compared by the system time of
# their rename syscalls (strace -c), so the loop's process starts do not count.
#   bench/rename_bench.sh [BUILD_DIR]     (default: build-release, built if missing)
# FILES sets the number of files (default 10000); RUNS the runs per side (default 1, median
# shown). One run takes a few minutes, since the loop starts a traced process per file.
# BENCH_DIR the folder to work under.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
use_core_build "${1:-}"
command -v strace >/dev/null || { echo "strace is needed (apt-get install strace)"; exit 1; }
files=${FILES:-10000}
runs=${RUNS:-1}
use_work brindle-rename-bench

echo "== generating new names =="
g++ -O2 -std=c++20 -I"$root/core" "$root/bench/rename/generate_bench.cpp" \
  $(core_link) -o "$work/generate_bench"
"$work/generate_bench" 100000 5

fresh_folder() {
  rm -rf "$1"
  mkdir -p "$1"
  (cd "$1" && seq -f "IMG_%05g.JPG" 1 "$files" | xargs touch)
}

# Seconds of system time in rename syscalls, from an strace -c summary.
rename_seconds() {
  awk '$NF ~ /^rename(at|at2)?$/ { s += $2 } END { printf "%.6f", s }' "$1"
}

median() { sort -n | sed -n "$(( (runs + 1) / 2 ))p"; }

check_renamed() {
  local n
  n=$(find "$1" -name 'holiday(*).jpg' | wc -l)
  [ "$n" -eq "$files" ] || { echo "only $n of $files files renamed in $1"; exit 1; }
}

echo "== renaming $files files in one folder ($runs runs each, median) =="
b_times=() m_times=() b_sys=()
for _ in $(seq "$runs"); do
  fresh_folder "$work/b"
  (cd "$work/b" && strace -c -f --seccomp-bpf -o "$work/b.strace" -e trace=rename,renameat,renameat2 \
    "$brindle" rename --name holiday --number "(00001)" --ext jpg -- IMG_*.JPG >/dev/null)
  check_renamed "$work/b"
  b_times+=("$(rename_seconds "$work/b.strace")")

  # The whole command's system time without strace, start-up and listing included.
  fresh_folder "$work/b"
  b_sys+=("$(cd "$work/b" && { /usr/bin/time -f "%S" "$brindle" rename --name holiday \
    --number "(00001)" --ext jpg -- IMG_*.JPG >/dev/null; } 2>&1 | tail -n 1)")

  fresh_folder "$work/m"
  (cd "$work/m" && strace -c -f --seccomp-bpf -o "$work/m.strace" -e trace=rename,renameat,renameat2 \
    bash -c 'i=0; for f in IMG_*.JPG; do i=$((i + 1)); printf -v n "%05d" "$i"; mv -n "$f" "holiday($n).jpg"; done')
  check_renamed "$work/m"
  m_times+=("$(rename_seconds "$work/m.strace")")
done
b=$(printf '%s\n' "${b_times[@]}" | median)
m=$(printf '%s\n' "${m_times[@]}" | median)
s=$(printf '%s\n' "${b_sys[@]}" | median)
echo "brindle rename, rename syscalls:  ${b} s"
echo "mv -n loop, rename syscalls:      ${m} s"
awk -v b="$b" -v m="$m" 'BEGIN { if (m == 0) m = 0.000001; printf "ratio brindle / mv -n:            %.2f (target: at most 2)\n", b / m }'
echo "brindle rename, whole system time: ${s} s"
