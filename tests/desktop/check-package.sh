#!/bin/sh
# The Debian package holds the installed files under /usr and depends on the
# Qt 6 libraries the program links.
. "$(dirname "$0")/lib.sh"
BUILD=$1
need cpack dpkg-deb dpkg-shlibdeps

cpack --config "$BUILD/CPackConfig.cmake" -B "$WORK/out" >"$WORK/cpack.log" 2>&1 \
    || { cat "$WORK/cpack.log"; fail "cpack failed"; }
DEB=$(find "$WORK/out" -maxdepth 1 -name '*.deb')
[ "$(basename "$DEB")" = "vyx-editor_1.00_$(dpkg --print-architecture).deb" ] || fail "package file is '$DEB'"

dpkg-deb -c "$DEB" | awk '$1 !~ /^d/ { sub(/^\.\/usr\//, "", $6); print $6 }' | LC_ALL=C sort >"$WORK/actual"
printf '%s\n' "$INSTALLED_FILES" | LC_ALL=C sort >"$WORK/expected"
diff -u "$WORK/expected" "$WORK/actual" || fail "the package holds other files than expected"

field() {
    dpkg-deb -f "$DEB" "$1"
}
[ "$(field Package)" = "vyx-editor" ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "1.00" ] || fail "Version is '$(field Version)'"
[ "$(field Section)" = "editors" ] || fail "Section is '$(field Section)'"
depends=$(field Depends)
for lib in libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins libc6; do
    printf '%s\n' "$depends" | tr ',' '\n' | grep -q "^ *$lib\( \|$\)" || fail "Depends lacks $lib: $depends"
done
if dpkg-deb --ctrl-tarfile "$DEB" | tar -t | grep -qE 'postinst|postrm|preinst|prerm'; then
    fail "the package carries maintainer scripts; the triggers of shared-mime-info, desktop-file-utils and hicolor-icon-theme do that work"
fi
echo "package ok"
