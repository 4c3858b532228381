# Sourced by the udisks2 daemon test and scripts/screenshot-udisks: a private
# system bus, udevd, polkitd and udisksd in a mount namespace of their own
# (so polkit rules and udev's database never reach the host). The caller
# defines skip() (what to do when the daemons cannot run) before using it.

# Root and the daemons' programs; skip() otherwise.
udisks_harness_check() {
    [ "$(id -u)" = 0 ] || skip "needs root to start the system daemons"
    for f in /usr/bin/dbus-daemon /lib/systemd/systemd-udevd /usr/lib/polkit-1/polkitd /usr/libexec/udisks2/udisksd; do
        [ -x "$f" ] || skip "$f is not installed"
    done
    for c in unshare setpriv udisksctl busctl nsenter; do
        command -v "$c" >/dev/null || skip "$c is not installed"
    done
}

# Run inside a private mount namespace (unshare -m --propagation private):
# starts the daemons with a tmpfs over /run and over polkit's rules folder
# (rules put there are the only ones), sets dir (a scratch folder), pids and
# DBUS_SYSTEM_BUS_ADDRESS, and stops everything by its PID on exit.
udisks_harness_start() {
    dir=$(mktemp -d /tmp/tessarine-udisks.XXXXXX) || exit 1
    chmod 755 "$dir"
    pids=()
    loop=
    cleanup() {
        # Every step runs even when one fails (a loop device udisks2 already
        # deleted, say): under set -e a failed step would leave the daemons running.
        set +e
        # What the caller mounted below dir goes first, or the loop device stays busy.
        awk -v d="$dir/" 'index($5, d) == 1 {print $5}' /proc/self/mountinfo | sort -r | xargs -r -n1 umount -l
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
}

# udisks_harness_loop FILE: a loop device over FILE set up through udisks2; sets loop.
udisks_harness_loop() {
    local said
    said=$(timeout 20 udisksctl loop-setup --no-user-interaction -f "$1" 2>&1)
    loop=$(echo "$said" | grep -o '/dev/loop[0-9]*')
    [ -n "$loop" ] || skip "udisks2 set up no loop device: $said"
}
