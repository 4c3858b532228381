# Sourced by scripts/test and scripts/run: makes sure the Debian packages the
# build, the tests and the demo need are installed.
TESSARINE_PACKAGES="cmake ninja-build g++ qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev
dosfstools mtools xvfb xauth fonts-ipafont-gothic"

tessarine_missing_packages() {
    local missing="" p
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing="$missing $p"
        fi
    done
    echo "$missing"
}

# tessarine_check_build_dir FOLDER...: stops with what to do when a build
# folder holds files of another user (a tree built as root, then by a normal
# user), since cmake would fail there with a bare "Permission denied".
tessarine_check_build_dir() {
    local dir owner
    [ "$(id -u)" -eq 0 ] && return 0
    for dir in "$@"; do
        [ -e "$dir" ] || continue
        owner=$(find "$dir" ! -user "$(id -u)" -printf '%u\n' -quit 2>/dev/null)
        [ -z "$owner" ] && continue
        echo "$dir/ holds files of user $owner (built as $owner before), which you cannot change." >&2
        echo "Remove it as $owner, then run this again:  su $owner -c 'rm -rf $PWD/$dir'" >&2
        exit 1
    done
}

# tessarine_ensure_packages [extra packages...]
tessarine_ensure_packages() {
    local missing
    # shellcheck disable=SC2086
    missing=$(tessarine_missing_packages $TESSARINE_PACKAGES "$@")
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing Debian packages:$missing" >&2
        echo "Install them as root (su -c, or sudo where set up): apt-get install$missing" >&2
        exit 1
    fi
    echo "Installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    # shellcheck disable=SC2086
    apt-get install -y -q $missing || { apt-get update -q && apt-get install -y -q $missing; } || {
        echo "Could not install:$missing" >&2
        exit 1
    }
}
TESSARINE_PACKAGES="$TESSARINE_PACKAGES dpkg-dev desktop-file-utils appstream"  # install and package checks
TESSARINE_PACKAGES="$TESSARINE_PACKAGES qt6-translations-l10n openbox x11-utils xdotool imagemagick"  # Japanese standard buttons; window tests under a window manager
TESSARINE_PACKAGES="$TESSARINE_PACKAGES libxcb1-dev"  # empty window captions on X
TESSARINE_PACKAGES="$TESSARINE_PACKAGES pkg-config libsystemd-dev libssl-dev zlib1g-dev libpugixml-dev libcli11-dev nlohmann-json3-dev"  # libraries the core and the terminal tool link
TESSARINE_PACKAGES="$TESSARINE_PACKAGES gddrescue mame-tools e2fsprogs udisks2 policykit-1 dbus systemd"  # outside oracles; a real udisks2 for the device broker test
TESSARINE_PACKAGES="$TESSARINE_PACKAGES libfuse3-dev fuse3"  # the tests' fault-injecting file system under a loop device
