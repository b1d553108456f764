#!/bin/sh
# An install staged under DESTDIR holds exactly the program, its desktop
# entry, MIME package and icons, and leaves the desktop's caches alone.
. "$(dirname "$0")/lib.sh"
BUILD=$1

DESTDIR="$WORK/stage" cmake --install "$BUILD" --prefix /opt/vyx >"$WORK/install.log" 2>&1 \
    || { cat "$WORK/install.log"; fail "cmake --install failed"; }

(cd "$WORK/stage/opt/vyx" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort) >"$WORK/actual"
printf '%s\n' "$INSTALLED_FILES" | LC_ALL=C sort >"$WORK/expected"
diff -u "$WORK/expected" "$WORK/actual" || fail "the staged install holds other files than expected"
[ -z "$(find "$WORK/stage" -mindepth 1 -maxdepth 1 ! -name opt)" ] || fail "files outside the prefix"
[ -x "$WORK/stage/opt/vyx/bin/vyx-editor" ] || fail "bin/vyx-editor is not executable"
cmp -s "$WORK/stage/opt/vyx/share/icons/hicolor/32x32/apps/vyx-editor.png" \
    "$(dirname "$0")/../../resources/vyx-editor-32.png" || fail "the 32x32 icon is not the program's icon"
echo "staged install ok"
