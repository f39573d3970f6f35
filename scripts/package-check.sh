#!/bin/sh
# Builds the .deb (scripts/package.sh, from the build folder given, if any) and
# checks it as a machine that installs it would meet it: unpacked into a temporary
# root, it holds every file it promises; its folvane-cli prints the package's version
# and scans a folder, keeping its configuration in the user's folder;
# desktop-file-validate, appstreamcli and lintian find no error in the launcher
# entry, the metadata and the package (lintian's warnings are printed).
set -eu
cd "$(dirname "$0")/.."
deb=$(./scripts/package.sh "$@")
echo "package-check.sh: checking $deb" >&2

work=$(mktemp -d "${TMPDIR:-/tmp}/folvane-package.XXXXXX")
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT INT TERM
root="$work/root"
dpkg-deb -x "$deb" "$root"
version=$(dpkg-deb -f "$deb" Version)

status=0
fail() {
    echo "package-check.sh: $*" >&2
    status=1
}

# The launcher entry names the program's desktop name; the metadata and icons go by it.
set -- "$root"/usr/share/applications/*.desktop
[ "$#" -eq 1 ] && [ -f "$1" ] || fail "not one launcher entry in /usr/share/applications: $*"
desktop="$1"
id=$(basename "$desktop" .desktop)
metainfo="$root/usr/share/metainfo/$id.metainfo.xml"
for f in /usr/bin/folvane /usr/bin/folvane-cli /usr/share/folvane/Help.htm \
    "/usr/share/metainfo/$id.metainfo.xml" "/usr/share/icons/hicolor/scalable/apps/$id.svg" \
    /usr/share/man/man1/folvane.1.gz /usr/share/man/man1/folvane-cli.1.gz \
    /usr/share/doc/folvane/copyright /usr/share/doc/folvane/changelog.gz; do
    [ -s "$root$f" ] || fail "missing or empty: $f"
done
for size in 16 22 24 32 48 64 128 256; do
    png="$root/usr/share/icons/hicolor/${size}x$size/apps/$id.png"
    file "$png" | grep -q "PNG image data, $size x $size," || fail "not a $size x $size PNG: $png"
done
grep -qx "Exec=folvane %f" "$desktop" || fail "the launcher entry does not pass a folder to folvane"
grep -q "version=\"$version\"" "$metainfo" || fail "the metadata does not name release $version"
for page in folvane folvane-cli; do
    LC_ALL=C.UTF-8 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" >/dev/null 2>"$work/man.err" && [ ! -s "$work/man.err" ] \
        || fail "manual page $page.1: $(cat "$work/man.err")"
done

# The unpacked programs run with Debian's libraries. The tree is made read-only, as
# an installed program's folder is to its user: the configuration goes to the
# user's folder, and nothing is written into the tree.
chmod -R a-w "$root"
cli="$root/usr/bin/folvane-cli"
[ "$("$cli" --version)" = "folvane-cli $version" ] || fail "folvane-cli --version does not say $version"
mkdir -p "$work/folder/sub" "$work/home"
head -c 1000 /dev/zero >"$work/folder/a"
head -c 234 /dev/zero >"$work/folder/sub/b"
if HOME="$work/home" XDG_CONFIG_HOME='' "$cli" --format csv --output "$work/scan.csv" "$work/folder" \
    2>"$work/scan.err"; then
    grep -q "^Scanned 3 entries (2 files, 1 folders), 1234 bytes" "$work/scan.err" \
        || fail "folvane-cli's summary: $(cat "$work/scan.err")"
    grep -q "sub" "$work/scan.csv" || fail "folvane-cli's export lacks the folder: $(cat "$work/scan.csv")"
    [ -f "$work/home/.config/Folvane/FolvaneConfig.xml" ] \
        || fail "folvane-cli kept its configuration elsewhere than the user's folder"
else
    fail "folvane-cli could not scan a folder: $(cat "$work/scan.err")"
fi

desktop-file-validate "$desktop" || fail "desktop-file-validate: $desktop"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate: $metainfo"
# lintian refuses nothing as root but says so; its warnings are shown, its errors fail.
lintian --fail-on error --display-info "$deb" || fail "lintian found errors in $deb"

[ "$status" -eq 0 ] && echo "package-check.sh: $deb passed" >&2
exit "$status"
