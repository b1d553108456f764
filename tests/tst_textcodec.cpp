#include "textcodec.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestTextCodec : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void decode_data();
    void decode();
    void piecesDecodeAsTheWhole_data();
    void piecesDecodeAsTheWhole();
    void detectionSeesPastTheFirstSlice();
    void savesAsUtf8WhatWindows1252CannotHold();
};

Q_DECLARE_METATYPE(TextEncoding)

void TestTextCodec::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<bool>("bom");
    QTest::addColumn<QByteArray>("saved"); // an unedited Save: line ends become CR LF

    const auto row = [](const char *name, const QByteArray &bytes, const QString &text,
                        TextEncoding encoding, bool bom = false, const QByteArray &saved = {}) {
        QTest::newRow(name) << bytes << text << encoding << bom << (saved.isNull() ? bytes : saved);
    };
    using E = TextEncoding;
    // clang-format off
    row("empty", QByteArray(), QString(), E::Auto);
    row("ascii", "abc\r\n", "abc\r\n", E::Auto);
    row("ascii-lf-even", "ab\ncd\n", "ab\ncd\n", E::Auto, false, "ab\r\ncd\r\n");
    row("nul-bytes", QByteArray("a\0b", 3), QString::fromLatin1("a\0b", 3), E::Auto);
    row("cp1252", "caf\xE9 \x97\xA0", u"caf\u00E9 \u2014\u00A0"_s, E::Windows1252);
    row("cp1252-undefined", "\x81\x8D\x8F\x90\x9D", u"\u0081\u008D\u008F\u0090\u009D"_s, E::Windows1252);
    // "ß“" is also the UTF-8 of an NKo letter, which no Latin word holds.
    row("cp1252-chance-utf8", "// Waffe \x84Sto\xDF\x93\r\n", u"// Waffe \u201EStoß\u201C\r\n"_s, E::Windows1252);
    // Of even length, yet no UTF-16.
    row("cp1252-lf-even", "Caf\xE9\nna\xEFve\n", u"Café\nnaïve\n"_s, E::Windows1252, false, "Caf\xE9\r\nna\xEFve\r\n");
    row("cp1252-html", "<p>\xA9 caf\xE9</p>\n", u"<p>© café</p>\n"_s, E::Windows1252, false, "<p>\xA9 caf\xE9</p>\r\n");
    // Short and of even length, yet too few code units to be taken for UTF-16.
    row("cp1252-4", "caf\xE9", u"café"_s, E::Windows1252);
    row("cp1252-6", "Stra\xDF" "e", u"Straße"_s, E::Windows1252);
    row("cp1252-8", "\xA3" "12,50 \x80", u"£12,50 €"_s, E::Windows1252);
    row("cp1252-12", "cr\xE8me br\xFBl\xE9" "e", u"crème brûlée"_s, E::Windows1252);
    row("invalid-utf8", "\xC3(", u"\u00C3("_s, E::Windows1252);
    row("utf8", "caf\xC3\xA9", u"caf\u00E9"_s, E::Utf8);
    row("utf8-bom", "\xEF\xBB\xBFx", "x", E::Utf8, true);
    row("utf16le-bom", QByteArray("\xFF\xFEz\0\xE9\0", 6), u"z\u00E9"_s, E::Utf16LE, true);
    row("utf16be-bom", QByteArray("\xFE\xFF\0z\0\xE9", 6), u"z\u00E9"_s, E::Utf16BE, true);
    // No BOM and no zero byte; 0D and 0A are halves of 不 and 上, not line ends.
    row("utf16le-cjk", "\x11\x62\x0d\x4e\xe5\x77\x53\x90\x0a\x4e\x77\x6d\x28\x57\xea\x54\xcc\x91", u"我不知道上海在哪里"_s, E::Utf16LE);
    row("odd-length-utf16", "\xFF\xFEz", QString(QChar(0xDC7A)), E::Utf16LE, true);
    // clang-format on
}

void TestTextCodec::decode()
{
    QFETCH(QByteArray, bytes);
    const DecodedText decoded = decodeText(bytes);
    QTEST(decoded.text, "text");
    QTEST(decoded.encoding, "encoding");
    QTEST(decoded.bom, "bom");
    // The document holds line ends as breaks between lines and writes them as CR LF.
    QString document = decoded.text;
    document.replace("\r\n", "\n").replace(u'\r', u'\n').replace("\n", "\r\n");
    QTEST(encodeText(document, decoded.encoding, decoded.bom), "saved");
}

void TestTextCodec::piecesDecodeAsTheWhole_data()
{
    QTest::addColumn<QByteArray>("bytes");
    // clang-format off
    QTest::newRow("cp1252") << QByteArray("caf\xE9\r\n\x97\xA0\r\n").repeated(20);
    QTest::newRow("utf8") << QByteArray("\xE2\x80\x94\xF0\x9F\x9A\x80\r\n\xC3\xA9").repeated(20);
    QTest::newRow("utf8-bom") << "\xEF\xBB\xBF" + QByteArray("\xE2\x80\x94 x\r\n").repeated(20);
    QTest::newRow("utf16le") << "\xFF\xFE" + QByteArray("\x3D\xD8\x80\xDE\r\0\n\0a\0", 10).repeated(20);
    QTest::newRow("utf16be") << "\xFE\xFF" + QByteArray("\0a\0\r\0\n\xD8\x3D\xDE\x80", 10).repeated(20);
    // clang-format on
}

// Loading goes piece by piece: every cut must give the whole text, and no
// piece may end between a CR and its LF (the two would make two line breaks).
void TestTextCodec::piecesDecodeAsTheWhole()
{
    QFETCH(QByteArray, bytes);
    const QString whole = decodeText(bytes).text;
    for (int size = 16; size < 64; ++size) {
        TextPieces pieces(bytes, detectTextFormat(bytes), size);
        QString joined, piece;
        while (pieces.next(&piece)) {
            QVERIFY(!piece.isEmpty());
            joined += piece;
            QVERIFY2(joined.size() == whole.size() || !piece.endsWith('\r'), qPrintable(joined));
        }
        QCOMPARE(joined, whole);
    }
}

void TestTextCodec::detectionSeesPastTheFirstSlice()
{
    QByteArray bytes(600 * 1024, 'a');
    bytes.insert(256 * 1024 - 1, "\xE2\x80\x94"); // a dash across the first slice boundary
    QCOMPARE(detectTextFormat(bytes).encoding, TextEncoding::Utf8);
    bytes.append('\xE9'); // one stray byte: still UTF-8, the byte kept
    QCOMPARE(detectTextFormat(bytes).encoding, TextEncoding::Utf8);
    bytes.append('\xE8'); // more stray bytes than UTF-8 sequences
    QCOMPARE(detectTextFormat(bytes).encoding, TextEncoding::Windows1252);
}

// A character with no Windows-1252 byte makes the file UTF-8 rather than be lost.
void TestTextCodec::savesAsUtf8WhatWindows1252CannotHold()
{
    TextEncoding used = TextEncoding::Auto;
    QCOMPARE(encodeText(u"\u00E9\u03A9"_s, TextEncoding::Windows1252, false, &used),
             "\xC3\xA9\xCE\xA9");
    QCOMPARE(used, TextEncoding::Utf8);
}

QTEST_GUILESS_MAIN(TestTextCodec)
#include "tst_textcodec.moc"
