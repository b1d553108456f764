# Shared by the desktop-integration checks: a private scratch directory and
# a way to fail with a message.
set -eu
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

need() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing (scripts/install-deps installs it)"
    done
}

# The files an install puts under its prefix, relative to it.
INSTALLED_FILES="bin/vyx-editor
share/applications/vyx-editor.desktop
share/doc/vyx-editor/changelog.gz
share/doc/vyx-editor/copyright
share/icons/hicolor/32x32/apps/vyx-editor.png
share/icons/hicolor/scalable/apps/vyx-editor.svg
share/man/man1/vyx-editor.1.gz
share/mime/packages/vyx-editor.xml"
