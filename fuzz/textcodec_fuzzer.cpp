// libFuzzer entry point over the round trip of a plain-text file: any bytes,
// decoded piece by piece into a document as the editor loads them and
// encoded back as the editor saves them, give the same bytes with every
// line end as CR LF.
#include "textcodec.h"

#include <QTextCursor>
#include <QTextDocument>

#include <cstdlib>

namespace {

// The bytes with CR LF, lone CR and lone LF all as CR LF, counted in the
// code units of the format.
QByteArray withCrLf(const QByteArray &bytes, TextFormat format)
{
    const bool le = format.encoding == TextEncoding::Utf16LE;
    const int unit = le || format.encoding == TextEncoding::Utf16BE ? 2 : 1;
    const qsizetype head = !format.bom ? 0 : unit == 2 ? 2 : 3;
    const auto at = [&](qsizetype i) -> int {
        if (i + unit > bytes.size())
            return -1;
        const uchar a = uchar(bytes[i]), b = unit == 2 ? uchar(bytes[i + 1]) : 0;
        return unit == 1 ? a : le ? a | b << 8 : a << 8 | b;
    };
    const QByteArray crlf = unit == 1 ? QByteArray("\r\n")
        : le                          ? QByteArray("\r\0\n\0", 4)
                                      : QByteArray("\0\r\0\n", 4);
    QByteArray out = bytes.left(head);
    for (qsizetype i = head; i < bytes.size();) {
        const int c = at(i);
        if (c == '\r' || c == '\n') {
            out += crlf;
            i += c == '\r' && at(i + unit) == '\n' ? 2 * unit : unit;
        } else {
            out += bytes.mid(i, c < 0 ? 1 : unit);
            i += c < 0 ? 1 : unit;
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const TextFormat format = detectTextFormat(bytes);

    // Small pieces, so that every kind of cut is tried.
    QTextDocument doc;
    QTextCursor cursor(&doc);
    TextPieces pieces(bytes, format, 16);
    QString piece;
    while (pieces.next(&piece))
        cursor.insertText(piece);

    QString text = doc.toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1String("\r\n"));
    TextEncoding used;
    const QByteArray saved = encodeText(text, format.encoding, format.bom, &used);
    if (used != format.encoding || saved != withCrLf(bytes, format))
        std::abort();
    return 0;
}
