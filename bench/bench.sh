#!/usr/bin/env bash
# Compares brindle's split and join with GNU split, cat and cp on the same bytes, in one run.
# Prints wall-time ratios (brindle / GNU tool; at most 1.0 is the goal) and peak memory.
#   bench/bench.sh [BUILD_DIR]     (default: build-release, built if missing)
# The commands take turns, RUNS rounds (default 9), so that a slow spell of the machine hits
# them alike; the median and the best time of each are shown. BENCH_DIR picks the scratch
# folder (default: a new folder under /var/tmp); it needs about 7 GiB.
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
declare -A times peak

# Runs one command after its set-up; keeps its wall seconds and largest peak RSS (KiB).
timed() {
  local name=$1 setup=$2; shift 2
  eval "$setup"
  sync
  local line
  line=$( { /usr/bin/time -f "%e %M" "$@" >/dev/null; } 2>&1 | tail -n 1)
  times[$name]="${times[$name]:-} ${line% *}"
  local mem=${line#* }
  [ "$mem" -gt "${peak[$name]:-0}" ] && peak[$name]=$mem
  return 0
}
median() { printf '%s\n' ${times[$1]} | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
best() { printf '%s\n' ${times[$1]} | sort -n | head -n 1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) b = 0.01; printf "%.2f", a / b }'; }
mib() { awk -v k="${peak[$1]}" 'BEGIN { printf "%.1f MiB", k / 1024 }'; }

echo "Making 1 GiB of random bytes in $work ..."
head -c 1073741824 /dev/urandom > "$work/source.bin"
mkdir -p "$work/b" "$work/g" "$work/jb" "$work/jg"
split -b 104857600 "$work/source.bin" "$work/jg/x"
"$brindle" split "$work/source.bin" --size 100 --unit MB --dest "$work/jb" >/dev/null

for round in $(seq "$runs"); do
  echo "round $round of $runs"
  timed cp 'rm -f "$work/copy.bin"' cp "$work/source.bin" "$work/copy.bin"
  timed gsplit 'rm -f "$work"/g/*' split -b 104857600 "$work/source.bin" "$work/g/x"
  timed bsplit 'rm -f "$work"/b/*' "$brindle" split "$work/source.bin" --size 100 --unit MB --dest "$work/b"
  timed cat 'rm -f "$work/cat.bin"' sh -c "cat \"$work\"/jg/x* > \"$work/cat.bin\""
  timed catb 'rm -f "$work/cat.bin"' sh -c "cat \"$work\"/jb/*.qmf* > \"$work/cat.bin\""
  timed bjoin 'rm -f "$work/join.bin"' "$brindle" join "$work/jb/source(1).qmf" --out "$work/join.bin"
done
cmp -s "$work/source.bin" "$work/join.bin" || { echo "JOIN OUTPUT DIFFERS"; exit 1; }
rm -rf "$work/g" "$work/b" "$work/jg" "$work/jb" "$work"/*.bin.* "$work/copy.bin" "$work/cat.bin" "$work/join.bin"

echo "Making a file of 2 GiB - 1 byte for 1 GiB pieces ..."
head -c 2147483647 <(cat "$work/source.bin" "$work/source.bin") > "$work/big.bin"
rm -f "$work/source.bin"
mkdir -p "$work/big"
timed bigsplit 'rm -f "$work"/big/*' "$brindle" split "$work/big.bin" --size 1 --unit GB --dest "$work/big"
timed bigjoin 'rm -f "$work/big.out"' "$brindle" join "$work/big/big(1).qmf" --out "$work/big.out"
cmp -s "$work/big.bin" "$work/big.out" || { echo "BIG JOIN OUTPUT DIFFERS"; exit 1; }

row() { printf '%-42s %7s %7s %-16s %12s\n' "$@"; }
printf '\n'
row "1 GiB of random bytes, $runs rounds" median best "ratio (median)" "peak memory"
row "cp" "$(median cp)" "$(best cp)" "" "$(mib cp)"
row "split -b 104857600" "$(median gsplit)" "$(best gsplit)" "" "$(mib gsplit)"
row "brindle split --size 100 --unit MB" "$(median bsplit)" "$(best bsplit)" \
    "$(ratio "$(median bsplit)" "$(median gsplit)") of split" "$(mib bsplit)"
row "" "" "" "$(ratio "$(median bsplit)" "$(median cp)") of cp" ""
row "cat of split's pieces" "$(median cat)" "$(best cat)" "" "$(mib cat)"
row "cat of brindle's pieces (headers too)" "$(median catb)" "$(best catb)" "" "$(mib catb)"
row "brindle join" "$(median bjoin)" "$(best bjoin)" \
    "$(ratio "$(median bjoin)" "$(median cat)") of cat" "$(mib bjoin)"
row "" "" "" "$(ratio "$(median bjoin)" "$(median catb)") of cat (b)" ""
row "" "" "" "$(ratio "$(median bjoin)" "$(median cp)") of cp" ""
row "brindle split, 2 GiB-1 in 1 GiB pieces" "$(median bigsplit)" "" "" "$(mib bigsplit)"
row "brindle join of those 2 pieces" "$(median bigjoin)" "" "" "$(mib bigjoin)"
