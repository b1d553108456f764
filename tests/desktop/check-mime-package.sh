#!/bin/sh
# The shared-mime-info package is well-formed (and valid, where a schema is
# installed) and declares *.vyx as text/x-vyx, a kind of text/plain.
. "$(dirname "$0")/lib.sh"
XML=$1
need xmllint

xmllint --noout "$XML" || fail "$XML is not well-formed"

schema=$(find /usr/share/xml /usr/share/mime /usr/share/shared-mime-info -maxdepth 3 \
    \( -name 'shared-mime-info*.xsd' -o -name 'shared-mime-info*.rng' \) 2>/dev/null | head -n 1 || true)
case "$schema" in
    *.xsd) xmllint --noout --schema "$schema" "$XML" || fail "invalid against $schema" ;;
    *.rng) xmllint --noout --relaxng "$schema" "$XML" || fail "invalid against $schema" ;;
    *) echo "no shared-mime-info schema installed: checked well-formedness only" ;;
esac

type="/*[local-name()='mime-info' and namespace-uri()='http://www.freedesktop.org/standards/shared-mime-info']/*[local-name()='mime-type' and @type='text/x-vyx']"
query() {
    xmllint --xpath "$1" "$XML" 2>/dev/null || true
}
[ "$(query "count($type)")" = "1" ] || fail "no single text/x-vyx type in the shared-mime-info namespace"
[ "$(query "string($type/*[local-name()='glob']/@pattern)")" = "*.vyx" ] || fail "glob is not *.vyx"
[ "$(query "string($type/*[local-name()='sub-class-of']/@type)")" = "text/plain" ] \
    || fail "text/x-vyx is not a sub-class of text/plain"
[ -n "$(query "string($type/*[local-name()='comment'])")" ] || fail "text/x-vyx has no comment"
echo "mime package ok"
