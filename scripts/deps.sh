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
