#!/bin/sh
# After a direct install into a private data directory, the desktop's own
# tools see a .vyx file as text/x-vyx and name the editor as its handler: what
# a file manager asks when the user double-clicks the file.
. "$(dirname "$0")/lib.sh"
BUILD=$1
# xdg-mime outside a known desktop environment asks `mimetype`, which reads the
# shared-mime-info database; its fallback, file(1), knows nothing of it.
need xdg-mime mimetype update-mime-database update-desktop-database

PREFIX="$WORK/home/.local"
cmake --install "$BUILD" --prefix "$PREFIX" >"$WORK/install.log" 2>&1 \
    || { cat "$WORK/install.log"; fail "cmake --install failed"; }
[ -f "$PREFIX/share/mime/mime.cache" ] || { cat "$WORK/install.log"; fail "install did not refresh the MIME database"; }
grep -qx 'text/x-vyx text/plain' "$PREFIX/share/mime/subclasses" \
    || fail "the MIME database does not know text/x-vyx as a sub-class of text/plain"

printf '#include "ships.vyx"\r\n' >"$WORK/ship.vyx"
mkdir -m 700 "$WORK/run"
mkdir "$WORK/no-system-data"
# A clean environment with no desktop, no session bus and no system data
# directories, so only the private install decides the answers.
query() {
    env -i PATH="$PATH" HOME="$WORK/home" \
        XDG_DATA_HOME="$PREFIX/share" XDG_DATA_DIRS="$WORK/no-system-data" \
        XDG_CONFIG_HOME="$WORK/home/.config" XDG_CONFIG_DIRS="$WORK/no-system-data" \
        XDG_RUNTIME_DIR="$WORK/run" DBUS_SESSION_BUS_ADDRESS="disabled:" \
        xdg-mime query "$@"
}
type=$(query filetype "$WORK/ship.vyx")
[ "$type" = "text/x-vyx" ] || fail "xdg-mime query filetype answers '$type'"
handler=$(query default text/x-vyx)
[ "$handler" = "vyx-editor.desktop" ] || fail "xdg-mime query default answers '$handler'"
echo "file association ok"
