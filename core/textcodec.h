#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// How a document's bytes were (or will be) encoded on disk.
enum class TextEncoding {
    // Nothing decided yet: a new document, or a file of plain ASCII. Written
    // as Windows-1252 when every character fits, otherwise as UTF-8.
    Auto,
    Windows1252,
    Utf8,
    Utf16LE,
    Utf16BE,
};

struct DecodedText
{
    QString text; // line ends exactly as in the file
    TextEncoding encoding = TextEncoding::Auto;
    bool bom = false;
};

// How a file's bytes are to be read, decided by evidence, in this order: a
// byte order mark; UTF-16 when zero bytes fall in every other place as they
// do in UTF-16 without a BOM; Auto for plain ASCII; UTF-8 when the bytes hold
// at least as many valid multi-byte UTF-8 sequences (not counting one that
// Windows-1252 text forms by chance) as bytes that are not UTF-8; UTF-16
// without zero bytes (Chinese, say) when its code units have the shape of
// text, with line ends as whole units, from 8 code units on; Windows-1252
// for all else.
//
// Every encoding reads every byte string and writes it back exactly (line
// ends aside). What cannot be read as a character in the encoding found (a
// stray byte, a lone UTF-16 surrogate, an odd last byte) or what the editing
// control cannot hold as itself (U+2028 and U+2029, which it takes as line
// ends, and U+FDD0/U+FDD1, its frame marks) is read byte by byte, each byte
// b as the lone surrogate U+DC00 + b, and written back as that byte: the
// "surrogateescape" scheme of Python's PEP 383, widened to all 256 bytes for
// UTF-16. Such a surrogate never stands for itself in the text read.
struct TextFormat
{
    TextEncoding encoding = TextEncoding::Auto;
    bool bom = false;
};
// The format of bytes read in an encoding the user chose: the file's byte
// order mark, when it is that encoding's, stays a mark rather than a character.
TextFormat chosenTextFormat(QByteArrayView bytes, TextEncoding encoding);
// True when no byte is over 0x7F.
bool isAscii(QByteArrayView bytes);
TextFormat detectTextFormat(QByteArrayView bytes);

// Decodes the bytes of a known format piece by piece, so that a big file is
// loaded without holding all of its decoded text at once. Each piece ends on
// a whole character and never between a CR and its LF.
class TextPieces
{
public:
    TextPieces(QByteArrayView bytes, TextFormat format, qsizetype pieceBytes = 1024 * 1024);
    // The next piece; false when all bytes have been decoded.
    bool next(QString *piece);
    // How many of the bytes have been decoded so far, and how many there are.
    qsizetype bytesDone() const { return m_pos; }
    qsizetype bytesTotal() const { return m_bytes.size(); }

private:
    QByteArrayView m_bytes;
    TextEncoding m_encoding;
    qsizetype m_pos = 0;
    qsizetype m_pieceBytes;
};

// The length in characters (UTF-16 code units) of the longest line of the
// bytes read in the given format; CR, LF and CR LF end lines.
qsizetype longestLine(QByteArrayView bytes, TextFormat format);
// The same for text, where U+2028 and U+2029 end lines as well.
qsizetype longestLine(QStringView text);

// Decodes a file's bytes whole, in the format detectTextFormat finds.
DecodedText decodeText(const QByteArray &bytes);

// Encodes text in the given encoding, with a byte order mark when asked (even
// for empty text), escaped bytes back as themselves. Text that does not fit
// Windows-1252 (or Auto) is written as UTF-8 instead of losing characters;
// encodingUsed reports what was written.
QByteArray encodeText(const QString &text, TextEncoding encoding, bool bom,
                      TextEncoding *encodingUsed = nullptr);

// Windows-1252 in both directions. Qt only offers it through ICU, whose
// mapping of the five undefined bytes varies; these map them to the C1
// controls of the same value so that any byte string round-trips.
QString fromWindows1252(QByteArrayView bytes);
// Returns false (and leaves *out partial) when a character has no byte.
bool toWindows1252(const QString &text, QByteArray *out);
// True when every character of the text has a byte in the encoding.
bool fitsEncoding(QStringView text, TextEncoding encoding);

// Where the text holds kept bytes that cannot be written in the encoding as
// they are, or -1. In UTF-16 a kept byte stands only beside another, as the
// halves of a code unit, or as the odd byte at the very end: one pasted from
// a file in another encoding would, written alone, shift every character
// after it by a byte. In the other encodings any byte stands.
qsizetype misplacedKeptByte(QStringView text, TextEncoding encoding);
// Every run of such bytes, as its start and length.
QList<std::pair<qsizetype, qsizetype>> misplacedKeptBytes(QStringView text, TextEncoding encoding);
// The encodings a file can be read again in by name (File > Reopen with
// Encoding): first those the editor detects by itself, then legacy ones,
// which Qt converts through ICU.
QStringList detectedEncodingNames();
QStringList legacyEncodingNames();
// The name a user knows an encoding by ("UTF-8", "Windows-1252"); Auto is
// named as what it writes when every character fits, Windows-1252.
QString encodingName(TextEncoding encoding);
// The detected encoding of that name; false when it names none of them.
bool encodingForName(const QString &name, TextEncoding *encoding);

// How a document's file is written, as one value: the kind of encoding
// (one the editor detects, or a legacy one by its codec's name), whether the
// file starts with a byte order mark, whether its bytes came back exactly
// when read, and the name the editor shows for it. The name of Auto is what Save
// writes: "Windows-1252", or "UTF-8" once the text holds a character
// Windows-1252 lacks (the document keeps it up to date).
struct FileEncoding
{
    TextEncoding kind = TextEncoding::Auto; // Auto for a legacy encoding too
    QString legacyCodec; // a legacy encoding's name; empty for the others
    bool bom = false;
    // False when the bytes read in a legacy encoding do not come back
    // exactly from encoding the text again; the others always do.
    bool exact = true;
    QString name = QStringLiteral("Windows-1252");

    static FileEncoding detected(TextFormat format);
    static FileEncoding legacy(const QString &codec, bool exact);
    // Auto, named as what Save would write for text that needs UTF-8 or not.
    static FileEncoding automatic(bool needsUtf8);
    // The encoding of a name from detectedEncodingNames() or
    // legacyEncodingNames(); false when it names none of them.
    static bool fromName(const QString &name, FileEncoding *encoding);

    bool isLegacy() const { return !legacyCodec.isEmpty(); }
    // Decided by the text at each Save: Windows-1252 when every character
    // fits, otherwise UTF-8.
    bool isAuto() const { return kind == TextEncoding::Auto && !isLegacy(); }
    bool isUtf16() const { return kind == TextEncoding::Utf16LE || kind == TextEncoding::Utf16BE; }
    bool operator==(const FileEncoding &other) const;
    bool operator!=(const FileEncoding &other) const { return !(*this == other); }
};

// A legacy encoding: decodes bytes whole and tells whether the bytes come
// back exactly when the text is encoded again (a character decoded as a
// replacement, two byte sequences for one character, or a character the
// editing control cannot hold as itself all make it not exact).
QString decodeLegacy(QByteArrayView bytes, const QString &codec, bool *exact);
// Encodes text in a legacy encoding; false when a character has no bytes
// there (*out is then partial).
bool encodeLegacy(QStringView text, const QString &codec, QByteArray *out);
