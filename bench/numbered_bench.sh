#!/usr/bin/env bash
# Times joining plain numbered pieces (NAME.001, ...) against cat of the same pieces and cp
# of the source, what an .sfv or .sha256 beside them costs, and split --raw against GNU split.
#   bench/numbered_bench.sh [BUILD_DIR]     (default: build-release, built if missing)
# Pairs alternate which command goes first, every timed run starts after a `sync`, and the
# table shows medians of RUNS rounds (default 5) and of the per-round ratios. BENCH_DIR picks
# the scratch folder (default: a new folder under /var/tmp); it needs about 7 GiB.
# BENCH_VERBOSE=1 prints every timed run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-release}
if [ ! -x "$build/cli/brindle" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target brindle
fi
brindle=$build/cli/brindle
work=${BENCH_DIR:-$(mktemp -d /var/tmp/brindle-bench.XXXXXX)}
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
runs=${RUNS:-9}
declare -A times ratios cpuratios peak
last=0
lastcpu=0

# Runs one command after its set-up and a sync; keeps its wall seconds in `last` and in
# times[name], its CPU seconds in `lastcpu`, and its largest peak RSS (KiB) in peak[name].
timed() {
  local name=$1 setup=$2; shift 2
  eval "$setup"
  sync
  local line
  line=$( { /usr/bin/time -f "%e %U %S %M" "$@" >/dev/null; } 2>&1 | tail -n 1)
  local fields
  read -r -a fields <<<"$line"
  last=${fields[0]}
  lastcpu=$(awk -v u="${fields[1]}" -v s="${fields[2]}" 'BEGIN { print u + s }')
  times[$name]="${times[$name]:-} $last"
  [ -n "${BENCH_VERBOSE:-}" ] && echo "  $name $last s, cpu $lastcpu s"
  local mem=${fields[3]}
  [ "$mem" -gt "${peak[$name]:-0}" ] && peak[$name]=$mem
  return 0
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) b = 0.01; printf "%.3f", a / b }'; }

# pair NAME ROUND  A_NAME A_SETUP A_COMMAND  B_NAME B_SETUP B_COMMAND
# A_COMMAND and B_COMMAND are one word each (a shell text for `sh -c` where it needs more).
pair() {
  local name=$1 round=$2 an=$3 as=$4 ac=$5 bn=$6 bs=$7 bc=$8 ta tb ca cb
  if [ $((round % 2)) -eq 1 ]; then
    timed "$an" "$as" sh -c "$ac"; ta=$last; ca=$lastcpu
    timed "$bn" "$bs" sh -c "$bc"; tb=$last; cb=$lastcpu
  else
    timed "$bn" "$bs" sh -c "$bc"; tb=$last; cb=$lastcpu
    timed "$an" "$as" sh -c "$ac"; ta=$last; ca=$lastcpu
  fi
  ratios[$name]="${ratios[$name]:-} $(ratio "$ta" "$tb")"
  cpuratios[$name]="${cpuratios[$name]:-} $(ratio "$ca" "$cb")"
}
median_of() { printf '%s\n' $1 | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
spread_of() { printf '%s\n' $1 | sort -n | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%s-%s", lo, hi }'; }
mib() { awk -v k="${peak[$1]}" 'BEGIN { printf "%.1f", k / 1024 }'; }

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
  pair join-cp "$round" njoin "rm -f \"$w/join.bin\"" "$njoin" \
                        cp "rm -f \"$w/copy.bin\"" "cp \"$w/source.bin\" \"$w/copy.bin\""
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

row() { printf '%-34s %7s %7s %7s %12s %7s %10s\n' "$@"; }
show() {  # show LABEL PAIR A B
  row "$1" "$(median_of "${times[$3]}")" "$(median_of "${times[$4]}")" \
      "$(median_of "${ratios[$2]}")" "$(spread_of "${ratios[$2]}")" \
      "$(median_of "${cpuratios[$2]}")" "$(mib "$3") / $(mib "$4")"
}
printf '\n1 GiB in 11 numbered pieces of 100 MiB, %s rounds per pair; seconds (medians)\n' "$runs"
row "pair" first second ratio "ratio range" "cpu" "peak MiB"
show "join vs cat of the pieces" join-cat njoin cat
show "join vs cp of the source" join-cp njoin cp
show "join checking .sfv vs join" join-sfv sjoin njoin
show "join checking .sha256 vs join" join-sha mjoin njoin
show "split --raw vs split -b 104857600" split-raw rsplit gsplit
show "split --raw --checksums vs --raw" split-raw-sums rcsplit rsplit
