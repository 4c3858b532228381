#!/bin/bash
# The drive layer against a real udisks2: a private system bus, udevd,
# polkitd and udisksd in a mount namespace of their own (so the polkit rule
# and udev's database never reach the host), a loop device set up through
# udisks2, and the probe run as nobody without and with a rule allowing it,
# then with a rule that makes polkit take its time, as a user answering the
# agent would: the window's and the terminal's wait hooks must hear of it.
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
exit $failed
