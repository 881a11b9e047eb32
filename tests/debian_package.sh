#!/usr/bin/env bash
# Builds the Debian package from a build folder and checks what dpkg would install from it.
# Usage: debian_package.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
id=dev.assetsmith.Assetsmith
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" ||
    { cat "$out/cpack.log"; exit 1; }

fail() { echo "FAIL: $*" >&2; exit 1; }
debs=("$out"/*.deb)
((${#debs[@]} == 1)) && [ -f "${debs[0]}" ] || fail "cpack made ${debs[*]}"
deb=${debs[0]}
version=$("$build/bin/assetsmith" --version | grep -o '[0-9][0-9.]*' | head -n1)
[ "$(basename "$deb")" = "assetsmith_${version}_$(dpkg --print-architecture).deb" ] ||
    fail "package file $(basename "$deb")"
[ "$(dpkg-deb --field "$deb" Package)" = assetsmith ] || fail "package name"
[ "$(dpkg-deb --field "$deb" Version)" = "$version" ] || fail "version $(dpkg-deb --field "$deb" Version)"
[ "$(dpkg-deb --field "$deb" Section)" = graphics ] || fail "section"
depends=$(dpkg-deb --field "$deb" Depends)
for package in libqt6core6 libqt6gui6 libqt6widgets6 librsvg2-2 qt6-image-formats-plugins zlib1g \
    libpng16-16 libjpeg62-turbo libtiff6; do
    [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
done

dpkg-deb --contents "$deb" | awk '{print $6}' | grep -v '/$' | sort >"$out/files"
cat >"$out/expected" <<LIST
./usr/bin/assetsmith
./usr/share/applications/$id.desktop
./usr/share/assetsmith/assetsmith.schema.json
./usr/share/bash-completion/completions/assetsmith
./usr/share/fish/vendor_completions.d/assetsmith.fish
./usr/share/doc/assetsmith/copyright
./usr/share/icons/hicolor/128x128/apps/$id.png
./usr/share/icons/hicolor/16x16/apps/$id.png
./usr/share/icons/hicolor/256x256/apps/$id.png
./usr/share/icons/hicolor/32x32/apps/$id.png
./usr/share/icons/hicolor/48x48/apps/$id.png
./usr/share/icons/hicolor/512x512/apps/$id.png
./usr/share/icons/hicolor/64x64/apps/$id.png
./usr/share/icons/hicolor/scalable/apps/$id.svg
./usr/share/man/man1/assetsmith.1.gz
./usr/share/metainfo/$id.metainfo.xml
./usr/share/zsh/vendor-completions/_assetsmith
LIST
sort -o "$out/expected" "$out/expected"
diff -u "$out/expected" "$out/files" || fail "the package holds other files than expected"

# The manual page as man shows it from the package: no formatter warnings, options as typed.
dpkg-deb -x "$deb" "$out/root"
usr=$out/root/usr
MANWIDTH=80 man --warnings -l "$usr/share/man/man1/assetsmith.1.gz" >"$out/page" 2>"$out/warnings"
[ ! -s "$out/warnings" ] || fail "the manual page warns: $(cat "$out/warnings")"
for text in NAME SYNOPSIS DESCRIPTION COMMANDS OPTIONS "EXIT STATUS" FILES EXAMPLES \
    "assetsmith ios SOURCE" "--single-size" "--background COLOR" "assetsmith.json"; do
    grep -qF -- "$text" "$out/page" || fail "the manual page lacks “$text”"
done
# The package's bash completion, as bash-completion loads it: by the command's name.
completes() {
    bash --norc -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
        _assetsmith; echo "${COMPREPLY[*]}"' _ "$usr/share/bash-completion/completions/assetsmith" "$@"
}
[ "$(completes assetsmith mac --st)" = --style ] || fail "mac --st completes to $(completes assetsmith mac --st)"
[ "$(completes assetsmith ios --si)" = --single-size ] || fail "ios --si completes to $(completes assetsmith ios --si)"
[ "$(completes assetsmith check --format g)" = github ] || fail "--format g completes to $(completes assetsmith check --format g)"
echo "package $(basename "$deb"): Depends: $depends"
