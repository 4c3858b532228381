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

if [ "$3" != --inside ]; then
    [ "$(id -u)" = 0 ] || skip "needs root to start the system daemons"
    for f in /usr/bin/dbus-daemon /lib/systemd/systemd-udevd /usr/lib/polkit-1/polkitd /usr/libexec/udisks2/udisksd; do
        [ -x "$f" ] || skip "$f is not installed"
    done
    for c in unshare setpriv udisksctl busctl nsenter; do
        command -v "$c" >/dev/null || skip "$c is not installed"
    done
    exec unshare -m --propagation private bash "$0" "$probe" "$cli" --inside
fi

dir=$(mktemp -d /tmp/tessarine-udisks.XXXXXX) || exit 1
chmod 755 "$dir"
pids=()
loop=
cleanup() {
    [ -n "$loop" ] && timeout 10 udisksctl loop-delete --no-user-interaction -b "$loop" >/dev/null 2>&1
    [ -n "$loop" ] && losetup -d "$loop" 2>/dev/null
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
    rm -rf "$dir"
}
trap cleanup EXIT

mount -t tmpfs tmpfs /run && mkdir -p /run/udev || skip "cannot mount a private /run"
mkdir -p /etc/polkit-1/rules.d && mount -t tmpfs tmpfs /etc/polkit-1/rules.d || skip "cannot mount a private rules folder"
# udevd sees every device on the host: without rules it only records them,
# and probes or holds no one else's device meanwhile.
for rules in /usr/lib/udev/rules.d /etc/udev/rules.d; do
    [ -d "$rules" ] && { mount -t tmpfs tmpfs "$rules" || skip "cannot hide udev's rules in $rules"; }
done
cat > "$dir/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <auth>EXTERNAL</auth>
  <listen>unix:path=$dir/bus</listen>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Introspectable"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Properties"/>
  </policy>
  <includedir>/usr/share/dbus-1/system.d</includedir>
</busconfig>
CONF
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$dir/bus
dbus-daemon --config-file="$dir/bus.conf" --nofork >"$dir/dbus.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -S "$dir/bus" ] && break; sleep 0.1; done
[ -S "$dir/bus" ] || skip "the private system bus did not start: $(cat "$dir/dbus.log")"
/lib/systemd/systemd-udevd --children-max=1 >"$dir/udevd.log" 2>&1 &
pids+=($!)
/usr/lib/polkit-1/polkitd --no-debug >"$dir/polkitd.log" 2>&1 &
pids+=($!)
/usr/libexec/udisks2/udisksd >"$dir/udisksd.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    busctl --system status org.freedesktop.UDisks2 >/dev/null 2>&1 &&
        busctl --system status org.freedesktop.PolicyKit1 >/dev/null 2>&1 && break
    sleep 0.1
done
busctl --system status org.freedesktop.UDisks2 >/dev/null 2>&1 || skip "udisksd did not start: $(tail -3 "$dir/udisksd.log")"

truncate -s 1440K "$dir/disk.img"
out=$(timeout 20 udisksctl loop-setup --no-user-interaction -f "$dir/disk.img" 2>&1)
loop=$(echo "$out" | grep -o '/dev/loop[0-9]*')
[ -n "$loop" ] || skip "udisks2 set up no loop device: $out"

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
