#include "textcodec.h"

#include <QTest>

class TestTextCodec : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void decode_data();
    void decode();
    void encodeFallsBackToUtf8();
    void piecesDecodeAsTheWhole_data();
    void piecesDecodeAsTheWhole();
    void detectionSeesPastTheFirstSlice();
};

Q_DECLARE_METATYPE(TextEncoding)

void TestTextCodec::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<bool>("bom");

    QTest::newRow("empty") << QByteArray() << QString() << TextEncoding::Auto << false;
    QTest::newRow("ascii") << QByteArray("abc\r\n") << QStringLiteral("abc\r\n")
                           << TextEncoding::Auto << false;
    QTest::newRow("cp1252-e-acute") << QByteArray("caf\xE9") << QStringLiteral("caf\u00E9")
                                    << TextEncoding::Windows1252 << false;
    QTest::newRow("cp1252-emdash-nbsp")
        << QByteArray("a\x97\xA0z") << QStringLiteral("a\u2014\u00A0z") << TextEncoding::Windows1252
        << false;
    QTest::newRow("cp1252-undefined-bytes")
        << QByteArray("\x81\x8D\x8F\x90\x9D") << QStringLiteral("\u0081\u008D\u008F\u0090\u009D")
        << TextEncoding::Windows1252 << false;
    QTest::newRow("utf8") << QByteArray("caf\xC3\xA9") << QStringLiteral("caf\u00E9")
                          << TextEncoding::Utf8 << false;
    QTest::newRow("utf8-bom") << QByteArray("\xEF\xBB\xBFx") << QStringLiteral("x")
                              << TextEncoding::Utf8 << true;
    QTest::newRow("invalid-utf8") << QByteArray("\xC3(") << QStringLiteral("\u00C3(")
                                  << TextEncoding::Windows1252 << false;
    QTest::newRow("utf16le-bom") << QByteArray("\xFF\xFE"
                                               "a\0\xE9\0",
                                               6)
                                 << QStringLiteral("a\u00E9") << TextEncoding::Utf16LE << true;
    QTest::newRow("utf16be-bom") << QByteArray("\xFE\xFF\0a\0\xE9", 6) << QStringLiteral("a\u00E9")
                                 << TextEncoding::Utf16BE << true;
    QTest::newRow("odd-length-after-utf16-bom")
        << QByteArray("\xFF\xFE"
                      "a",
                      3)
        << QString(QChar(0xDC61)) << TextEncoding::Utf16LE << true;
    QTest::newRow("nul-bytes") << QByteArray("a\0b", 3) << QString::fromLatin1("a\0b", 3)
                               << TextEncoding::Auto << false;
}

void TestTextCodec::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(TextEncoding, encoding);
    QFETCH(bool, bom);
    const DecodedText decoded = decodeText(bytes);
    QCOMPARE(decoded.text, text);
    QCOMPARE(decoded.encoding, encoding);
    QCOMPARE(decoded.bom, bom);
}

void TestTextCodec::encodeFallsBackToUtf8()
{
    TextEncoding used = TextEncoding::Auto;
    QCOMPARE(encodeText(QStringLiteral("caf\u00E9"), TextEncoding::Auto, false, &used),
             QByteArray("caf\xE9"));
    QCOMPARE(used, TextEncoding::Auto);
    // A character Windows-1252 lacks: UTF-8, never a '?'.
    QCOMPARE(encodeText(QStringLiteral("\u00E9\u0416"), TextEncoding::Windows1252, false, &used),
             QByteArray("\xC3\xA9\xD0\x96"));
    QCOMPARE(used, TextEncoding::Utf8);
}

void TestTextCodec::piecesDecodeAsTheWhole_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QByteArray crlf;
    for (int i = 0; i < 40; ++i)
        crlf += "line " + QByteArray::number(i) + "\r\n";
    QTest::newRow("crlf-cut-anywhere") << crlf;
    QTest::newRow("cp1252") << QByteArray("caf\xE9\r\n\x97\xA0\r\n").repeated(20);
    QTest::newRow("utf8-multibyte")
        << QByteArray("\xE2\x80\x94\xF0\x9F\x9A\x80\r\n\xC3\xA9").repeated(20);
    QTest::newRow("utf8-bom") << QByteArray("\xEF\xBB\xBF")
            + QByteArray("\xE2\x80\x94 x\r\n").repeated(20);
    QTest::newRow("utf16le-surrogates")
        << QByteArray("\xFF\xFE") + QByteArray("\x3D\xD8\x80\xDE\r\0\n\0a\0", 10).repeated(20);
    QTest::newRow("utf16be") << QByteArray("\xFE\xFF")
            + QByteArray("\0a\0\r\0\n\xD8\x3D\xDE\x80", 10).repeated(20);
}

// Loading goes piece by piece: every cut must give the whole text, and no
// piece may end between a CR and its LF (the two would make two line breaks).
void TestTextCodec::piecesDecodeAsTheWhole()
{
    QFETCH(QByteArray, bytes);
    const DecodedText whole = decodeText(bytes);
    const TextFormat format = detectTextFormat(bytes);
    for (int size = 16; size < 64; ++size) {
        TextPieces pieces(bytes, format, size);
        QString joined, piece;
        while (pieces.next(&piece)) {
            QVERIFY2(!piece.isEmpty(), "no empty pieces");
            if (joined.size() + piece.size() < whole.text.size())
                QVERIFY2(!piece.endsWith(QLatin1Char('\r')), qPrintable(QString::number(size)));
            joined += piece;
        }
        QCOMPARE(joined, whole.text);
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

QTEST_GUILESS_MAIN(TestTextCodec)
#include "tst_textcodec.moc"
