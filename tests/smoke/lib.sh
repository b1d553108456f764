# Shared by the real-window tests: a temporary folder as $WORK and $HOME,
# an X server with a window manager, and a way to wait for a window.
# Source it after setting BIN; it cleans up when the script exits.
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

