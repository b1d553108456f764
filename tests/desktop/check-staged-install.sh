#!/bin/sh
# An install staged under DESTDIR holds exactly the program, its desktop
# entry, MIME package, icons, manual page and changelog, and leaves the
# desktop's caches alone. The manual page reads without a complaint from man
# and describes every option the program's --help lists.
. "$(dirname "$0")/lib.sh"
BUILD=$1
need man lexgrog

# The prefix is a scratch path too, set up like a live one, so that anything
# written to the prefix itself rather than to the stage shows up.
PREFIX="$WORK/prefix"
mkdir -p "$PREFIX/share/mime/packages" "$PREFIX/share/applications"
STAGED="$WORK/stage$PREFIX"
DESTDIR="$WORK/stage" cmake --install "$BUILD" --prefix "$PREFIX" >"$WORK/install.log" 2>&1 \
    || { cat "$WORK/install.log"; fail "cmake --install failed"; }
[ -z "$(find "$PREFIX" -type f)" ] || fail "a staged install wrote into the prefix itself: $(find "$PREFIX" -type f | head -n 3)"

(cd "$STAGED" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort) >"$WORK/actual"
printf '%s\n' "$INSTALLED_FILES" | LC_ALL=C sort >"$WORK/expected"
diff -u "$WORK/expected" "$WORK/actual" || fail "the staged install holds other files than expected"
[ -z "$(find "$WORK/stage" -type f ! -path "$STAGED/*")" ] || fail "files outside the prefix"
[ -x "$STAGED/bin/vyx-editor" ] || fail "bin/vyx-editor is not executable"
cmp -s "$STAGED/share/icons/hicolor/32x32/apps/vyx-editor.png" \
    "$(dirname "$0")/../../resources/vyx-editor-32.png" || fail "the 32x32 icon is not the program's icon"

PAGE="$STAGED/share/man/man1/vyx-editor.1.gz"
LC_ALL=C MANWIDTH=80 man --warnings -l "$PAGE" >"$WORK/man.txt" 2>"$WORK/man.err" || fail "man cannot show $PAGE"
[ ! -s "$WORK/man.err" ] || { cat "$WORK/man.err"; fail "man warns about the manual page"; }
# whatis and apropos know the program from the NAME section.
lexgrog "$PAGE" | grep -q '"vyx-editor - ' || fail "the manual page's NAME section does not name vyx-editor"
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$STAGED/bin/vyx-editor" --help >"$WORK/help.txt" \
    || fail "vyx-editor --help failed"
for option in $(grep -o -- '--[a-z][a-z-]*' "$WORK/help.txt" | sort -u); do
    grep -q -F -- "$option" "$WORK/man.txt" || fail "the manual page does not describe $option"
done
echo "staged install ok"
