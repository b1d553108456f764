#!/bin/sh
# Starts the real program in its own X server with a window manager, checks
# that the editor window appears with its title and size, closes it through
# the window manager and checks that the process ends.
set -eu
BIN=$1
. "$(dirname "$0")/lib.sh"

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

# The benchmark's start-up trace: the program reports its first paint and
# ends by itself, successfully, so the benchmark can read the figures.
VYX_STARTUP_TRACE=1 timeout 60 "$BIN" >"$WORK/trace.log" 2>&1 || { echo "the start-up trace ended with status $?"; cat "$WORK/trace.log"; exit 1; }
rss=$(sed -n 's/^vyx-startup first-paint-ns [0-9][0-9]* rss-kb \([0-9][0-9]*\) minor-faults [0-9][0-9]*$/\1/p' "$WORK/trace.log")
[ -n "$rss" ] || { echo "no start-up trace line"; cat "$WORK/trace.log"; exit 1; }
echo "smoke test passed"
