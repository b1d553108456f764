#include "textcodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

// Code points of the bytes 0x80..0x9F in Windows-1252; the undefined bytes
// keep their own value.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

int cp1252Byte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] == c)
            return 0x80 + i;
    }
    return -1;
}

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

bool isUtf16(TextEncoding encoding)
{
    return encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE;
}

QStringConverter::Encoding qtEncoding(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf16LE:
        return QStringConverter::Utf16LE;
    case TextEncoding::Utf16BE:
        return QStringConverter::Utf16BE;
    default:
        return QStringConverter::Utf8;
    }
}

qsizetype bomLength(TextFormat format)
{
    if (!format.bom)
        return 0;
    return isUtf16(format.encoding) ? 2 : 3;
}

// Where a piece that starts at `from` ends: at most `maxBytes` on, never in
// the middle of a character, and never between a CR and what follows it (a
// CR at the end goes to the next piece), so that pieces decode and break
// lines exactly as the whole would.
qsizetype pieceEnd(QByteArrayView bytes, qsizetype from, qsizetype maxBytes, TextEncoding encoding)
{
    const qsizetype n = bytes.size();
    if (n - from <= maxBytes)
        return n;
    qsizetype end = from + maxBytes;
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    if (isUtf16(encoding)) {
        end -= (end - from) % 2;
        const auto unit = [&](qsizetype i) {
            return encoding == TextEncoding::Utf16LE ? byte(i) | (byte(i + 1) << 8)
                                                     : (byte(i) << 8) | byte(i + 1);
        };
        if (unit(end - 2) == u'\r')
            end -= 2;
        if (unit(end - 2) >= 0xD800 && unit(end - 2) < 0xDC00)
            end -= 2;
        return end;
    }
    if (encoding == TextEncoding::Utf8) {
        for (int i = 0; i < 3 && (byte(end) & 0xC0) == 0x80; ++i)
            --end;
    }
    if (byte(end - 1) == '\r')
        --end;
    return end;
}

// True when every piece of the bytes decodes without error; decodes through
// a small buffer instead of building the whole text.
bool decodesCleanly(QByteArrayView bytes, TextEncoding encoding)
{
    constexpr qsizetype kSlice = 256 * 1024;
    QStringDecoder decoder(qtEncoding(encoding), QStringConverter::Flag::Stateless);
    QString buffer(decoder.requiredSpace(kSlice), Qt::Uninitialized);
    for (qsizetype from = 0; from < bytes.size();) {
        const qsizetype end = pieceEnd(bytes, from, kSlice, encoding);
        decoder.appendToBuffer(buffer.data(), bytes.sliced(from, end - from));
        if (decoder.hasError())
            return false;
        from = end;
    }
    return true;
}

} // namespace

QString fromWindows1252(QByteArrayView bytes)
{
    QString text = QString::fromLatin1(bytes);
    char16_t *data = reinterpret_cast<char16_t *>(text.data());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (data[i] >= 0x80 && data[i] < 0xA0)
            data[i] = kCp1252High[data[i] - 0x80];
    }
    return text;
}

bool toWindows1252(const QString &text, QByteArray *out)
{
    out->resize(text.size());
    char *dst = out->data();
    const char16_t *src = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = src[i];
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            dst[i] = static_cast<char>(c);
            continue;
        }
        const int b = cp1252Byte(c);
        if (b < 0)
            return false;
        dst[i] = static_cast<char>(b);
    }
    return true;
}

TextFormat detectTextFormat(QByteArrayView bytes)
{
    const auto starts = [&](const char *bom, qsizetype n) {
        return bytes.size() >= n && memcmp(bytes.data(), bom, size_t(n)) == 0;
    };
    if (starts("\xFF\xFE", 2) || starts("\xFE\xFF", 2)) {
        const TextEncoding utf16
            = bytes[0] == '\xFF' ? TextEncoding::Utf16LE : TextEncoding::Utf16BE;
        if (bytes.size() % 2 == 0 && decodesCleanly(bytes.sliced(2), utf16))
            return {utf16, true};
    } else if (starts("\xEF\xBB\xBF", 3)) {
        if (decodesCleanly(bytes.sliced(3), TextEncoding::Utf8))
            return {TextEncoding::Utf8, true};
    } else if (isAscii(bytes)) {
        return {TextEncoding::Auto, false};
    } else if (decodesCleanly(bytes, TextEncoding::Utf8)) {
        return {TextEncoding::Utf8, false};
    }
    return {TextEncoding::Windows1252, false};
}

TextPieces::TextPieces(QByteArrayView bytes, TextFormat format, qsizetype pieceBytes)
    : m_bytes(bytes.sliced(bomLength(format)))
    , m_encoding(format.encoding)
    , m_pieceBytes(qMax<qsizetype>(pieceBytes, 16))
{
}

bool TextPieces::next(QString *piece)
{
    if (m_pos >= m_bytes.size())
        return false;
    const qsizetype end = pieceEnd(m_bytes, m_pos, m_pieceBytes, m_encoding);
    const QByteArrayView bytes = m_bytes.sliced(m_pos, end - m_pos);
    m_pos = end;
    switch (m_encoding) {
    case TextEncoding::Auto:
        *piece = QString::fromLatin1(bytes);
        break;
    case TextEncoding::Windows1252:
        *piece = fromWindows1252(bytes);
        break;
    default:
        *piece = QStringDecoder(qtEncoding(m_encoding), QStringConverter::Flag::Stateless)
                     .decode(bytes);
        break;
    }
    return true;
}

qsizetype longestLine(QByteArrayView bytes, TextEncoding encoding)
{
    qsizetype longest = 0;
    qsizetype start = 0;
    if (isUtf16(encoding)) {
        const int low = encoding == TextEncoding::Utf16LE ? 0 : 1;
        const qsizetype n = bytes.size() / 2 * 2;
        for (qsizetype i = 0; i < n; i += 2) {
            const char c = bytes[i + low];
            if ((c == '\r' || c == '\n') && bytes[i + 1 - low] == 0) {
                longest = qMax(longest, (i - start) / 2);
                start = i + 2;
            }
        }
        return qMax(longest, (n - start) / 2);
    }
    const char *data = bytes.data();
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (data[i] == '\r' || data[i] == '\n') {
            longest = qMax(longest, i - start);
            start = i + 1;
        }
    }
    return qMax(longest, n - start);
}

DecodedText decodeText(const QByteArray &bytes)
{
    DecodedText result;
    const TextFormat format = detectTextFormat(bytes);
    result.encoding = format.encoding;
    result.bom = format.bom;
    TextPieces pieces(bytes, format, bytes.size());
    pieces.next(&result.text);
    return result;
}

QByteArray encodeText(const QString &text, TextEncoding encoding, bool bom,
                      TextEncoding *encodingUsed)
{
    TextEncoding used = encoding;
    QByteArray out;
    if (encoding == TextEncoding::Auto || encoding == TextEncoding::Windows1252) {
        if (toWindows1252(text, &out)) {
            if (encodingUsed)
                *encodingUsed = used;
            return out;
        }
        used = TextEncoding::Utf8;
        bom = false;
    }

    QStringConverter::Encoding qtEncoding = QStringConverter::Utf8;
    if (used == TextEncoding::Utf16LE)
        qtEncoding = QStringConverter::Utf16LE;
    else if (used == TextEncoding::Utf16BE)
        qtEncoding = QStringConverter::Utf16BE;
    QStringEncoder encoder(
        qtEncoding, bom ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
    out = encoder.encode(text);
    if (encodingUsed)
        *encodingUsed = used;
    return out;
}
