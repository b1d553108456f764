#!/bin/sh
# The Debian package holds the installed files under /usr, depends on the
# Qt 6 libraries the program links, carries a changelog whose newest entry is
# this version, and passes lintian (where it is installed) without an error
# or a warning.
. "$(dirname "$0")/lib.sh"
BUILD=$1
VERSION=$2
need cpack dpkg-deb dpkg-shlibdeps dpkg-parsechangelog

cpack --config "$BUILD/CPackConfig.cmake" -B "$WORK/out" >"$WORK/cpack.log" 2>&1 \
    || { cat "$WORK/cpack.log"; fail "cpack failed"; }
DEB=$(find "$WORK/out" -maxdepth 1 -name '*.deb')
[ "$(basename "$DEB")" = "vyx-editor_${VERSION}_$(dpkg --print-architecture).deb" ] || fail "package file is '$DEB'"

dpkg-deb -c "$DEB" | awk '$1 !~ /^d/ { sub(/^\.\/usr\//, "", $6); print $6 }' | LC_ALL=C sort >"$WORK/actual"
printf '%s\n' "$INSTALLED_FILES" | LC_ALL=C sort >"$WORK/expected"
diff -u "$WORK/expected" "$WORK/actual" || fail "the package holds other files than expected"

field() {
    dpkg-deb -f "$DEB" "$1"
}
[ "$(field Package)" = "vyx-editor" ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$VERSION" ] || fail "Version is '$(field Version)'"
[ "$(field Section)" = "editors" ] || fail "Section is '$(field Section)'"
depends=$(field Depends)
for lib in libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins libc6; do
    printf '%s\n' "$depends" | tr ',' '\n' | grep -q "^ *$lib\( \|$\)" || fail "Depends lacks $lib: $depends"
done
if dpkg-deb --ctrl-tarfile "$DEB" | tar -t | grep -qE 'postinst|postrm|preinst|prerm'; then
    fail "the package carries maintainer scripts; the triggers of shared-mime-info, desktop-file-utils and hicolor-icon-theme do that work"
fi

mkdir "$WORK/root"
dpkg-deb -x "$DEB" "$WORK/root"
gzip -dc "$WORK/root/usr/share/doc/vyx-editor/changelog.gz" >"$WORK/changelog"
newest=$(dpkg-parsechangelog -l "$WORK/changelog" -S Version)
[ "$newest" = "$VERSION" ] || fail "the changelog's newest entry is $newest, the package $VERSION"

if command -v lintian >/dev/null 2>&1; then
    lintian --fail-on error,warning "$DEB" || fail "lintian reports errors or warnings"
else
    echo "lintian is not installed: not run (scripts/install-deps installs it)"
fi
echo "package ok"
