#!/bin/sh
# The configured desktop entry is valid and launches the editor for .vyx
# files under the product's name and version.
. "$(dirname "$0")/lib.sh"
ENTRY=$1
VERSION=$2
need desktop-file-validate

desktop-file-validate "$ENTRY" || fail "desktop-file-validate rejects $ENTRY"

value() {
    sed -n "s/^$1=//p" "$ENTRY"
}
[ "$(value Name)" = "VYX Editor 1.0" ] || fail "Name is '$(value Name)'"
[ "$(value X-VYX-Product-Version)" = "$VERSION" ] || fail "version is '$(value X-VYX-Product-Version)'"
[ "$(value Exec)" = "vyx-editor %f" ] || fail "Exec is '$(value Exec)'"
[ "$(value MimeType)" = "text/x-vyx;" ] || fail "MimeType is '$(value MimeType)'"
[ "$(value Icon)" = "vyx-editor" ] || fail "Icon is '$(value Icon)'"
if grep -q '@' "$ENTRY"; then fail "unsubstituted placeholder left in $ENTRY"; fi
echo "desktop entry ok"
