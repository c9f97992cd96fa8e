# Shared by the benchmark scripts; sourced, not run. Sets $root to the source tree.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Sets $brindle to the command in BUILD_DIR (default build-release), building it if missing.
use_brindle() {
  local build=${1:-$root/build-release}
  if [ ! -x "$build/cli/brindle" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" --target brindle
  fi
  brindle=$build/cli/brindle
}

# Sets $build to BUILD_DIR (default build-release), configured without the desktop program
# if it is not yet, with the command and the core's libraries brought up to date in it.
use_core_build() {
  build=$(realpath -m "${1:-$root/build-release}")
  if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLE_BUILD_APP=OFF >/dev/null
  fi
  cmake --build "$build" --target brindle -j 2 >/dev/null
  brindle=$build/cli/brindle
}

# Prints what a benchmark built by hand links for the core: its libraries in $build, each
# folder's before those it uses, and the system's libraries they need.
core_link() {
  local layer
  for layer in split join rename recovery format checks io shell; do
    echo "$build/core/libbrindle_$layer.a"
  done
  echo "$(pkg-config --libs exiv2 libxxhash icu-i18n icu-uc libpcre2-8 taglib) -lcrypto -lz -lgf_complete -pthread"
}

# Sets $work to a new folder named after PREFIX, under BENCH_DIR (default /var/tmp); only
# that folder is removed when the script ends, never BENCH_DIR itself or what it held.
use_work() {
  mkdir -p "${BENCH_DIR:-/var/tmp}"
  work=$(mktemp -d "${BENCH_DIR:-/var/tmp}/$1.XXXXXX")
  trap 'rm -rf "$work"' EXIT
}

# bench_start PREFIX [BUILD_DIR]: use_brindle, then use_work.
bench_start() {
  use_brindle "${2:-}"
  use_work "$1"
}

declare -A times ratios cpuratios peak
last=0
lastcpu=0

# Runs one command after its set-up and a sync; keeps its wall seconds in `last` and in
# times[name], its CPU seconds in `lastcpu`, and its largest peak RSS (KiB) in peak[name].
# BENCH_VERBOSE=1 prints every run.
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
# The order alternates by round, so neither always pays for the other's writeback.
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
# pair_cp NAME ROUND A_NAME A_SETUP A_COMMAND: pair against cp of $work/source.bin.
pair_cp() {
  pair "$1" "$2" "$3" "$4" "$5" cp "rm -f \"$work/copy.bin\"" "cp \"$work/source.bin\" \"$work/copy.bin\""
}
median_of() { printf '%s\n' $1 | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
spread_of() { printf '%s\n' $1 | sort -n | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%s-%s", lo, hi }'; }
mib() { awk -v k="${peak[$1]}" 'BEGIN { printf "%.1f", k / 1024 }'; }

# One line of the table; LABEL_WIDTH sets the first column.
row() { printf "%-${LABEL_WIDTH:-31}s %7s %7s %7s %12s %7s %10s\n" "$@"; }
show() {  # show LABEL PAIR A B
  row "$1" "$(median_of "${times[$3]}")" "$(median_of "${times[$4]}")" \
      "$(median_of "${ratios[$2]}")" "$(spread_of "${ratios[$2]}")" \
      "$(median_of "${cpuratios[$2]}")" "$(mib "$3") / $(mib "$4")"
}
