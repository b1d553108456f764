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

bool isAscii(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

bool decodeStrict(QStringConverter::Encoding encoding, QByteArrayView bytes, QString *out)
{
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    *out = decoder.decode(bytes);
    return !decoder.hasError();
}

} // namespace

QString fromWindows1252(const QByteArray &bytes)
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

DecodedText decodeText(const QByteArray &bytes)
{
    DecodedText result;
    const auto starts = [&](const char *bom, int n) { return bytes.size() >= n && memcmp(bytes.constData(), bom, n) == 0; };

    if (starts("\xFF\xFE", 2) || starts("\xFE\xFF", 2)) {
        const bool le = static_cast<unsigned char>(bytes[0]) == 0xFF;
        QString text;
        if (bytes.size() % 2 == 0
            && decodeStrict(le ? QStringConverter::Utf16LE : QStringConverter::Utf16BE,
                            QByteArrayView(bytes).sliced(2), &text)) {
            result.text = text;
            result.encoding = le ? TextEncoding::Utf16LE : TextEncoding::Utf16BE;
            result.bom = true;
            return result;
        }
    } else if (starts("\xEF\xBB\xBF", 3)) {
        QString text;
        if (decodeStrict(QStringConverter::Utf8, QByteArrayView(bytes).sliced(3), &text)) {
            result.text = text;
            result.encoding = TextEncoding::Utf8;
            result.bom = true;
            return result;
        }
    } else if (isAscii(bytes)) {
        result.text = QString::fromLatin1(bytes);
        result.encoding = TextEncoding::Auto;
        return result;
    } else {
        QString text;
        if (decodeStrict(QStringConverter::Utf8, bytes, &text)) {
            result.text = text;
            result.encoding = TextEncoding::Utf8;
            return result;
        }
    }
    result.text = fromWindows1252(bytes);
    result.encoding = TextEncoding::Windows1252;
    return result;
}

QByteArray encodeText(const QString &text, TextEncoding encoding, bool bom, TextEncoding *encodingUsed)
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
    QStringEncoder encoder(qtEncoding, bom ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
    out = encoder.encode(text);
    if (encodingUsed)
        *encodingUsed = used;
    return out;
}

QString toCrLf(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.size() / 32);
    const QChar *p = text.constData();
    const qsizetype n = text.size();
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i].unicode();
        if (c != u'\r' && c != u'\n')
            continue;
        out.append(p + runStart, i - runStart);
        out.append(QLatin1String("\r\n"));
        if (c == u'\r' && i + 1 < n && p[i + 1] == u'\n')
            ++i;
        runStart = i + 1;
    }
    out.append(p + runStart, n - runStart);
    return out;
}
