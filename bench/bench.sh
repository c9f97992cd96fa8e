#!/usr/bin/env bash
# Compares brindle's split and join with GNU split, cat and cp on the same bytes, in one run.
# Prints wall-time ratios (brindle / GNU tool; at most 1.0 is the goal) and peak memory.
#   bench/bench.sh [BUILD_DIR]     (default: build-release, built if missing)
# BENCH_DIR picks the scratch folder (default: a new folder under /var/tmp); it needs ~7 GiB.
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
runs=${RUNS:-5}

# Median wall seconds and the largest peak RSS (KiB) over $runs runs of a command.
measure() {
  local setup=$1; shift
  local times=() peak=0
  for _ in $(seq "$runs"); do
    eval "$setup"
    sync
    local line
    line=$( { /usr/bin/time -f "%e %M" "$@" >/dev/null; } 2>&1 | tail -n 1)
    times+=("${line% *}")
    local mem=${line#* }
    [ "$mem" -gt "$peak" ] && peak=$mem
  done
  local median
  median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")
  echo "$median $peak"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) b = 0.01; printf "%.2f", a / b }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; }

echo "Making 1 GiB of random bytes in $work ..."
head -c 1073741824 /dev/urandom > "$work/source.bin"

mkdir -p "$work/b" "$work/g"
clear_pieces='rm -f "$work"/b/* "$work"/g/*'
read -r t_cp m_cp < <(measure 'rm -f "$work/copy.bin"' cp "$work/source.bin" "$work/copy.bin")
read -r t_gsplit m_gsplit < <(measure "$clear_pieces" split -b 104857600 "$work/source.bin" "$work/g/x")
read -r t_bsplit m_bsplit < <(measure "$clear_pieces" "$brindle" split "$work/source.bin" --size 100 --unit MB --dest "$work/b")
# Leave one set of pieces of each kind for the joins.
split -b 104857600 "$work/source.bin" "$work/g/x"
"$brindle" split "$work/source.bin" --size 100 --unit MB --dest "$work/b" >/dev/null
read -r t_cat m_cat < <(measure 'rm -f "$work/cat.bin"' sh -c "cat \"$work\"/g/x* > \"$work/cat.bin\"")
read -r t_bjoin m_bjoin < <(measure 'rm -f "$work/join.bin"' "$brindle" join "$work/b/source(1).qmf" --out "$work/join.bin")
cmp -s "$work/source.bin" "$work/join.bin" || { echo "JOIN OUTPUT DIFFERS"; exit 1; }
rm -rf "$work/g" "$work/b" "$work/copy.bin" "$work/cat.bin" "$work/join.bin"

echo "Making a file of 2 GiB - 1 byte for 1 GiB pieces ..."
head -c 2147483647 <(cat "$work/source.bin" "$work/source.bin") > "$work/big.bin"
rm -f "$work/source.bin"
mkdir -p "$work/big"
read -r t_bigsplit m_bigsplit < <(runs=1 measure 'rm -f "$work"/big/*' "$brindle" split "$work/big.bin" --size 1 --unit GB --dest "$work/big")
read -r t_bigjoin m_bigjoin < <(runs=1 measure 'rm -f "$work/big.out"' "$brindle" join "$work/big/big(1).qmf" --out "$work/big.out")
cmp -s "$work/big.bin" "$work/big.out" || { echo "BIG JOIN OUTPUT DIFFERS"; exit 1; }

printf '\n%-44s %8s %10s %12s\n' "1 GiB of random bytes, median of $runs" "seconds" "ratio" "peak memory"
printf '%-44s %8s %10s %12s\n' "cp" "$t_cp" "" "$(mib "$m_cp")"
printf '%-44s %8s %10s %12s\n' "split -b 104857600" "$t_gsplit" "" "$(mib "$m_gsplit")"
printf '%-44s %8s %10s %12s\n' "brindle split --size 100 --unit MB" "$t_bsplit" "$(ratio "$t_bsplit" "$t_gsplit") split" "$(mib "$m_bsplit")"
printf '%-44s %8s %10s %12s\n' "" "" "$(ratio "$t_bsplit" "$t_cp") cp" ""
printf '%-44s %8s %10s %12s\n' "cat pieces > file" "$t_cat" "" "$(mib "$m_cat")"
printf '%-44s %8s %10s %12s\n' "brindle join" "$t_bjoin" "$(ratio "$t_bjoin" "$t_cat") cat" "$(mib "$m_bjoin")"
printf '%-44s %8s %10s %12s\n' "" "" "$(ratio "$t_bjoin" "$t_cp") cp" ""
printf '%-44s %8s %10s %12s\n' "brindle split, 2 GiB-1 in 1 GiB pieces" "$t_bigsplit" "" "$(mib "$m_bigsplit")"
printf '%-44s %8s %10s %12s\n' "brindle join of those 2 pieces" "$t_bigjoin" "" "$(mib "$m_bigjoin")"
