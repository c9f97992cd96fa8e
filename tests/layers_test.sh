#!/bin/sh
# scripts/check-layers passes the tree as it is, and fails on each kind of fault in a small
# tree made for it: an include upward, one sideways between engines, one of the windows from
# the core or the command, a cycle in the table and a folder with no library.
set -u
check=$1
root=$2
"$check" "$root" || { echo "the source tree breaks its layers"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
tree() {
  rm -rf "$work/t"
  mkdir -p "$work/t/core/base" "$work/t/core/mid" "$work/t/core/one" "$work/t/core/two" \
           "$work/t/cli" "$work/t/app/shell"
  printf '%s\n' 'brindle_core_library(base)' 'brindle_core_library(mid base)' \
    'brindle_core_library(one mid)' 'brindle_core_library(two mid)' > "$work/t/core/CMakeLists.txt"
  for f in base/b mid/m one/o two/w; do echo '#pragma once' > "$work/t/core/$f.h"; done
  printf '#include "mid/m.h"\n#include "base/b.h"\n#include "o.h"\n#include <vector>\n' > "$work/t/core/one/o.cpp"
  printf '#include "one/o.h"\n#include "shell/window.h"\n' > "$work/t/cli/c.cpp"
  echo '#pragma once' > "$work/t/app/shell/window.h"
  echo '#include "cli.h"' > "$work/t/cli/cli.h"
}
expect() {  # what: the tree passes (0) or fails (1) with a line naming $3
  "$check" "$work/t" > "$work/out" 2>&1
  got=$?
  if [ "$got" -ne "$2" ] || ! grep -q -- "$3" "$work/out"; then
    echo "FAILED: $1 (exit $got):"; cat "$work/out"; status=1
  fi
}

tree
sed -i '/shell\/window.h/d' "$work/t/cli/c.cpp"
"$check" "$work/t" || { echo "FAILED: a sound tree"; status=1; }

tree
echo '#include "one/o.h"' >> "$work/t/core/base/b.h"
expect "an include upward" 1 'core/base/b.h:2: "one/o.h": core/base may not use core/one'

tree
echo '#include "two/w.h"' >> "$work/t/core/one/o.cpp"
expect "an include between engines" 1 'core/one/o.cpp:5: "two/w.h": core/one may not use core/two'

tree
expect "the command including the windows" 1 'cli/c.cpp:2: "shell/window.h": the command may not use the windows'

tree
sed -i '/shell\/window.h/d' "$work/t/cli/c.cpp"
echo '#include "shell/window.h"' >> "$work/t/core/mid/m.h"
expect "the core including the windows" 1 'core/mid/m.h:2: "shell/window.h" is no header of the core'

tree
sed -i '/shell\/window.h/d' "$work/t/cli/c.cpp"
sed -i 's/^brindle_core_library(base)$/brindle_core_library(base one)/' "$work/t/core/CMakeLists.txt"
expect "a cycle in the table" 1 'a cycle of layers: .*base -> one -> mid -> base\|a cycle of layers: .*one -> mid -> base -> one\|a cycle of layers: .*mid -> base -> one -> mid'

tree
sed -i '/shell\/window.h/d' "$work/t/cli/c.cpp"
mkdir "$work/t/core/stray"
expect "a folder with no library" 1 'core/stray has no brindle_core_library line'

exit $status
