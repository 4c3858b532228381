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

desktop-file-validate "$out/usr/share/applications/org.example.tessarine.desktop" || status=1
appstreamcli validate --no-net "$out/usr/share/metainfo/org.example.tessarine.metainfo.xml" || status=1
grep -q 'TAG+="uaccess"' "$out/usr/lib/udev/rules.d/70-tessarine-floppy.rules" ||
    { echo "udev rule sets no uaccess tag"; status=1; }

[ "$status" -eq 0 ] && rm -rf "$out"
exit "$status"
