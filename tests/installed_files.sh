#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks that a desktop finds everything there:
# the program, its launcher entry and software centre description (as Debian's validators read
# them), its icon at every size, its shell completions and manual page. Usage: installed_files.sh BUILD_DIR
set -euo pipefail
build=$1
id=dev.assetsmith.Assetsmith
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
prefix=$root/usr
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }
share=$prefix/share
desktop=$share/applications/$id.desktop
metainfo=$share/metainfo/$id.metainfo.xml
[ -x "$prefix/bin/assetsmith" ] || fail "no executable bin/assetsmith"
[ -f "$desktop" ] || fail "no launcher entry $desktop"
[ -f "$metainfo" ] || fail "no metainfo $metainfo"
[ -f "$share/icons/hicolor/scalable/apps/$id.svg" ] || fail "no scalable icon"
for size in 16 32 48 64 128 256 512; do
    png=$share/icons/hicolor/${size}x$size/apps/$id.png
    [ -f "$png" ] || fail "no ${size}x$size icon"
    file -b "$png" | grep -q "^PNG image data, $size x $size, 8-bit/color RGBA" ||
        fail "$png is $(file -b "$png")"
done

desktop-file-validate "$desktop"
appstreamcli validate --no-net "$metainfo" >/dev/null || appstreamcli validate --no-net "$metainfo"

# The entry starts the installed program with the file, under the installed icon.
value() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(value Exec)" = "assetsmith %f" ] || fail "Exec is $(value Exec)"
[ "$(value Icon)" = "$id" ] || fail "Icon is $(value Icon)"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "the metainfo does not launch $id.desktop"
# Every type offered for 'Open with' is one the system knows.
IFS=';' read -ra types <<<"$(value MimeType)"
((${#types[@]} >= 10)) || fail "MimeType lists ${#types[@]} types"
for type in "${types[@]}"; do
    [ -f "/usr/share/mime/$type.xml" ] || fail "MimeType $type is not a known type"
done
# Where bash-completion, zsh, fish and man look for a program's completions and page, and the
# manifest's schema for editors to point at.
for file in bash-completion/completions/assetsmith zsh/vendor-completions/_assetsmith \
    fish/vendor_completions.d/assetsmith.fish man/man1/assetsmith.1.gz \
    assetsmith/assetsmith.schema.json; do
    [ -f "$share/$file" ] || fail "no $file"
done
gzip -t "$share/man/man1/assetsmith.1.gz" || fail "the manual page is no gzip file"
"$prefix/bin/assetsmith" --version >/dev/null || fail "the installed program does not run"
echo "installed files: all present and valid"
