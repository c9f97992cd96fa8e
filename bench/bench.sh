#!/usr/bin/env bash
# Times brindle's split and join against GNU split, cat and cp on the same bytes.
#   bench/bench.sh [BUILD_DIR]     (default: build-release, built if missing)
# Each pair of commands runs RUNS rounds (default 9) and alternates which one goes first,
# so neither always pays for the other's writeback; every timed run starts after a `sync`.
# Printed per pair: the median times, the median of the per-round ratios (brindle / tool;
# at most 1.0 is the goal), their spread, the same ratio for CPU time (user + system, which a
# busy shared machine disturbs far less than wall time), and peak memory. BENCH_DIR the folder
# to work under (default /var/tmp); it needs about 14 GiB. BENCH_ONLY=checksums
# times only what checksums cost (split --checksums, checked join, verify against
# `sha256sum -c`) on the 1 GiB file; RUNS=5 gives the figures in docs/developers.md.
# BENCH_ONLY=datacheck times what the hash in every header costs: this build's split and join
# against those of an earlier build that writes and checks none (BASE_BRINDLE, default
# /tmp/brindle-base), and verify against `xxhsum -H2` (Debian's xxhash) of the same pieces.
# BENCH_ONLY=joins times only the joins against `cat` of split's pieces, into a file and
# into standard output. BENCH_VERBOSE=1 prints every timed run, to see which rounds a busy
# machine disturbed.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_start brindle-bench "${1:-}"
runs=${RUNS:-9}
only=${BENCH_ONLY:-}

echo "Making 1 GiB of random bytes in $work ..."
head -c 1073741824 /dev/urandom > "$work/source.bin"

if [ "$only" = datacheck ]; then
  base=${BASE_BRINDLE:-/tmp/brindle-base}
  [ -x "$base" ] || { echo "no earlier build at $base (set BASE_BRINDLE)" >&2; exit 2; }
  command -v xxhsum >/dev/null || { echo "xxhsum is missing: apt-get install xxhash" >&2; exit 2; }
  w=$work
  mkdir -p "$w/new" "$w/old" "$w/jnew" "$w/jold"
  "$brindle" split "$w/source.bin" --size 100 --unit MB --dest "$w/jnew" >/dev/null
  "$base" split "$w/source.bin" --size 100 --unit MB --dest "$w/jold" >/dev/null
  for round in $(seq "$runs"); do
    echo "round $round of $runs"
    pair split-dc "$round" nsplit "rm -f \"$w\"/new/*" \
                  "\"$brindle\" split \"$w/source.bin\" --size 100 --unit MB --dest \"$w/new\"" \
                  osplit "rm -f \"$w\"/old/*" \
                  "\"$base\" split \"$w/source.bin\" --size 100 --unit MB --dest \"$w/old\""
    pair join-dc "$round" njoin "rm -f \"$w/new.bin\"" \
                 "\"$brindle\" join \"$w/jnew/source(1).qmf\" --out \"$w/new.bin\"" \
                 ojoin "rm -f \"$w/old.bin\"" \
                 "\"$base\" join \"$w/jold/source(1).qmf\" --out \"$w/old.bin\""
    pair verify-dc "$round" nverify : "\"$brindle\" verify \"$w/jnew/source(1).qmf\"" \
                   xxhsum : "xxhsum -H2 \"$w\"/jnew/source* 2>/dev/null"
  done
  cmp -s "$w/source.bin" "$w/new.bin" || { echo "JOIN OUTPUT DIFFERS"; exit 1; }
  printf '\n1 GiB of random bytes, 100 MB pieces, %s rounds per pair; seconds (medians)\n' "$runs"
  LABEL_WIDTH=35 row "pair" new tool ratio "ratio range" "cpu" "peak MiB"
  LABEL_WIDTH=35 show "split with the hash vs split before" split-dc nsplit osplit
  LABEL_WIDTH=35 show "join checking it vs join before" join-dc njoin ojoin
  LABEL_WIDTH=35 show "verify vs xxhsum -H2" verify-dc nverify xxhsum
  for p in "split-dc nsplit osplit" "join-dc njoin ojoin" "verify-dc nverify xxhsum"; do
    set -- $p
    printf '%-35s %s\n' "$1 (median / median)" \
      "$(ratio "$(median_of "${times[$2]}")" "$(median_of "${times[$3]}")")"
  done
  exit 0
fi
mkdir -p "$work/b" "$work/g" "$work/jb" "$work/jg"
split -b 104857600 "$work/source.bin" "$work/jg/x"
"$brindle" split "$work/source.bin" --size 100 --unit MB --dest "$work/jb" >/dev/null

mkdir -p "$work/c" "$work/jc"
"$brindle" split "$work/source.bin" --size 100 --unit MB --dest "$work/jc" --checksums >/dev/null

w=$work
bsplit="\"$brindle\" split \"$w/source.bin\" --size 100 --unit MB --dest \"$w/b\""
csplit="\"$brindle\" split \"$w/source.bin\" --size 100 --unit MB --dest \"$w/c\" --checksums"
bjoin="\"$brindle\" join \"$w/jb/source(1).qmf\" --out \"$w/join.bin\""
for round in $(seq "$runs"); do
  echo "round $round of $runs"
  if [ "$only" != checksums ]; then
  [ "$only" = joins ] || pair split "$round" bsplit "rm -f \"$w\"/b/*" "$bsplit" \
                      gsplit "rm -f \"$w\"/g/*" "split -b 104857600 \"$w/source.bin\" \"$w/g/x\""
  pair join-cat "$round" bjoin "rm -f \"$w/join.bin\"" "$bjoin" \
                         cat "rm -f \"$w/cat.bin\"" "cat \"$w\"/jg/x* > \"$w/cat.bin\""
  [ "$only" = joins ] || pair_cp join-cp "$round" bjoin "rm -f \"$w/join.bin\"" "$bjoin"
  # Into standard output, each piece checked before its first byte goes out.
  pair join-stdout "$round" sjoin "rm -f \"$w/stdout.bin\"" \
                            "\"$brindle\" join \"$w/jb/source(1).qmf\" --out - > \"$w/stdout.bin\"" \
                            cat "rm -f \"$w/cat.bin\"" "cat \"$w\"/jg/x* > \"$w/cat.bin\""
  [ "$only" = joins ] && continue
  pair_cp split-cp "$round" bsplit "rm -f \"$w\"/b/*" "$bsplit"
  fi
  # What checksums cost: the same split and join with and without the .sha256 file, and a
  # verify of the group against sha256sum checking its checksum file.
  pair split-sums "$round" csplit "rm -f \"$w\"/c/*" "$csplit" \
                           bsplit "rm -f \"$w\"/b/*" "$bsplit"
  pair join-sums "$round" cjoin "rm -f \"$w/joinc.bin\"" \
                          "\"$brindle\" join \"$w/jc/source(1).qmf\" --out \"$w/joinc.bin\"" \
                          bjoin "rm -f \"$w/join.bin\"" "$bjoin"
  pair verify-sums "$round" bverify : "\"$brindle\" verify \"$w/jc/source(1).qmf\"" \
                            sha256sum : "cd \"$w/jc\" && sha256sum -c --quiet source.sha256"
done
[ "$only" = joins ] || cmp -s "$work/source.bin" "$work/joinc.bin" || { echo "CHECKED JOIN OUTPUT DIFFERS"; exit 1; }
cmp -s "$work/source.bin" "$work/join.bin" || { echo "JOIN OUTPUT DIFFERS"; exit 1; }
[ "$only" = checksums ] || cmp -s "$work/source.bin" "$work/stdout.bin" || { echo "STDOUT JOIN OUTPUT DIFFERS"; exit 1; }
rm -rf "$work/g" "$work/b" "$work/c" "$work/jg" "$work/jb" "$work/jc" "$work/copy.bin" "$work/cat.bin" \
       "$work/join.bin" "$work/joinc.bin" "$work/stdout.bin"

if [ "$only" = joins ]; then
  printf '\n1 GiB of random bytes, %s rounds per pair; seconds (medians), ratio brindle / tool\n' "$runs"
  row "pair" brindle tool ratio "ratio range" "cpu" "peak MiB"
  show "join vs cat of split's pieces" join-cat bjoin cat
  show "join --out - vs cat (goal 1.3)" join-stdout sjoin cat
  exit 0
fi
if [ "$only" != checksums ]; then
echo "Making a file of 2 GiB - 1 byte for 1 GiB pieces ..."
head -c 2147483647 <(cat "$work/source.bin" "$work/source.bin") > "$work/big.bin"
rm -f "$work/source.bin"
mkdir -p "$work/big"
timed bigsplit 'rm -f "$work"/big/*' "$brindle" split "$work/big.bin" --size 1 --unit GB --dest "$work/big"
timed bigjoin 'rm -f "$work/big.out"' "$brindle" join "$work/big/big(1).qmf" --out "$work/big.out"
cmp -s "$work/big.bin" "$work/big.out" || { echo "BIG JOIN OUTPUT DIFFERS"; exit 1; }
rm -rf "$work/big" "$work/big.out"

# Beyond 2 GiB: 4 GiB in 1 GiB pieces, paired with GNU split and cat (RUNS_LARGE rounds).
echo "Making 4 GiB ..."
head -c 4294967296 <(cat "$work/big.bin" "$work/big.bin" "$work/big.bin") > "$work/huge.bin"
rm -f "$work/big.bin"
mkdir -p "$work/hb" "$work/hg"
hsplit="\"$brindle\" split \"$w/huge.bin\" --size 1 --unit GB --dest \"$w/hb\""
for round in $(seq "${RUNS_LARGE:-3}"); do
  echo "4 GiB round $round"
  pair huge-split "$round" hbsplit "rm -f \"$w\"/hb/*" "$hsplit" \
                           hgsplit "rm -f \"$w\"/hg/*" "split -b 1073741824 \"$w/huge.bin\" \"$w/hg/x\""
  pair huge-join "$round" hbjoin "rm -f \"$w/huge.out\"" \
                          "\"$brindle\" join \"$w/hb/huge(1).qmf\" --out \"$w/huge.out\"" \
                          hcat "rm -f \"$w/huge.cat\"" "cat \"$w\"/hg/x* > \"$w/huge.cat\""
done
cmp -s "$work/huge.bin" "$work/huge.out" || { echo "4 GIB JOIN OUTPUT DIFFERS"; exit 1; }
rm -rf "$work/hb" "$work/hg" "$work/huge.out" "$work/huge.cat" "$work/huge.bin"
fi

printf '\n1 GiB of random bytes, %s rounds per pair; seconds (medians), ratio brindle / tool\n' "$runs"
row "pair" brindle tool ratio "ratio range" "cpu" "peak MiB"
if [ "$only" != checksums ]; then
  show "split vs split -b 104857600" split bsplit gsplit
  show "split vs cp of the source" split-cp bsplit cp
  show "join vs cat of split's pieces" join-cat bjoin cat
  show "join --out - vs cat (goal 1.3)" join-stdout sjoin cat
  show "join vs cp of the source" join-cp bjoin cp
fi
show "split --checksums vs split" split-sums csplit bsplit
show "join checking .sha256 vs join" join-sums cjoin bjoin
show "verify vs sha256sum -c" verify-sums bverify sha256sum
# The ratio of the median times, beside the median of the per-round ratios above.
for p in "split-sums csplit bsplit" "join-sums cjoin bjoin" "verify-sums bverify sha256sum"; do
  set -- $p
  printf '%-31s %s\n' "$1 (median / median)" \
    "$(ratio "$(median_of "${times[$2]}")" "$(median_of "${times[$3]}")")"
done
[ "$only" = checksums ] && exit 0
printf '\n2 GiB - 1 byte in 1 GiB pieces, one run each\n'
row "brindle split" "${times[bigsplit]# }" "" "" "" "" "$(mib bigsplit)"
row "brindle join of those 2 pieces" "${times[bigjoin]# }" "" "" "" "" "$(mib bigjoin)"
printf '\n4 GiB in 1 GiB pieces, %s rounds per pair\n' "${RUNS_LARGE:-3}"
row "pair" brindle tool ratio "ratio range" "cpu" "peak MiB"
show "split vs split -b 1073741824" huge-split hbsplit hgsplit
show "join vs cat of split's pieces" huge-join hbjoin hcat
