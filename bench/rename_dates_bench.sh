#!/usr/bin/env bash
# Times the dates of 10,000 photos: the core's reading (EXIF time taken against the
# modification time, alternating rounds, page cache warm) and the whole
# `brindle rename --date-from taken --dry-run` against `--date-from mtime`.
#   bench/rename_dates_bench.sh [BUILD_DIR]     (default: build-release, built if missing)
# FILES sets the number of photos (default 10000), ROUNDS the rounds per side (default 7),
# BENCH_DIR the folder to work under.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
use_core_build "${1:-}"
files=${FILES:-10000}
rounds=${ROUNDS:-7}
use_work brindle-dates-bench
g++ -O2 -std=c++20 -I"$root/core" -I"$root/tests" "$root/bench/rename/dates_bench.cpp" \
  "$root/tests/support/tiny_jpeg.cpp" $(core_link) -o "$work/dates_bench"
"$work/dates_bench" make "$work/photos" "$files"
echo "== reading dates (core) =="
"$work/dates_bench" time "$work/photos" "$rounds"

echo "== brindle rename --dry-run, whole command =="
cd "$work/photos"
run() { /usr/bin/time -f "%e" "$build/cli/brindle" rename --date-from "$1" --dry-run -- IMG_*.JPG 2>&1 >/dev/null | tail -n 1; }
run taken >/dev/null
t=() m=()
for i in $(seq "$rounds"); do
  if [ $((i % 2)) -eq 1 ]; then t+=("$(run taken)"); m+=("$(run mtime)"); else m+=("$(run mtime)"); t+=("$(run taken)"); fi
done
median() { sort -n | sed -n "$(( (rounds + 1) / 2 ))p"; }
echo "--date-from taken    $(printf '%s\n' "${t[@]}" | median) s"
echo "--date-from mtime    $(printf '%s\n' "${m[@]}" | median) s"
