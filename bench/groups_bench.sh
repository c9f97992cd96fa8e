#!/usr/bin/env bash
# Times `brindle groups` on a folder of many one-piece numbered groups beside one large .sfv,
# the listing the join wizard makes too: each checksum file is read once per listing, not
# once per group.
#   bench/groups_bench.sh [BUILD_DIR]     (default: build-release, built if missing)
# GROUP_COUNT (default 1000) groups g0000.bin.001, ... and a 4 MiB `all.sfv` that lists each of
# them among lines for other files; RUNS (default 9) timed runs, median shown, with the
# same listing without the .sfv. BENCH_DIR the folder to work under; BENCH_VERBOSE=1 prints
# every run.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_start brindle-groups "${1:-}"
runs=${RUNS:-9}
groups=${GROUP_COUNT:-1000}

mkdir -p "$work/with" "$work/without"
python3 - "$work/with" "$groups" <<'PY'
import os, sys, zlib
folder, count = sys.argv[1], int(sys.argv[2])
lines = []
for i in range(count):
    name = "g%04d.bin.001" % i
    data = (name * 8).encode()
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)
    lines.append("%s %08X\n" % (name, zlib.crc32(data)))
size = sum(len(l) for l in lines)
n = 0
while True:  # other files' lines up to 4 MiB, as one list for a whole collection has
    line = "collection/other-file-%07d.part %08X\n" % (n, zlib.crc32(str(n).encode()))
    if size + len(line) > 4 << 20:
        break
    lines.append(line)
    size += len(line)
    n += 1
with open(os.path.join(folder, "all.sfv"), "w") as f:
    f.writelines(lines)
PY
cp "$work"/with/*.001 "$work/without/"
listed=$("$brindle" groups "$work/with" | grep -c "1 piece$")
[ "$listed" -eq "$groups" ] || { echo "groups listed $listed of $groups"; exit 1; }

for round in $(seq "$runs"); do
  timed with "" "$brindle" groups "$work/with"
  timed without "" "$brindle" groups "$work/without"
done
printf '\n%s one-piece numbered groups, %s runs each; seconds (median, range), peak MiB\n' "$groups" "$runs"
printf '%-40s %7s %12s %8s\n' "beside a $(du -k "$work/with/all.sfv" | cut -f1) KiB .sfv" \
  "$(median_of "${times[with]}")" "$(spread_of "${times[with]}")" "$(mib with)"
printf '%-40s %7s %12s %8s\n' "without it" \
  "$(median_of "${times[without]}")" "$(spread_of "${times[without]}")" "$(mib without)"
