#!/usr/bin/env bash
# Interface time of the rename list with many files: adding a folder, applying a rule to
# every checked row and renaming them (bench/rename/windows_bench.cpp), offscreen.
#   bench/rename_windows_bench.sh [BUILD_DIR]   (default: build-release)
# FILES sets the number of files (default 10000), ROUNDS the rounds (default 7).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build-release}")
cmake --build "$build" --target brindle_app -j 2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
g++ -O2 -std=c++20 -fPIC -I"$root/app" -I"$root/core" -I"$root/bench" -DBRINDLE_VERSION='"bench"' \
  "$root/bench/rename/windows_bench.cpp" "$build/app/libbrindle_app.a" \
  $(for layer in split join rename recovery format checks io shell; do echo "$build/core/libbrindle_$layer.a"; done) \
  $(pkg-config --cflags --libs Qt6Widgets Qt6Svg Qt6Network Qt6Concurrent exiv2 libxxhash) -lcrypto -lz -lgf_complete -pthread \
  -o "$work/windows_bench"
QT_QPA_PLATFORM=offscreen "$work/windows_bench" "${FILES:-10000}" "${ROUNDS:-7}"
