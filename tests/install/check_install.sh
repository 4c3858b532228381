#!/usr/bin/env bash
# Installs the build tree given into a DESTDIR under OUT and checks that every
# file of installed-files arrived and that the desktop file and the AppStream
# metainfo pass their validators.
set -euo pipefail
build="${1:?usage: check_install.sh BUILD OUT}"
out="${2:?usage: check_install.sh BUILD OUT}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
rm -rf "$out"
DESTDIR="$out" cmake --install "$build" --prefix /usr >/dev/null

status=0
while read -r path; do
    [ -f "$out/$path" ] || { echo "not installed: /$path"; status=1; }
done <"$here/installed-files"
[ -x "$out/usr/bin/tessarine" ] || { echo "/usr/bin/tessarine is not executable"; status=1; }

for size in 16 22 24 32 48 64 128 256; do
    png="$out/usr/share/icons/hicolor/${size}x${size}/apps/org.example.tessarine.png"
    [ -f "$png" ] || continue
    # Width and height from the PNG's IHDR chunk (big-endian, bytes 16 to 23).
    got=$(od -An -tu1 -j16 -N8 "$png" | awk '{ printf "%dx%d", $3*256+$4, $7*256+$8 }')
    [ "$got" = "${size}x${size}" ] || { echo "icon for ${size}x${size} is $got"; status=1; }
done

desktop="$out/usr/share/applications/org.example.tessarine.desktop"
metainfo="$out/usr/share/metainfo/org.example.tessarine.metainfo.xml"
desktop-file-validate "$desktop" || status=1
appstreamcli validate --no-net "$metainfo" || status=1
# A Japanese desktop's menu and software centre show Japanese texts; the
# product name is the same in both languages.
grep -qx 'Name=Tessarine' "$desktop" || { echo "desktop file does not name Tessarine"; status=1; }
for key in 'GenericName\[ja\]' 'Comment\[ja\]'; do
    grep -q "^$key=..*" "$desktop" || { echo "desktop file has no Japanese $key"; status=1; }
done
grep -q '<summary xml:lang="ja">..*</summary>' "$metainfo" || { echo "metainfo has no Japanese summary"; status=1; }
grep -q '<p xml:lang="ja">' "$metainfo" || { echo "metainfo has no Japanese description"; status=1; }
grep -q 'TAG+="uaccess"' "$out/usr/lib/udev/rules.d/70-tessarine-floppy.rules" ||
    { echo "udev rule sets no uaccess tag"; status=1; }

[ "$status" -eq 0 ] && rm -rf "$out"
exit "$status"
