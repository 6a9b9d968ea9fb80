#!/usr/bin/env bash
# A staged `cmake --install` (DESTDIR) of this build with the default prefix: every file of an
# installation in its place and nothing else, the menu entry and the AppStream data accepted by
# their validators, the manual page read by man without a warning, each icon of the size its folder
# names, the default sound as shipped, and the program answering its command line without a
# display.
# Run as: install-staged.sh <build folder> <source folder> <version>
set -euo pipefail

build=$1 source=$2 version=$3
stage=$(mktemp -d "${TMPDIR:-/tmp}/larkspur-install.XXXXXX")
trap 'rm -rf "$stage"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

DESTDIR=$stage cmake --install "$build" >"$stage/install.log"
root=$stage/usr/local
[[ -d $root ]] || fail "nothing was installed under /usr/local: $(cat "$stage/install.log")"
id=io.github.larkspur.Larkspur
sizes=(16 22 24 32 48 64 128 256)
expected=(bin/larkspur "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml"
    share/larkspur/mail.wav share/man/man1/larkspur.1.gz share/doc/larkspur/copyright
    share/doc/larkspur/changelog.gz)
for size in "${sizes[@]}"; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/larkspur.png")
done
extra=$(comm -3 <(cd "$root" && find . -type f -printf '%P\n' | sort) <(printf '%s\n' "${expected[@]}" | sort))
[[ -z $extra ]] || fail "installed files differ (left: installed only, right: expected only):"$'\n'"$extra"
[[ -z $(find "$stage" -mindepth 1 -maxdepth 1 ! -name usr ! -name install.log) ]] ||
    fail "files were installed outside the prefix"

desktop=$root/share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate refuses $desktop"
for line in Exec=larkspur Icon=larkspur 'Categories=Network;Email;' 'Name[th]=ลาร์คสเปอร์'; do
    grep -qxF -- "$line" "$desktop" || fail "the menu entry has no line $line"
done
appstreamcli validate --no-net "$root/share/metainfo/$id.metainfo.xml" ||
    fail "appstreamcli refuses the metainfo"
grep -qF "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$root/share/metainfo/$id.metainfo.xml" ||
    fail "the metainfo does not launch the installed menu entry"

warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
    "$root/share/man/man1/larkspur.1.gz" 2>&1 >/dev/null) || fail "man cannot read the manual page"
[[ -z $warnings ]] || fail "man warns about the manual page: $warnings"
# The manual page and the AppStream data name the version that --version gives (checked below).
zcat "$root/share/man/man1/larkspur.1.gz" | grep -E "^\.TH LARKSPUR 1 [0-9-]+ \"Larkspur ${version//./\\.}\" " >/dev/null ||
    fail "the manual page's header does not name version $version"
grep -qF "<release version=\"$version\"" "$root/share/metainfo/$id.metainfo.xml" ||
    fail "the newest release in the metainfo is not $version"

for size in "${sizes[@]}"; do
    got=$(identify -format '%wx%h %[channels]' "$root/share/icons/hicolor/${size}x${size}/apps/larkspur.png")
    [[ $got == "${size}x${size} srgba" ]] || fail "the ${size}x${size} icon is $got"
done
cmp "$root/share/larkspur/mail.wav" "$source/resources/sound/mail.wav" || fail "mail.wav differs"

# The command line, with no display to be had.
program=$root/bin/larkspur
[[ $(env -u DISPLAY -u WAYLAND_DISPLAY "$program" --version) == "larkspur $version" ]] ||
    fail "--version says '$("$program" --version)'"
help=$(env -u DISPLAY -u WAYLAND_DISPLAY "$program" --help) || fail "--help failed"
[[ $help == *"Usage: $program [options]"* && $help == *--version* ]] || fail "--help says: $help"
for wrong in --bogus stray-argument; do
    status=0
    message=$(QT_QPA_PLATFORM=offscreen "$program" "$wrong" 2>&1 >/dev/null) || status=$?
    if ((status != 1)) || [[ $message != *"${wrong#--}"* ]]; then
        fail "'larkspur $wrong' ended with $status, saying: $message"
    fi
done
