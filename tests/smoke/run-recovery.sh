#!/bin/sh
# Crash recovery with the real program: types into a named and an untitled
# document, kills the editor with SIGKILL once the journal is written,
# starts it again, answers Recover and saves; the file then holds exactly
# what was typed. Nothing is ever written beside the edited file.
set -eu
BIN=$1
. "$(dirname "$0")/lib.sh"
export XDG_STATE_HOME="$WORK/state"
JOURNALS="$XDG_STATE_HOME/vyx-editor"
mkdir "$WORK/defs"
printf 'ship\r\n' >"$WORK/defs/fighter.vyx"

fail() {
    echo "$1"
    cat "$WORK/app.log"
    exit 1
}

# Waits until the editor has a journal on disk.
wait_for_journal() {
    i=0
    until ls "$JOURNALS"/*.journal >/dev/null 2>&1; do
        i=$((i + 1)); [ $i -gt 100 ] && fail "no journal was written"
        sleep 0.1
    done
}

# Starts the editor (with the file $1, if any), types $3 into its window
# titled $2, and kills it once its journal is on disk.
type_and_kill() {
    "$BIN" $1 >"$WORK/app.log" 2>&1 &
    APP_PID=$!
    win=$(wait_for_window "$2") || fail "no window titled $2"
    xdotool windowactivate --sync "$win"
    xdotool type --delay 30 "$3"
    wait_for_journal
    kill -KILL "$APP_PID"
    wait "$APP_PID" || true
    APP_PID=""
    [ "$(ls -A "$WORK/defs")" = "fighter.vyx" ] || fail "files beside the edited one: $(ls -A "$WORK/defs")"
}

# Starts the editor again and answers its question with Recover (the
# default button); waits for the editor window titled $1.
recover() {
    "$BIN" >"$WORK/app.log" 2>&1 &
    APP_PID=$!
    question=$(wait_for_window '^VYX Editor 1\.0$') || fail "no recovery question"
    xdotool windowactivate --sync "$question"
    xdotool key Return
    win=$(wait_for_window "$1") || fail "no window titled $1 after recovery"
    xdotool windowactivate --sync "$win"
}

# Waits until file $1 holds the bytes of file $2.
wait_for_bytes() {
    i=0
    until cmp -s "$1" "$2"; do
        i=$((i + 1)); [ $i -gt 100 ] && { od -c "$1"; fail "$1 does not hold what was typed"; }
        sleep 0.1
    done
}

# A named document: File > Save (the third item) writes the recovered text.
type_and_kill "$WORK/defs/fighter.vyx" '^fighter\.vyx$' 'new '
recover '^fighter\.vyx$'
xdotool key alt+f Down Down Return
printf 'new ship\r\n' >"$WORK/expected"
wait_for_bytes "$WORK/defs/fighter.vyx" "$WORK/expected"
kill "$APP_PID"; wait "$APP_PID" || true; APP_PID=""
[ -z "$(ls "$JOURNALS"/*.journal 2>/dev/null)" ] || fail "the journal stayed after Save"

# An untitled document: Save As (Ctrl+S) names it.
type_and_kill "" '^VYX Editor 1\.0$' 'draft'
recover '^VYX Editor 1\.0$'
xdotool key ctrl+s
sleep 1
xdotool key ctrl+a
xdotool type --delay 10 "$WORK/defs/draft.vyx"
xdotool key Return
printf 'draft' >"$WORK/expected"
wait_for_bytes "$WORK/defs/draft.vyx" "$WORK/expected"
kill "$APP_PID"; wait "$APP_PID" || true; APP_PID=""

"$BIN" "$WORK/defs/fighter.vyx" >"$WORK/app.log" 2>&1 &
APP_PID=$!
win=$(wait_for_window '^fighter\.vyx$') || fail "no window titled fighter.vyx"
xdotool windowactivate --sync "$win"
xdotool type --delay 30 'old '
sleep 0.5
kill -TERM "$APP_PID"
i=0
while kill -0 "$APP_PID" 2>/dev/null; do
    i=$((i + 1)); [ $i -gt 100 ] && fail "the editor did not end on SIGTERM"
    sleep 0.1
done
wait "$APP_PID" || true
APP_PID=""
ls "$JOURNALS"/*.journal >/dev/null 2>&1 || fail "no journal was written on SIGTERM"
recover '^fighter\.vyx$'
xdotool key alt+f Down Down Return
printf 'old new ship\r\n' >"$WORK/expected"
wait_for_bytes "$WORK/defs/fighter.vyx" "$WORK/expected"
kill "$APP_PID"; wait "$APP_PID" || true; APP_PID=""
[ -z "$(ls "$JOURNALS"/*.journal 2>/dev/null)" ] || fail "the journal stayed after Save"

# The display goes away half a second after typing (a logout): the journal
# is written as the editor ends. Last, as the X server goes with it.
"$BIN" "$WORK/defs/fighter.vyx" >"$WORK/app.log" 2>&1 &
APP_PID=$!
win=$(wait_for_window '^fighter\.vyx$') || fail "no window titled fighter.vyx"
xdotool windowactivate --sync "$win"
xdotool type --delay 30 'lost '
sleep 0.5
kill "$X_PID"
i=0
while kill -0 "$APP_PID" 2>/dev/null; do
    i=$((i + 1)); [ $i -gt 100 ] && fail "the editor did not end with its display"
    sleep 0.1
done
wait "$APP_PID" || true
APP_PID=""
X_PID=""
ls "$JOURNALS"/*.journal >/dev/null 2>&1 || fail "no journal was written when the display went"
echo "recovery test passed"
