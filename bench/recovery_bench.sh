#!/usr/bin/env bash
# Recovery data against the par2 tool on the same bytes. For each size: a file split into 20
# pieces, 10% recovery data, par2 given the block size brindle chose (-s), so both do the
# same Reed-Solomon work.
#   split: `brindle split --recovery 10` against the plain split, and the time it adds
#          against `par2 create -s<block> -r10` over the pieces; the goal is at most 1/5.
#   join:  `brindle join` with one of the 20 pieces lost (rebuilt from the recovery files)
#          against the plain join of all 20; the goal is at most 2.
# Rounds alternate their order and start after a sync; medians of the per-round ratios.
#   bench/recovery_bench.sh [BUILD_DIR]   SIZES_MB (default "128 1024"), ROUNDS (default 5),
#   BENCH_DIR (default /dev/shm when it has room, else /var/tmp), STEPS (default
#   "split join"), BEFORE (another build's brindle: its rebuilding join paired with this one's)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
use_brindle "${1:-}"
command -v par2 >/dev/null || { echo "par2 is not installed (scripts/deps test)"; exit 77; }
if [ -z "${BENCH_DIR:-}" ] && [ "$(df --output=avail -k /dev/shm | tail -n 1)" -gt $((4 << 20)) ]; then
  BENCH_DIR=/dev/shm
fi
use_work brindle-recovery
rounds=${ROUNDS:-5}

echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg) at the start; folder $work ($(df --output=fstype "$work" | tail -n 1))"
for size_mb in ${SIZES_MB:-128 1024}; do
  dir=$work/$size_mb
  mkdir -p "$dir"
  head -c "$((size_mb << 20))" /dev/urandom >"$dir/src.bin"
  bytes=$((size_mb << 20))
  # The block rule: 8 blocks to the largest piece file (header included), whole words.
  piece=$(( (bytes + 19) / 20 + 256 ))
  block=$(( ((piece + 7) / 8 + 3) / 4 * 4 ))
  clean="rm -f $dir/src\\(*.qmf* $dir/*.par2"
  plain=(); recov=(); tool=(); added=()
  splits=$([[ " ${STEPS:-split join} " == *" split "* ]] && echo "$rounds" || echo 0)
  for ((r = 0; r < splits; r++)); do
    # Rotate the three, so none always follows the same one.
    for step in $(printf '%s\n' plain recov tool | awk -v r="$r" '{ v[NR] = $1 } END { for (i = 0; i < 3; i++) print v[(i + r) % 3 + 1] }'); do
      case $step in
        plain) timed split_plain "$clean" "$brindle" split "$dir/src.bin" --pieces 20; plain+=("$last") ;;
        recov) timed split_recovery "$clean" "$brindle" split "$dir/src.bin" --pieces 20 --recovery 10; recov+=("$last") ;;
        tool)
          timed par2_create "$clean; $brindle split $dir/src.bin --pieces 20 >/dev/null" \
            sh -c "cd '$dir' && par2 create -q -s$block -r10 tool.par2 src\\(*"
          tool+=("$last") ;;
      esac
    done
    added+=("$(awk -v a="${recov[r]}" -v b="${plain[r]}" -v t="${tool[r]}" 'BEGIN { printf "%.3f", (a - b) / t }')")
  done
  eval "$clean"
  "$brindle" split "$dir/src.bin" --pieces 20 --recovery 10 >/dev/null 2>&1
  rm "$dir/src.bin"
  lost="$dir/src(7).qmf007"
  for ((r = 0; r < rounds; r++)); do
    pair join "$r" \
      join_rebuilding "rm -f $dir/out.bin; mv '$lost' $dir/aside" "$brindle join '$dir/src(1).qmf' --out $dir/out.bin; mv $dir/aside '$lost'" \
      join_plain "rm -f $dir/out.bin" "$brindle join '$dir/src(1).qmf' --out $dir/out.bin"
    if [ -n "${BEFORE:-}" ]; then
      pair before "$r" \
        join_rebuilding "rm -f $dir/out.bin; mv '$lost' $dir/aside" "$brindle join '$dir/src(1).qmf' --out $dir/out.bin; mv $dir/aside '$lost'" \
        join_before "rm -f $dir/out.bin; mv '$lost' $dir/aside" "$BEFORE join '$dir/src(1).qmf' --out $dir/out.bin; mv $dir/aside '$lost'"
    fi
  done
  cmp -s "$dir/out.bin" <(cat "$dir"/src\(*) 2>/dev/null || true
  echo
  echo "$size_mb MiB, 20 pieces, 10% recovery, block $block bytes, $rounds rounds (medians, seconds):"
  if [ "$splits" -gt 0 ]; then
    echo "  split plain $(median_of "${plain[*]}"), split --recovery 10 $(median_of "${recov[*]}"), par2 create $(median_of "${tool[*]}")"
    echo "  time added by --recovery / par2 create: median $(median_of "${added[*]}") (spread $(spread_of "${added[*]}")); goal <= 0.2"
  fi
  echo "  join plain $(median_of "${times[join_plain]}"), join rebuilding 1 of 20 $(median_of "${times[join_rebuilding]}")"
  echo "  join rebuilding / join plain: median $(median_of "${ratios[join]}") (spread $(spread_of "${ratios[join]}")), cpu $(median_of "${cpuratios[join]}"); goal <= 2"
  if [ -n "${BEFORE:-}" ]; then
    echo "  join rebuilding before $(median_of "${times[join_before]}"); now / before: median $(median_of "${ratios[before]}") (spread $(spread_of "${ratios[before]}")), cpu $(median_of "${cpuratios[before]}"); peak before $(mib join_before) MiB"
  fi
  if [ "$splits" -gt 0 ]; then
    echo "  peak memory: split --recovery $(mib split_recovery) MiB, par2 create $(mib par2_create) MiB"
  fi
  echo "  peak memory: join plain $(mib join_plain) MiB, join rebuilding $(mib join_rebuilding) MiB"
  unset 'times[join_plain]' 'times[join_rebuilding]' 'ratios[join]' 'cpuratios[join]' 'peak[split_recovery]' 'peak[par2_create]' 'peak[join_rebuilding]' 'peak[join_plain]'
  unset 'times[join_before]' 'ratios[before]' 'cpuratios[before]' 'peak[join_before]'
  rm -rf "$dir"
done
echo "load at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
