#!/usr/bin/env bash
# cmake --install into a scratch prefix: every file a desktop looks for is where it looks, the
# icons have the size their folder names, and the launcher entry and metadata validate.
set -euo pipefail
build=$1
sources=$2
source "$(dirname "$0")/lib.sh"

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >"$prefix/install.log" || {
    cat "$prefix/install.log"
    fail "cmake --install"
}

entry=$prefix/share/applications/marrowlark.desktop
metainfo=$prefix/share/metainfo/io.github.marrowlark.Marrowlark.metainfo.xml
for file in "$entry" "$metainfo" "$prefix/share/man/man1/marrowlark.1.gz" \
    "$prefix/share/doc/marrowlark/copyright" "$prefix/share/doc/marrowlark/changelog.gz" \
    "$prefix/share/icons/hicolor/scalable/apps/marrowlark.svg"; do
    [ -f "$file" ] || fail "not installed: ${file#"$prefix"/}"
done
[ -x "$prefix/bin/marrowlark" ] || fail "no executable bin/marrowlark"

for size in 256 128 64 48 32 16; do
    icon=$prefix/share/icons/hicolor/${size}x${size}/apps/marrowlark.png
    [ -f "$icon" ] || fail "no ${size}x${size} icon"
    [ "$(identify -format '%w %h %m' "$icon")" = "$size $size PNG" ] ||
        fail "${size}x${size} icon is $(identify -format '%w x %h %m' "$icon")"
done

# The program takes no argument and opens no file type: no field code, no MimeType.
key() { sed -n "s/^$1=//p" "$entry"; }
[ "$(key Name)" = Marrowlark ] || fail "Name=$(key Name)"
[ "$(key Exec)" = marrowlark ] || fail "Exec=$(key Exec)"
[ "$(key Icon)" = marrowlark ] || fail "Icon=$(key Icon)"
[ "$(key Categories)" = 'AudioVideo;Player;' ] || fail "Categories=$(key Categories)"
grep -q '^MimeType' "$entry" && fail "the entry claims file types"
grep -q '<release version="1.00"' "$metainfo" || fail "no release 1.00 in the metadata"
zcat "$prefix/share/man/man1/marrowlark.1.gz" | grep -q '^\.TH MARROWLARK 1' || fail "manual page"

desktop-file-validate "$entry" || fail "desktop-file-validate"
desktop-file-validate "$sources/marrowlark.desktop" || fail "desktop-file-validate of the source"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
# The tree as a whole: the metadata's launchable entry and icon are found beside it.
appstreamcli validate-tree --no-net "$prefix" || fail "appstreamcli validate-tree"
echo PASS
