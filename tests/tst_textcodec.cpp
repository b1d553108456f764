#include "textcodec.h"

#include <QTest>

class TestTextCodec : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void decode_data();
    void decode();
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
    QTest::addColumn<QByteArray>("saved"); // an unedited Save: line ends become CR LF

    const auto row = [](const char *name, const QByteArray &bytes, const QString &text,
                        TextEncoding encoding, bool bom = false, const QByteArray &saved = {}) {
        QTest::newRow(name) << bytes << text << encoding << bom << (saved.isNull() ? bytes : saved);
    };
    using E = TextEncoding;
    row("empty", QByteArray(), QString(), E::Auto);
    row("ascii", "abc\r\n", "abc\r\n", E::Auto);
    row("ascii-lf-even", "ab\ncd\n", "ab\ncd\n", E::Auto, false, "ab\r\ncd\r\n");
    row("nul-bytes", QByteArray("a\0b", 3), QString::fromLatin1("a\0b", 3), E::Auto);
    row("cp1252", "caf\xE9 \x97\xA0", QStringLiteral("caf\u00E9 \u2014\u00A0"), E::Windows1252);
    row("cp1252-undefined-bytes", "\x81\x8D\x8F\x90\x9D",
        QStringLiteral("\u0081\u008D\u008F\u0090\u009D"), E::Windows1252);
    // "ß“" is also the UTF-8 of an NKo letter, which no Latin word holds.
    row("cp1252-chance-utf8", "// Waffe \x84Sto\xDF\x93\r\n",
        QStringLiteral("// Waffe \u201EStoß\u201C\r\n"), E::Windows1252);
    row("cp1252-even-lf", "Caf\xE9\nna\xEFve\n", QStringLiteral("Café\nnaïve\n"), E::Windows1252,
        false, "Caf\xE9\r\nna\xEFve\r\n");
    row("cp1252-html", "<p>\xA9 caf\xE9</p>\n", QStringLiteral("<p>© café</p>\n"), E::Windows1252,
        false, "<p>\xA9 caf\xE9</p>\r\n");
    row("invalid-utf8", "\xC3(", QStringLiteral("\u00C3("), E::Windows1252);
    row("utf8", "caf\xC3\xA9", QStringLiteral("caf\u00E9"), E::Utf8);
    row("utf8-bom", "\xEF\xBB\xBFx", "x", E::Utf8, true);
    row("utf16le-bom", QByteArray("\xFF\xFEz\0\xE9\0", 6), QStringLiteral("z\u00E9"), E::Utf16LE,
        true);
    row("utf16be-bom", QByteArray("\xFE\xFF\0z\0\xE9", 6), QStringLiteral("z\u00E9"), E::Utf16BE,
        true);
    // No BOM and no zero byte; 0D and 0A are halves of 不 and 上, not line ends.
    row("utf16le-cjk", "\x11\x62\x0d\x4e\xe5\x77\x53\x90\x0a\x4e\x77\x6d\x28\x57\xea\x54\xcc\x91",
        QStringLiteral("我不知道上海在哪里"), E::Utf16LE);
    row("odd-length-after-utf16-bom", "\xFF\xFEz", QString(QChar(0xDC7A)), E::Utf16LE, true);
}

void TestTextCodec::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(TextEncoding, encoding);
    QFETCH(bool, bom);
    QFETCH(QByteArray, saved);
    const DecodedText decoded = decodeText(bytes);
    QCOMPARE(decoded.text, text);
    QCOMPARE(decoded.encoding, encoding);
    QCOMPARE(decoded.bom, bom);
    // The document holds line ends as breaks between lines and writes them as CR LF.
    QString document = decoded.text;
    document.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    document.replace(QLatin1String("\n"), QLatin1String("\r\n"));
    QCOMPARE(encodeText(document, decoded.encoding, decoded.bom), saved);
}

void TestTextCodec::piecesDecodeAsTheWhole_data()
{
    QTest::addColumn<QByteArray>("bytes");
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
