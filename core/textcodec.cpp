#include "textcodec.h"

#include <QStringDecoder>

#include <algorithm>
#include <cstring>
#include <vector>

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

bool isUtf16(TextEncoding encoding)
{
    return encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE;
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
// lines exactly as the whole would. A UTF-8 piece may end on a stray
// continuation byte only after three others, which no lead byte can claim.
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

constexpr char16_t kEscapeBase = 0xDC00;

bool isEscape(char16_t c)
{
    return c >= kEscapeBase && c <= kEscapeBase + 0xFF;
}

// Characters the text document turns into something else: line and
// paragraph separators become line ends, U+FDD0/U+FDD1 mark frames.
bool documentCannotHold(char32_t c)
{
    return c == 0x2028 || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1;
}

bool anyDocumentCannotHold(QStringView text)
{
    // Most text is below U+2028: one compare per character, then the four.
    for (const QChar c : text) {
        if (c.unicode() >= 0x2028 && documentCannotHold(c.unicode()))
            return true;
    }
    return false;
}

// The length of the valid UTF-8 sequence at p (0 when there is none: a
// stray byte, an overlong form, a surrogate, or past U+10FFFF).
int utf8Sequence(const unsigned char *p, qsizetype avail, char32_t *code)
{
    const unsigned b = p[0];
    int len;
    char32_t c, min;
    if (b < 0x80) {
        *code = b;
        return 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
        len = 2, c = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3, c = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4, c = b & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (avail < len)
        return 0;
    for (int k = 1; k < len; ++k) {
        if ((p[k] & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (p[k] & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    *code = c;
    return len;
}

// UTF-8 with escapes, by hand: Qt's decoder puts U+FFFD where a byte does
// not decode, which would lose the byte.
QString decodeUtf8Escaped(QByteArrayView bytes)
{
    QString out(bytes.size(), Qt::Uninitialized); // never more units than bytes
    char16_t *dst = reinterpret_cast<char16_t *>(out.data());
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        char32_t c;
        const int len = utf8Sequence(p + i, n - i, &c);
        if (len == 0 || documentCannotHold(c)) {
            for (int k = 0; k < qMax(len, 1); ++k)
                *dst++ = kEscapeBase + p[i + k];
            i += qMax(len, 1);
        } else if (c >= 0x10000) {
            *dst++ = QChar::highSurrogate(c);
            *dst++ = QChar::lowSurrogate(c);
            i += len;
        } else {
            *dst++ = char16_t(c);
            i += len;
        }
    }
    out.truncate(dst - reinterpret_cast<char16_t *>(out.data()));
    return out;
}

QString decodeUtf8(QByteArrayView bytes)
{
    // Qt's decoder is several times faster; the hand-written one is needed
    // only where a byte does not decode or a character must be escaped. The
    // BOM flag keeps a U+FEFF at the start of a piece as the character it is.
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless
                               | QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError() || anyDocumentCannotHold(text))
        return decodeUtf8Escaped(bytes);
    return text;
}

// UTF-16 by hand: a lone surrogate or a character the document cannot hold
// becomes its two bytes escaped, an odd last byte one escaped byte.
QString decodeUtf16(QByteArrayView bytes, bool littleEndian)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype units = bytes.size() / 2;
    const auto unit = [&](qsizetype i) -> char16_t {
        return littleEndian ? p[2 * i] | (p[2 * i + 1] << 8) : (p[2 * i] << 8) | p[2 * i + 1];
    };
    QString out(bytes.size(), Qt::Uninitialized);
    char16_t *dst = reinterpret_cast<char16_t *>(out.data());
    for (qsizetype i = 0; i < units; ++i) {
        const char16_t u = unit(i);
        if (QChar::isHighSurrogate(u) && i + 1 < units && QChar::isLowSurrogate(unit(i + 1))) {
            *dst++ = u;
            *dst++ = unit(++i);
        } else if (QChar::isSurrogate(u) || documentCannotHold(u)) {
            *dst++ = kEscapeBase + p[2 * i];
            *dst++ = kEscapeBase + p[2 * i + 1];
        } else {
            *dst++ = u;
        }
    }
    if (bytes.size() % 2)
        *dst++ = kEscapeBase + p[bytes.size() - 1];
    out.truncate(dst - reinterpret_cast<char16_t *>(out.data()));
    return out;
}

// True when every piece of the bytes decodes without error; decodes through
// a small buffer instead of building the whole text.
bool decodesCleanly(QByteArrayView bytes)
{
    constexpr qsizetype kSlice = 256 * 1024;
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString buffer(decoder.requiredSpace(kSlice), Qt::Uninitialized);
    for (qsizetype from = 0; from < bytes.size();) {
        const qsizetype end = pieceEnd(bytes, from, kSlice, TextEncoding::Utf8);
        decoder.appendToBuffer(buffer.data(), bytes.sliced(from, end - from));
        if (decoder.hasError())
            return false;
        from = end;
    }
    return true;
}

bool isAsciiLetter(unsigned char b)
{
    return (b | 0x20) >= 'a' && (b | 0x20) <= 'z';
}

// A two-byte sequence that Windows-1252 text forms by chance: an accented
// capital or ß followed by a quote or a sign ("ß“" is the NKo letter
// U+07D3). Written as UTF-8, a letter of such a script does not touch a
// Latin letter.
bool accidentalSequence(const unsigned char *p, qsizetype at, qsizetype n, char32_t c)
{
    if (!(at > 0 && isAsciiLetter(p[at - 1])) && !(at + 2 < n && isAsciiLetter(p[at + 2])))
        return false;
    const QChar::Script script = QChar::script(c);
    return QChar::isLetter(c) && script != QChar::Script_Latin && script != QChar::Script_Common;
}

// More valid multi-byte UTF-8 sequences than bytes that are not UTF-8: a
// UTF-8 file with a few stray bytes. Windows-1252 text rarely forms even one
// valid sequence, since its accented letters are not followed by 0x80-0xBF;
// one it forms by chance is no evidence.
bool mostlyUtf8(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype valid = 0, invalid = 0;
    for (qsizetype i = 0; i < n;) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        char32_t c;
        const int len = utf8Sequence(p + i, n - i, &c);
        if (len == 0) {
            // What is left cannot make up for the stray bytes: stop early.
            if (++invalid > valid + (n - i) / 2)
                return false;
            ++i;
            continue;
        }
        if (len > 2 || !accidentalSequence(p, i, n, c))
            ++valid;
        i += len;
    }
    return valid > 0 && invalid <= valid;
}

// UTF-16 without a BOM: zero bytes in the high half of many units (ASCII
// characters, line ends) and hardly any in the low half.
TextFormat guessUtf16(QByteArrayView bytes)
{
    if (bytes.size() < 2 || bytes.size() % 2)
        return {};
    qsizetype zeros[2] = {0, 0};
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == 0)
            ++zeros[i % 2];
    }
    const qsizetype units = bytes.size() / 2;
    for (int high = 0; high < 2; ++high) {
        const qsizetype z = zeros[high], other = zeros[1 - high];
        if (z >= qMax<qsizetype>(1, units / 4) && other * 8 <= z)
            return {high ? TextEncoding::Utf16LE : TextEncoding::Utf16BE, false};
    }
    return {};
}

// What a character says about text in UTF-16 without zero bytes.
enum class Shape : quint8 {
    Impossible, // unassigned, private use, a control or format mark, an odd space
    Neutral, // punctuation, symbols, digits, whole-unit line ends
    Mark, // combining: text only after a letter of an alphabet
    Letter,
};

struct UnitShape
{
    Shape shape;
    quint8 script; // of a letter; Han stands for kana and Bopomofo too, as Japanese mixes them
};
static_assert(QChar::ScriptCount <= 256);

UnitShape shapeOf(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
        return {Shape::Mark, 0};
    case QChar::Other_Control:
        return {c == '\t' || c == '\r' || c == '\n' ? Shape::Neutral : Shape::Impossible, 0};
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return {Shape::Impossible, 0};
    case QChar::Separator_Space:
        return {c == ' ' || c == 0xA0 || c == 0x3000 ? Shape::Neutral : Shape::Impossible, 0};
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
        break;
    default:
        return {Shape::Neutral, 0};
    }
    QChar::Script script = QChar::script(c);
    if (script == QChar::Script_Hiragana || script == QChar::Script_Katakana
        || script == QChar::Script_Bopomofo)
        script = QChar::Script_Han;
    return {Shape::Letter, quint8(script)};
}

// Qt looks a character's properties up in two tables per question; one table
// of the whole BMP, built once, keeps the scan of a big file fast.
UnitShape shapeOfUnit(char16_t u)
{
    static const std::vector<UnitShape> table = [] {
        std::vector<UnitShape> shapes(0x10000);
        for (char32_t c = 0; c < 0x10000; ++c)
            shapes[c] = shapeOf(c);
        return shapes;
    }();
    return table[u];
}

// UTF-16 that has no zero byte, such as Chinese text without ASCII, by the
// shape of its code units: no unpaired surrogate, nothing unassigned, private
// or a control, and mostly letters of one script. A line end is a whole unit
// (its other byte zero), so a CR or LF byte never stands in the high half of
// one, where the line ends of 8-bit text fall about half of the time.
// Windows-1252 text read this way gives Han for pairs of ASCII letters, but
// Hangul or private use for its accented letters, and a format mark or an
// unassigned character for most spaces before or after a letter; and it is
// mostly ASCII, with a space every few characters, where the bytes of CJK
// text are spread over all values.
bool shapedLikeUtf16(QByteArrayView bytes, bool littleEndian)
{
    // Without a zero byte a few code units prove nothing: four bytes of
    // Windows-1252 ("caf\xE9") make two CJK characters as well.
    const qsizetype units = bytes.size() / 2;
    if (units < 2 || bytes.size() % 2)
        return false;
    if (units < 8 && !memchr(bytes.data(), 0, size_t(bytes.size())))
        return false;
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const int hiByte = littleEndian ? 1 : 0;
    const auto unit
        = [&](qsizetype i) -> char16_t { return p[2 * i + hiByte] << 8 | p[2 * i + 1 - hiByte]; };
    qsizetype letters = 0, ascii = 0, spaces = 0;
    qsizetype perScript[256] = {};
    bool mayTakeMark = false;
    for (qsizetype i = 0; i < units; ++i) {
        const unsigned char b0 = p[2 * i], b1 = p[2 * i + 1];
        ascii += (b0 >= 0x20 && b0 < 0x7F) + (b1 >= 0x20 && b1 < 0x7F);
        spaces += (b0 == ' ' || b1 == ' ') && (b0 | b1) != ' ';
        const unsigned char hi = p[2 * i + hiByte];
        if (hi == '\r' || hi == '\n')
            return false;
        const char16_t u = unit(i);
        UnitShape shape;
        if (!QChar::isSurrogate(u)) {
            shape = shapeOfUnit(u);
        } else if (QChar::isHighSurrogate(u) && i + 1 < units
                   && QChar::isLowSurrogate(unit(i + 1))) {
            shape = shapeOf(QChar::surrogateToUcs4(u, unit(++i)));
        } else {
            return false;
        }
        if (shape.shape == Shape::Impossible || (shape.shape == Shape::Mark && !mayTakeMark))
            return false;
        if (shape.shape == Shape::Letter) {
            ++letters;
            ++perScript[shape.script];
            mayTakeMark = shape.script != QChar::Script_Han && shape.script != QChar::Script_Hangul;
        } else {
            mayTakeMark = shape.shape == Shape::Mark;
        }
    }
    const qsizetype most = *std::max_element(perScript, perScript + 256);
    return letters * 2 >= units && most * 4 >= letters * 3 && ascii * 8 < bytes.size() * 7
        && spaces * 16 <= units;
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

bool fitsEncoding(QStringView text, TextEncoding encoding)
{
    if (encoding != TextEncoding::Auto && encoding != TextEncoding::Windows1252)
        return true;
    for (const QChar c : text) {
        if (cp1252Byte(c.unicode()) < 0)
            return false;
    }
    return true;
}

TextFormat chosenTextFormat(QByteArrayView bytes, TextEncoding encoding)
{
    const TextFormat found = detectTextFormat(bytes);
    return {encoding, found.bom && found.encoding == encoding};
}

bool isAscii(QByteArrayView bytes)
{
    // Eight bytes at a time: most files are ASCII, and read whole.
    const char *data = bytes.data();
    const qsizetype size = bytes.size();
    qsizetype i = 0;
    quint64 high = 0;
    for (; i + 8 <= size; i += 8) {
        quint64 word;
        memcpy(&word, data + i, 8);
        high |= word;
    }
    for (; i < size; ++i)
        high |= quint8(data[i]);
    return (high & 0x8080808080808080ULL) == 0;
}

TextFormat detectTextFormat(QByteArrayView bytes)
{
    const auto starts = [&](const char *bom, qsizetype n) {
        return bytes.size() >= n && memcmp(bytes.data(), bom, size_t(n)) == 0;
    };
    if (starts("\xFF\xFE", 2))
        return {TextEncoding::Utf16LE, true};
    if (starts("\xFE\xFF", 2))
        return {TextEncoding::Utf16BE, true};
    if (starts("\xEF\xBB\xBF", 3))
        return {TextEncoding::Utf8, true};
    if (!bytes.isEmpty() && memchr(bytes.data(), 0, size_t(bytes.size()))) {
        const TextFormat utf16 = guessUtf16(bytes);
        if (utf16.encoding != TextEncoding::Auto)
            return utf16;
    }
    if (isAscii(bytes))
        return {TextEncoding::Auto, false};
    if (decodesCleanly(bytes) || mostlyUtf8(bytes))
        return {TextEncoding::Utf8, false};
    // Windows-1252 reads every byte string; UTF-16 must prove itself first.
    if (shapedLikeUtf16(bytes, true))
        return {TextEncoding::Utf16LE, false};
    if (shapedLikeUtf16(bytes, false))
        return {TextEncoding::Utf16BE, false};
    return {TextEncoding::Windows1252, false};
}

TextPieces::TextPieces(QByteArrayView bytes, TextFormat format, qsizetype pieceBytes)
    : m_bytes(bytes.sliced(qMin(bomLength(format), bytes.size())))
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
    case TextEncoding::Auto: // ASCII: no byte to map
        *piece = QString::fromLatin1(bytes);
        break;
    case TextEncoding::Windows1252:
        *piece = fromWindows1252(bytes);
        break;
    case TextEncoding::Utf8:
        *piece = decodeUtf8(bytes);
        break;
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE:
        *piece = decodeUtf16(bytes, m_encoding == TextEncoding::Utf16LE);
        break;
    }
    return true;
}

namespace {

qsizetype longestLine(QStringView text, qsizetype *current)
{
    qsizetype longest = 0;
    qsizetype run = *current;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\r' || u == u'\n' || u == 0x2028 || u == 0x2029) {
            longest = qMax(longest, run);
            run = 0;
        } else {
            ++run;
        }
    }
    *current = run;
    return qMax(longest, run);
}

} // namespace

qsizetype longestLine(QStringView text)
{
    qsizetype current = 0;
    return longestLine(text, &current);
}

qsizetype longestLine(QByteArrayView bytes, TextFormat format)
{
    // Decodes as the load will, piece by piece, so that the count is in the
    // characters the control will hold; costs about a hundredth of a load.
    TextPieces pieces(bytes, format);
    QString piece;
    qsizetype longest = 0, current = 0;
    while (pieces.next(&piece))
        longest = qMax(longest, longestLine(piece, &current));
    return longest;
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

namespace {

bool hasSurrogates(QStringView text)
{
    for (const QChar c : text) {
        if (c.isSurrogate())
            return true;
    }
    return false;
}

// UTF-8 with escaped bytes back as themselves; a lone surrogate that is not
// an escape (pasted from elsewhere) goes out in its three-byte form, which
// reads back as three escaped bytes.
void appendUtf8Escaped(QStringView text, QByteArray *out)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        char32_t c = u;
        if (QChar::isHighSurrogate(u) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(u, text[++i].unicode());
        } else if (isEscape(u) && u >= kEscapeBase + 0x80) {
            out->append(char(u - kEscapeBase));
            continue;
        }
        if (c < 0x80) {
            out->append(char(c));
        } else if (c < 0x800) {
            out->append(char(0xC0 | (c >> 6))).append(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out->append(char(0xE0 | (c >> 12)))
                .append(char(0x80 | ((c >> 6) & 0x3F)))
                .append(char(0x80 | (c & 0x3F)));
        } else {
            out->append(char(0xF0 | (c >> 18)))
                .append(char(0x80 | ((c >> 12) & 0x3F)))
                .append(char(0x80 | ((c >> 6) & 0x3F)))
                .append(char(0x80 | (c & 0x3F)));
        }
    }
}

void appendUtf16(QStringView text, bool littleEndian, QByteArray *out)
{
    const qsizetype n = text.size();
    out->reserve(out->size() + 2 * n);
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        const bool paired = QChar::isHighSurrogate(u) && i + 1 < n && text[i + 1].isLowSurrogate();
        if (isEscape(u)) {
            out->append(char(u - kEscapeBase));
            continue;
        }
        const char lo = char(u & 0xFF), hi = char(u >> 8);
        out->append(littleEndian ? lo : hi).append(littleEndian ? hi : lo);
        if (paired) {
            const char16_t l = text[++i].unicode();
            const char llo = char(l & 0xFF), lhi = char(l >> 8);
            out->append(littleEndian ? llo : lhi).append(littleEndian ? lhi : llo);
        }
    }
}

} // namespace

QByteArray encodeText(const QString &text, TextEncoding encoding, bool bom,
                      TextEncoding *encodingUsed)
{
    TextEncoding used = encoding;
    QByteArray out;
    if (encoding == TextEncoding::Auto || encoding == TextEncoding::Windows1252) {
        if (!toWindows1252(text, &out)) {
            used = TextEncoding::Utf8;
            bom = false;
        }
    }
    if (used == TextEncoding::Utf8) {
        out = bom ? QByteArray("\xEF\xBB\xBF") : QByteArray();
        if (hasSurrogates(text))
            appendUtf8Escaped(text, &out);
        else
            out += text.toUtf8();
    } else if (isUtf16(used)) {
        const bool le = used == TextEncoding::Utf16LE;
        out = bom ? QByteArray(le ? "\xFF\xFE" : "\xFE\xFF") : QByteArray();
        appendUtf16(text, le, &out);
    }
    if (encodingUsed)
        *encodingUsed = used;
    return out;
}

namespace {

// Calls f(start, length) on each run of kept bytes that cannot stand in the
// encoding (see misplacedKeptByte); stops when f returns false.
template<typename F>
void forEachMisplacedRun(QStringView text, TextEncoding encoding, F &&f)
{
    if (!isUtf16(encoding))
        return;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        if (!isEscape(text[i].unicode())) {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < n && isEscape(text[end].unicode()))
            ++end;
        if ((end - i) % 2 != 0 && end < n && !f(i, end - i))
            return;
        i = end;
    }
}

} // namespace

qsizetype misplacedKeptByte(QStringView text, TextEncoding encoding)
{
    qsizetype found = -1;
    forEachMisplacedRun(text, encoding, [&found](qsizetype start, qsizetype) {
        found = start;
        return false;
    });
    return found;
}

QList<std::pair<qsizetype, qsizetype>> misplacedKeptBytes(QStringView text, TextEncoding encoding)
{
    QList<std::pair<qsizetype, qsizetype>> runs;
    forEachMisplacedRun(text, encoding, [&runs](qsizetype start, qsizetype length) {
        runs.append({start, length});
        return true;
    });
    return runs;
}

QStringList detectedEncodingNames()
{
    return {QStringLiteral("UTF-8"), QStringLiteral("UTF-16 LE"), QStringLiteral("UTF-16 BE"),
            QStringLiteral("Windows-1252")};
}

QStringList legacyEncodingNames()
{
    return {QStringLiteral("Shift_JIS"),    QStringLiteral("GBK"),
            QStringLiteral("GB18030"),      QStringLiteral("Big5"),
            QStringLiteral("EUC-KR"),       QStringLiteral("KOI8-R"),
            QStringLiteral("Windows-1250"), QStringLiteral("Windows-1251"),
            QStringLiteral("ISO-8859-1"),   QStringLiteral("ISO-8859-2"),
            QStringLiteral("ISO-8859-5"),   QStringLiteral("ISO-8859-15")};
}

QString encodingName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Utf16LE:
        return QStringLiteral("UTF-16 LE");
    case TextEncoding::Utf16BE:
        return QStringLiteral("UTF-16 BE");
    case TextEncoding::Auto:
    case TextEncoding::Windows1252:
        break;
    }
    return QStringLiteral("Windows-1252");
}

bool encodingForName(const QString &name, TextEncoding *encoding)
{
    for (const TextEncoding e : {TextEncoding::Utf8, TextEncoding::Utf16LE, TextEncoding::Utf16BE,
                                 TextEncoding::Windows1252}) {
        if (encodingName(e) == name) {
            *encoding = e;
            return true;
        }
    }
    return false;
}

FileEncoding FileEncoding::detected(TextFormat format)
{
    FileEncoding e;
    e.kind = format.encoding;
    e.bom = format.bom;
    // UTF-8 files mostly go without a BOM: one is named. UTF-16 has one as a rule.
    e.name = e.kind == TextEncoding::Utf8 && e.bom ? QStringLiteral("UTF-8 with BOM")
                                                   : encodingName(e.kind);
    return e;
}

FileEncoding FileEncoding::legacy(const QString &codec, bool exact)
{
    FileEncoding e;
    e.legacyCodec = codec;
    e.exact = exact;
    e.name = codec;
    return e;
}

FileEncoding FileEncoding::automatic(bool needsUtf8)
{
    FileEncoding e;
    e.name = encodingName(needsUtf8 ? TextEncoding::Utf8 : TextEncoding::Windows1252);
    return e;
}

bool FileEncoding::fromName(const QString &name, FileEncoding *encoding)
{
    TextEncoding kind;
    if (encodingForName(name, &kind)) {
        *encoding = detected({kind, false});
        return true;
    }
    if (!legacyEncodingNames().contains(name))
        return false;
    *encoding = legacy(name, true);
    return true;
}

bool FileEncoding::operator==(const FileEncoding &other) const
{
    return kind == other.kind && legacyCodec == other.legacyCodec && bom == other.bom
        && exact == other.exact && name == other.name;
}

QString decodeLegacy(QByteArrayView bytes, const QString &codec, bool *exact)
{
    QStringDecoder decoder(codec.toLatin1().constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid()) {
        *exact = false;
        return QString();
    }
    const QString text = decoder.decode(bytes);
    QByteArray back;
    // Checked on the bytes themselves: some decoders map several byte
    // sequences to one character, which only the way back shows.
    *exact = !decoder.hasError() && !anyDocumentCannotHold(text) && encodeLegacy(text, codec, &back)
        && back == bytes;
    return text;
}

bool encodeLegacy(QStringView text, const QString &codec, QByteArray *out)
{
    QStringEncoder encoder(codec.toLatin1().constData(), QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return false;
    *out = encoder.encode(text);
    if (encoder.hasError())
        return false;
    // Qt's own Latin-1 encoder puts '?' for a character it lacks without an
    // error: only decoding the bytes again tells.
    QStringDecoder decoder(codec.toLatin1().constData(), QStringConverter::Flag::Stateless);
    const QString back = decoder.decode(*out);
    return back == text && !decoder.hasError();
}
