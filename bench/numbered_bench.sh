#!/usr/bin/env bash
# Times joining plain numbered pieces (NAME.001, ...) against cat of the same pieces and cp
# of the source, what an .sfv or .sha256 beside them costs, and split --raw against GNU split.
#   bench/numbered_bench.sh [BUILD_DIR]     (default: build-release, built if missing)
# Pairs alternate which command goes first, every timed run starts after a `sync`, and the
# table shows medians of RUNS rounds (default 9) and of the per-round ratios. BENCH_DIR the
# folder to work under (default /var/tmp); it needs about 7 GiB.
# BENCH_VERBOSE=1 prints every timed run.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_start brindle-bench "${1:-}"
runs=${RUNS:-9}

echo "Making 1 GiB of random bytes in $work ..."
head -c 1073741824 /dev/urandom > "$work/source.bin"
mkdir -p "$work/p" "$work/ps" "$work/pm" "$work/r" "$work/rc" "$work/g"
"$brindle" split "$work/source.bin" --raw --size 100 --unit MB --dest "$work/p" >/dev/null
cp "$work"/p/source.bin.* "$work/ps/" && cp "$work"/p/source.bin.* "$work/pm/"
(cd "$work/ps" && for f in source.bin.*; do
   printf '%s %08X\n' "$f" "$(python3 -c 'import sys, zlib; print(zlib.crc32(open(sys.argv[1], "rb").read()))' "$f")"
 done > source.sfv)
(cd "$work/pm" && sha256sum source.bin.* > source.bin.sha256 && sha256sum ../source.bin | sed 's|\.\./||' >> source.bin.sha256)

w=$work
njoin="\"$brindle\" join \"$w/p/source.bin.001\" --out \"$w/join.bin\""
for round in $(seq "$runs"); do
  echo "round $round of $runs"
  pair join-cat "$round" njoin "rm -f \"$w/join.bin\"" "$njoin" \
                         cat "rm -f \"$w/cat.bin\"" "cat \"$w\"/p/source.bin.[0-9][0-9][0-9] > \"$w/cat.bin\""
  pair_cp join-cp "$round" njoin "rm -f \"$w/join.bin\"" "$njoin"
  pair join-sfv "$round" sjoin "rm -f \"$w/joins.bin\"" \
                         "\"$brindle\" join \"$w/ps/source.bin.001\" --out \"$w/joins.bin\"" \
                         njoin "rm -f \"$w/join.bin\"" "$njoin"
  pair join-sha "$round" mjoin "rm -f \"$w/joinm.bin\"" \
                         "\"$brindle\" join \"$w/pm/source.bin.001\" --out \"$w/joinm.bin\"" \
                         njoin "rm -f \"$w/join.bin\"" "$njoin"
  pair split-raw "$round" rsplit "rm -f \"$w\"/r/*" \
                          "\"$brindle\" split \"$w/source.bin\" --raw --size 100 --unit MB --dest \"$w/r\"" \
                          gsplit "rm -f \"$w\"/g/*" "split -b 104857600 \"$w/source.bin\" \"$w/g/x\""
  pair split-raw-sums "$round" rcsplit "rm -f \"$w\"/rc/*" \
                          "\"$brindle\" split \"$w/source.bin\" --raw --size 100 --unit MB --dest \"$w/rc\" --checksums" \
                          rsplit "rm -f \"$w\"/r/*" \
                          "\"$brindle\" split \"$w/source.bin\" --raw --size 100 --unit MB --dest \"$w/r\""
done
for out in join joins joinm; do
  cmp -s "$work/source.bin" "$work/$out.bin" || { echo "$out OUTPUT DIFFERS"; exit 1; }
done

LABEL_WIDTH=34
printf '\n1 GiB in 11 numbered pieces of 100 MiB, %s rounds per pair; seconds (medians)\n' "$runs"
row "pair" first second ratio "ratio range" "cpu" "peak MiB"
show "join vs cat of the pieces" join-cat njoin cat
show "join vs cp of the source" join-cp njoin cp
show "join checking .sfv vs join" join-sfv sjoin njoin
show "join checking .sha256 vs join" join-sha mjoin njoin
show "split --raw vs split -b 104857600" split-raw rsplit gsplit
show "split --raw --checksums vs --raw" split-raw-sums rcsplit rsplit
