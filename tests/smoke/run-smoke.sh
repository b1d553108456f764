#!/bin/sh
# Starts the real program in its own X server with a window manager, checks
# that the editor window appears with its title and size, closes it through
# the window manager and checks that the process ends.
set -eu
BIN=$1
WORK=$(mktemp -d)
cleanup() {
    [ -n "${APP_PID:-}" ] && kill "$APP_PID" 2>/dev/null || true
    [ -n "${WM_PID:-}" ] && kill "$WM_PID" 2>/dev/null || true
    [ -n "${X_PID:-}" ] && kill "$X_PID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number once it is ready,
# so that runs side by side never race for the same one.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
X_PID=$!
i=0
until [ -s "$WORK/display" ]; do
    i=$((i + 1)); [ $i -gt 100 ] && { echo "Xvfb did not start"; cat "$WORK/xvfb.log"; exit 1; }
    sleep 0.1
done
export DISPLAY=":$(head -n 1 "$WORK/display")"
openbox >"$WORK/wm.log" 2>&1 &
WM_PID=$!
sleep 0.5

export XDG_RUNTIME_DIR="$WORK/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export HOME="$WORK"
# Waits for a visible window whose title matches $1 (a regular expression)
# and prints its id.
wait_for_window() {
    i=0
    while :; do
        w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
        [ -n "$w" ] && { echo "$w"; return 0; }
        i=$((i + 1)); [ $i -gt 100 ] && return 1
        sleep 0.1
    done
}

# Closes window $1 through the window manager, as the close box does, and
# checks that the program ends cleanly; $2 is its log.
close_and_expect_end() {
    wmctrl -i -c "$1"
    i=0
    while kill -0 "$APP_PID" 2>/dev/null; do
        i=$((i + 1)); [ $i -gt 100 ] && { echo "the program did not end after its window was closed"; exit 1; }
        sleep 0.1
    done
    wait "$APP_PID" || { echo "exit status $?"; cat "$2"; exit 1; }
    APP_PID=""
}

"$BIN" >"$WORK/app.log" 2>&1 &
APP_PID=$!
win=$(wait_for_window '^VYX Editor 1\.0$') || { echo "no window titled 'VYX Editor 1.0'"; cat "$WORK/app.log"; exit 1; }

geom=$(xdotool getwindowgeometry "$win" | sed -n 's/.*Geometry: //p')
width=${geom%x*}
height=${geom#*x}
echo "window $win geometry $geom"
# 556 wide; 436 of client area plus the menu bar.
[ "$width" -eq 556 ] || { echo "width $width, expected 556"; exit 1; }
[ "$height" -gt 436 ] && [ "$height" -lt 480 ] || { echo "height $height, expected 436 + menu bar"; exit 1; }
close_and_expect_end "$win" "$WORK/app.log"

# A file named on the command line opens at start: the caption is its bare
# name. Unmodified, the close box ends the program without a question.
mkdir "$WORK/defs"
printf 'ship\r\n' >"$WORK/defs/fighter.vyx"
"$BIN" "$WORK/defs/fighter.vyx" >"$WORK/app2.log" 2>&1 &
APP_PID=$!
win=$(wait_for_window '^fighter\.vyx$') || { echo "no window titled 'fighter.vyx'"; cat "$WORK/app2.log"; exit 1; }
close_and_expect_end "$win" "$WORK/app2.log"
echo "smoke test passed"
