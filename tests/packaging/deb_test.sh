#!/usr/bin/env bash
# Builds the Debian package from a finished build folder and checks what it would install
# and what it needs. Exit 77 (skipped) where cpack or dpkg-deb is missing, and where a tool
# that one check needs is missing, after every other check has passed; each check that could
# not run prints "SKIPPED: " and its reason. `scripts/deps test` installs them all.
#   deb_test.sh BUILD_DIR
set -euo pipefail
build=$1
command -v cpack >/dev/null && command -v dpkg-deb >/dev/null ||
  { echo "SKIPPED: the Debian package: cpack or dpkg-deb is not installed"; exit 77; }
skipped=0
skip() { echo "SKIPPED: $1: $2 is not installed"; skipped=1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
debs=("$work"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "one .deb expected, got: ${debs[*]}"
deb=${debs[0]}
dpkg-deb --info "$deb" >/dev/null || fail "dpkg-deb cannot read $deb"

files=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./|/|' | grep -v '/$')
expected=(
  /usr/bin/brindle
  /usr/bin/tarnwick-brindle
  /usr/share/applications/tarnwick-brindle.desktop
  /usr/share/mime/packages/tarnwick-brindle.xml
  /usr/share/icons/hicolor/scalable/apps/tarnwick-brindle.svg
  /usr/share/icons/hicolor/scalable/mimetypes/application-x-tarnwick-brindle-piece.svg
  /usr/share/metainfo/com.tarnwick.brindle.metainfo.xml
  /usr/share/man/man1/brindle.1.gz
  /usr/share/man/man1/tarnwick-brindle.1.gz
  /usr/share/bash-completion/completions/brindle
  /usr/share/bash-completion/completions/tarnwick-brindle
  /usr/share/doc/tarnwick-brindle/changelog.Debian.gz
  /usr/share/doc/tarnwick-brindle/copyright
  /usr/share/lintian/overrides/tarnwick-brindle
)
sizes=(16 24 32 48 64 128 256)
for size in "${sizes[@]}"; do
  expected+=(/usr/share/icons/hicolor/${size}x${size}/apps/tarnwick-brindle.png
             /usr/share/icons/hicolor/${size}x${size}/mimetypes/application-x-tarnwick-brindle-piece.png)
done
menus=(/usr/share/kio/servicemenus/tarnwick-brindle-{split,merge,rename}.desktop)
expected+=("${menus[@]}" /usr/share/nemo/actions/tarnwick-brindle-{split,merge,rename}.nemo_action)
expected+=(/usr/share/locale/{de,fr,es}/LC_MESSAGES/tarnwick-brindle.mo)
for f in "${expected[@]}"; do
  grep -qxF "$f" <<<"$files" || fail "$f is not in the package"
done
# The tests' pseudo-translation stays in the build tree.
if grep -E '/qaa[/_.]|_qaa\.qm' <<<"$files"; then fail "the pseudo-translation is in the package"; fi
# Everything under /usr, and no cache that a shared Debian package owns.
if grep -v '^/usr/' <<<"$files"; then fail "files outside /usr"; fi
if grep -E '/mime/[^/]*$|mimeinfo.cache|icon-theme.cache' <<<"$files"; then
  fail "desktop caches in the package"
fi

depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
names=$(tr ',' '\n' <<<"$depends" | awk '{ print $1 }')
for p in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 qt6-qpa-plugins; do
  grep -qxF "$p" <<<"$names" || fail "Depends lacks $p"
done
[ "$(dpkg-deb --field "$deb" Package)" = tarnwick-brindle ] || fail "package name"

# The shipped texts themselves: AppStream, desktop entry and man pages read cleanly.
dpkg-deb -x "$deb" "$work/root"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$work/root/usr/share/metainfo/com.tarnwick.brindle.metainfo.xml" ||
    fail "AppStream record"
else
  skip "the AppStream record check" appstreamcli
fi
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$work/root/usr/share/applications/tarnwick-brindle.desktop" || fail "desktop entry"
  for menu in "${menus[@]}"; do
    desktop-file-validate "$work/root$menu" || fail "service menu $menu"
  done
else
  skip "the desktop entry and service menu checks" desktop-file-validate
fi
if command -v man >/dev/null; then
  for page in brindle tarnwick-brindle; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=w -l "$work/root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man page $page: $warnings"
  done
else
  skip "the man page check" man
fi
"$work/root/usr/bin/brindle" --version | grep -q "^brindle " || fail "the packaged brindle does not run"
"$work/root/usr/bin/tarnwick-brindle" --version | grep -qx "tarnwick-brindle [0-9.]*" ||
  fail "the packaged tarnwick-brindle does not answer --version"
# The maintainer scripts write the installation record on configure, naming the installed
# folder, and take it away on purge; run here on a stand-in for /etc.
dpkg-deb -e "$deb" "$work/control"
etc="$work/etc"
record="$etc/xdg/Tarnwick/Tarnwick Brindle.conf"
for script in postinst postrm; do
  [ -x "$work/control/$script" ] || fail "no $script"
  sed "s|/etc/|$etc/|g" "$work/control/$script" >"$work/$script"
done
mkdir -p "$(dirname "$record")"
printf '[General]\nPATH=/usr/local/bin\n' >"$record"  # left by an install elsewhere
sh -e "$work/postinst" configure
version=$("$work/root/usr/bin/tarnwick-brindle" --version | awk '{ print $2 }')
printf '[General]\nNAME=Tarnwick Brindle\nVERSION=%s\nPATH=/usr/bin\n' "$version" | cmp -s - "$record" ||
  fail "the installation record: $(cat "$record")"
sh -e "$work/postrm" remove
[ -f "$record" ] || fail "remove took the installation record away"
sh -e "$work/postrm" purge
[ ! -e "$etc/xdg/Tarnwick" ] || fail "purge left $(ls -A "$etc/xdg/Tarnwick")"

# Each PNG icon is drawn at the size its folder names.
if command -v file >/dev/null; then
  for png in $(grep '\.png$' <<<"$files"); do
    size=$(sed -E 's|.*/([0-9]+)x[0-9]+/.*|\1|' <<<"$png")
    file -b "$work/root$png" | grep -q "^PNG image data, $size x $size, 8-bit/color RGBA" ||
      fail "$png: $(file -b "$work/root$png")"
  done
else
  skip "the icon size check" file
fi
if command -v readelf >/dev/null; then
  for program in brindle tarnwick-brindle; do
    if readelf -S "$work/root/usr/bin/$program" | grep -qF ' .comment'; then
      fail "$program keeps its .comment section"
    fi
  done
else
  skip "the .comment check" readelf
fi

# Debian's own checks: no error and no warning (the informational tags, hardening among them,
# are shown and must be gone too).
if command -v lintian >/dev/null; then
  tags=$(lintian --info --display-info --suppress-tags-from-file /dev/null "$deb" 2>&1 || true)
  echo "$tags"
  if grep -E '^[EWI]: ' <<<"$tags"; then fail "lintian"; fi
else
  skip "the lintian check" lintian
fi
echo "ok: $deb"
[ "$skipped" = 0 ] || exit 77
