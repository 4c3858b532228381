#!/usr/bin/env bash
# Builds the Debian package of the build tree given into OUT and checks that
# dpkg-deb lists every file of installed-files, and that the dependencies name
# the Qt libraries and the platform plugins.
set -euo pipefail
build="${1:?usage: check_package.sh BUILD OUT}"
out="${2:?usage: check_package.sh BUILD OUT}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
rm -rf "$out"
(cd "$build" && cpack -G DEB -B "$out" >"$out.log" 2>&1) || { cat "$out.log"; exit 1; }
deb=$(ls "$out"/tessarine_*.deb)

listed=$(dpkg-deb --contents "$deb" | awk '{ print $6 }')
status=0
while read -r path; do
    grep -qx "\./$path" <<<"$listed" || { echo "not in the package: /$path"; status=1; }
done <"$here/installed-files"
depends=$(dpkg-deb --field "$deb" Depends)
for needed in libqt6widgets6 qt6-qpa-plugins libc6; do
    grep -q "$needed" <<<"$depends" || { echo "Depends lacks $needed: $depends"; status=1; }
done

[ "$status" -eq 0 ] && rm -rf "$out" "$out.log"
exit "$status"
