#!/bin/bash
# The drive layer against a real udisks2: a private system bus, udevd,
# polkitd and udisksd in a mount namespace of their own (so the polkit rule
# and udev's database never reach the host), a loop device set up through
# udisks2, and the probe run as nobody without and with a rule allowing it,
# then with a rule that makes polkit take its time, as a user answering the
# agent would: the window's and the terminal's wait hooks must hear of it.
# Then the restore command as nobody onto the device with an ext2 file
# system that root mounted: refused by polkit, the box gives udisks2's words
# and nothing is written; allowed, udisks2 unmounts it and the image is on
# the device.
# Exit 77: skipped, with the reason on stdout.
probe=$1
cli=$2
skip() { echo "SKIP: $*"; exit 77; }
. "$(dirname "${BASH_SOURCE[0]}")/udisks_harness.sh"

if [ "$3" != --inside ]; then
    udisks_harness_check
    exec unshare -m --propagation private bash "$0" "$probe" "$cli" --inside
fi

udisks_harness_start
truncate -s 1440K "$dir/disk.img"
udisks_harness_loop "$dir/disk.img"

nobody() { setpriv --reuid 65534 --regid 65534 --clear-groups env DBUS_SYSTEM_BUS_ADDRESS="$DBUS_SYSTEM_BUS_ADDRESS" "$@"; }
failed=0
echo "without a polkit rule:"
nobody "$probe" "$loop" refused || { echo "FAIL: not told as access refused by udisks2"; failed=1; }
cat > /etc/polkit-1/rules.d/50-tessarine-test.rules <<'RULE'
polkit.addRule(function(action, subject) {
    if (action.id.indexOf("org.freedesktop.udisks2.open-device") == 0 && subject.user == "nobody")
        return polkit.Result.YES;
});
RULE
sleep 1 # polkitd rereads its rules when the folder changes
echo "with a rule allowing nobody:"
nobody "$probe" "$loop" ready || { echo "FAIL: not opened for reading and writing through udisks2"; failed=1; }
[ "$(od -An -tx1 -N1 "$dir/disk.img" | tr -d ' ')" = a5 ] || { echo "FAIL: the written sector is not in the file"; failed=1; }

cat > /etc/polkit-1/rules.d/50-tessarine-test.rules <<'RULE'
polkit.addRule(function(action, subject) {
    if (action.id.indexOf("org.freedesktop.udisks2.open-device") == 0 && subject.user == "nobody") {
        polkit.spawn(["/bin/sleep", "1"]);
        return polkit.Result.YES;
    }
});
RULE
sleep 1
echo "with a rule that answers after a second:"
nobody "$probe" "$loop" slow || { echo "FAIL: the wait hook did not hear of each wait"; failed=1; }
mkdir -p "$dir/config/Orvane"
printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' '[HKEY_CURRENT_USER\Software\Orvane\Tessarine\System]' \
    '"Drive"="A"' '' '[HKEY_CURRENT_USER\Software\Orvane\Tessarine\Devices]' "\"A\"=\"$loop\"" \
    >"$dir/config/Orvane/Tessarine.reg"
chown -R 65534:65534 "$dir/config"
nobody env XDG_CONFIG_HOME="$dir/config" "$cli" drives >"$dir/cli.out" 2>"$dir/cli.err"
status=$?
cat "$dir/cli.out" "$dir/cli.err"
[ $status = 0 ] || { echo "FAIL: tessarine-cli drives ended with $status"; failed=1; }
[ "$(grep -c "udisks2.*$loop" "$dir/cli.err")" = 1 ] || { echo "FAIL: the terminal did not tell the wait in one line"; failed=1; }

# An unmount of a file system that root mounted is polkit's
# filesystem-unmount-others; opening the device stays allowed.
PATH=$PATH:/usr/sbin:/sbin mke2fs -q -F -t ext2 "$loop" || { echo "FAIL: mke2fs"; exit 1; }
mkdir "$dir/mnt" "$dir/images" && chown 65534:65534 "$dir/images"
mount "$loop" "$dir/mnt" || skip "ext2 cannot be mounted here"
echo kept >"$dir/mnt/kept.txt"
sync
allow() {
    printf 'polkit.addRule(function(action, subject) {\n    if ((%s) && subject.user == "nobody")\n        return polkit.Result.YES;\n});\n' \
        "$1" >/etc/polkit-1/rules.d/50-tessarine-test.rules
    sleep 1
}
mounted() { grep -q " $dir/mnt " /proc/self/mountinfo; }
image_on_device() { cmp -s -n 8192 <(tail -c +257 "$dir/images/ONE.IMG") "$loop"; }
open='action.id.indexOf("org.freedesktop.udisks2.open-device") == 0'
allow "$open"
echo "restore onto the mounted file system, unmount refused:"
nobody "$probe" "$loop" unmount-refused "$dir/images" "$dir/mnt"
status=$?
[ $status = 0 ] || { echo "FAIL: the restore did not end in a box giving udisks2's refusal"; failed=1; }
mounted && [ "$(cat "$dir/mnt/kept.txt")" = kept ] || { echo "FAIL: the file system went"; failed=1; }
! cmp -s -n 512 <(tail -c +257 "$dir/images/ONE.IMG") "$loop" || { echo "FAIL: the image was written"; failed=1; }

allow "$open"' || action.id == "org.freedesktop.udisks2.filesystem-unmount-others"'
echo "restore onto the mounted file system, unmount allowed:"
nobody "$probe" "$loop" unmount "$dir/images" "$dir/mnt"
status=$?
[ $status = 0 ] || { echo "FAIL: the restore did not go on after the unmount"; failed=1; }
! mounted || { echo "FAIL: still mounted"; umount "$dir/mnt"; failed=1; }
image_on_device || { echo "FAIL: the image is not on the device"; failed=1; }
exit $failed
