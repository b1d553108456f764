#pragma once

#include <QByteArray>
#include <QString>

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

// How a file's bytes are to be read: UTF-16 when they start with a UTF-16
// byte order mark, UTF-8 when they are valid UTF-8 (with or without a BOM),
// and Windows-1252 otherwise, which maps every byte to a character so that
// nothing is lost. Checks the bytes without decoding them all at once.
struct TextFormat
{
    TextEncoding encoding = TextEncoding::Auto;
    bool bom = false;
};
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

private:
    QByteArrayView m_bytes;
    TextEncoding m_encoding;
    qsizetype m_pos = 0;
    qsizetype m_pieceBytes;
};

// The length of the longest line, in code units of the encoding (bytes, or
// 16-bit units for UTF-16); CR, LF and CR LF end lines.
qsizetype longestLine(QByteArrayView bytes, TextEncoding encoding);

// Decodes a file's bytes whole, in the format detectTextFormat finds.
DecodedText decodeText(const QByteArray &bytes);

// Encodes text in the given encoding, with a byte order mark when asked.
// Text that does not fit Windows-1252 (or Auto) is written as UTF-8 instead
// of losing characters; encodingUsed reports what was written.
QByteArray encodeText(const QString &text, TextEncoding encoding, bool bom,
                      TextEncoding *encodingUsed = nullptr);

// Windows-1252 in both directions. Qt only offers it through ICU, whose
// mapping of the five undefined bytes varies; these map them to the C1
// controls of the same value so that any byte string round-trips.
QString fromWindows1252(QByteArrayView bytes);
// Returns false (and leaves *out partial) when a character has no byte.
bool toWindows1252(const QString &text, QByteArray *out);
