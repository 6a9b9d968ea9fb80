#!/usr/bin/env bash
# The Debian package made from this build, as scripts/package makes it: its name, its control
# fields (the libraries found in the binary, and those it opens itself), every file of an
# installation under /usr with root as owner and the usual modes, a stripped program, and lintian
# without an error. The package is left in <output folder> for the test that installs it.
# Run as: package-contents.sh <build folder> <output folder> <version>
set -euo pipefail

build=$1 out=$2 version=$3
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

rm -rf "$out"
mkdir -p "$out"
(cd "$build" && cpack -G DEB -B "$out") >"$out/cpack.log" 2>&1 || fail "cpack: $(cat "$out/cpack.log")"
deb=$out/larkspur_${version}_$(dpkg --print-architecture).deb
[[ -f $deb ]] || fail "no $deb: $(ls "$out")"

field() { dpkg-deb --field "$deb" "$1"; }
[[ $(field Package) == larkspur && $(field Version) == "$version" && $(field Section) == mail ]] ||
    fail "control fields: $(dpkg-deb --field "$deb")"
for dependency in 'libqt6widgets6 (>=' 'libqt6network6 (>=' 'libc6 (>=' libsndfile1 libasound2 fonts-thai-tlwg; do
    [[ $(field Depends) == *"$dependency"* ]] || fail "Depends lacks $dependency: $(field Depends)"
done

# Every file with its owner and mode, against what an installation must hold.
id=io.github.larkspur.Larkspur
listing=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort -k3)
expected=$(
    {
        echo "-rwxr-xr-x root/root ./usr/bin/larkspur"
        for file in "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml" \
            share/larkspur/mail.wav share/man/man1/larkspur.1.gz share/doc/larkspur/copyright \
            share/doc/larkspur/changelog.gz; do
            echo "-rw-r--r-- root/root ./usr/$file"
        done
        for size in 16 22 24 32 48 64 128 256; do
            echo "-rw-r--r-- root/root ./usr/share/icons/hicolor/${size}x${size}/apps/larkspur.png"
        done
    } | sort -k3
)
[[ $listing == "$expected" ]] || fail "the package holds:"$'\n'"$listing"$'\n'"instead of:"$'\n'"$expected"
odd_directories=$(dpkg-deb --contents "$deb" | awk '$1 ~ /^d/ && ($1 != "drwxr-xr-x" || $2 != "root/root")')
[[ -z $odd_directories ]] || fail "folders of another owner or mode: $odd_directories"

dpkg-deb --extract "$deb" "$out/tree"
! readelf --section-headers "$out/tree/usr/bin/larkspur" | grep -E '\.debug_|\.symtab' >/dev/null ||
    fail "the packaged program is not stripped"

# Errors fail; warnings and notes are shown for the record.
report=$(lintian --display-level '>=info' --fail-on error "$deb" 2>&1) ||
    fail "lintian reports errors:"$'\n'"$report"
grep -v 'root privileges' <<<"$report" || true
