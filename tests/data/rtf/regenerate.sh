#!/bin/sh
# Regenerates the rich-text corpus from the sources in source/ with programs
# that write RTF: LibreOffice Writer, pandoc and enscript (Debian packages
# libreoffice-writer-nogui, pandoc, enscript). Each NAME.rtf sits beside
# NAME.txt, the plain text a reader must find in it (UTF-8, LF line ends).
# The output is committed; the build and the tests don't need these programs.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
src="$here/source"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# LibreOffice, from UTF-8 plain text and from formatted HTML.
cp "$src/plain.txt" "$src/formatted.html" "$work/"
(cd "$work" &&
    soffice --headless -env:UserInstallation="file://$work/profile" \
        --infilter="Text (encoded):UTF8,LF,,," --convert-to rtf plain.txt >/dev/null 2>&1 &&
    soffice --headless -env:UserInstallation="file://$work/profile" \
        --convert-to 'rtf:Rich Text Format' formatted.html >/dev/null 2>&1)
cp "$work/plain.rtf" "$here/libreoffice-plain.rtf"
cp "$src/plain.txt" "$here/libreoffice-plain.txt"
cp "$work/formatted.rtf" "$here/libreoffice-formatted.rtf"
cp "$src/formatted.txt" "$here/libreoffice-formatted.txt"

# pandoc, from Markdown with emphasis.
pandoc -s -f markdown -t rtf "$src/formatted.md" -o "$here/pandoc-markdown.rtf"
printf 'Markdown source with bold words and italic words.\nSecond paragraph: caf\303\251 costs 5 \342\202\254, fine.\n' \
    > "$here/pandoc-markdown.txt"

# enscript reads Latin-1 and writes its bytes as they are.
enscript -q -X latin1 -w rtf -o "$here/enscript-latin1.rtf" "$src/latin1.txt"
iconv -f latin1 -t utf-8 "$src/latin1.txt" > "$here/enscript-latin1.txt"
