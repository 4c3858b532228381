#!/bin/sh
# Runs a window test on a private X server with openbox managing the windows:
# placement, close buttons and activation are the window manager's business,
# which the offscreen platform does not have. Exits 77 (skipped) when a tool
# is missing.
for tool in xvfb-run openbox xprop xwininfo xdotool; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed (Debian: xvfb openbox x11-utils xdotool)"
        exit 77
    fi
done
# xvfb-run -a can race another X test for a display number; the window
# manager then finds no server and exits. Such a start is tried again.
attempt=0
while :; do
attempt=$((attempt + 1))
xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    openbox >/dev/null 2>&1 &
    wm=$!
    tries=0
    until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; do
        tries=$((tries + 1))
        if [ "$tries" -gt 100 ]; then
            echo "openbox did not start"
            kill "$wm" 2>/dev/null
            exit 99
        fi
        sleep 0.1
    done
    QT_QPA_PLATFORM=xcb "$@"
    status=$?
    kill "$wm"
    wait "$wm" 2>/dev/null
    exit "$status"
' sh "$@"
status=$?
if [ "$status" -ne 99 ] || [ "$attempt" -ge 3 ]; then
    exit "$status"
fi
done
