#include "rtfreader.h"
#include "testutil.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

#include <optional>

namespace {

QString dataPath(const QString &name)
{
    return QStringLiteral(VYX_TEST_DATA_DIR "/rtf/") + name;
}

// Reads the bytes and checks what must hold whatever the input: the text with
// paragraph and line separators shown as LF, or nothing if the result is inconsistent.
std::optional<QString> readChecked(const QByteArray &bytes)
{
    const RtfContent c = readRtf(bytes);
    bool ok = !c.runs.isEmpty() && c.runs.first().start == 0 && c.text.isValidUtf16()
        && c.alignments.size() == c.text.count(QChar::ParagraphSeparator) + 1;
    for (int i = 0; i < c.runs.size(); ++i) {
        ok = ok && c.runs[i].start <= c.text.size() && c.runs[i].format >= 0
            && c.runs[i].format < c.formats.size()
            && (i == 0 || c.runs[i].start > c.runs[i - 1].start);
    }
    for (const QChar ch : c.text)
        ok = ok && (ch == u'\t' || ch.unicode() >= 0x20);
    // The document takes whatever the reader produced, character for character.
    QTextDocument doc;
    QTextCursor cursor(&doc);
    insertRtf(cursor, c);
    if (!ok || doc.toRawText() != c.text)
        return std::nullopt;
    return QString(c.text)
        .replace(QChar::ParagraphSeparator, u'\n')
        .replace(QChar::LineSeparator, u'\n');
}

} // namespace

class TestRtfReader : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void reads_data();
    void reads();
    void detects_data();
    void detects();
    void formatting_data();
    void formatting();
};

void TestRtfReader::reads_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text"); // null: anything consistent, as long as nothing breaks
    QTest::addColumn<bool>("cut"); // the text need only start so, give or take its last character

    const QByteArray file = TestUtil::readBytes(dataPath(QStringLiteral("libreoffice-plain.rtf")));
    const QString whole = readChecked(file).value_or(QString());
    for (int n = 0; n < file.size(); ++n)
        QTest::addRow("cut-after-%d-bytes", n) << file.left(n) << whole << true;

    auto row = [](const char *name, const QByteArray &rtf, const QString &text) {
        QTest::newRow(name) << rtf << text << false;
    };
    row("par-line-tab", "{\\rtf1 a\\par b\\line c\\tab d}", "a\nb\nc\td");
    row("raw-line-ends-are-not-text", "{\\rtf1 a\r\nb\rc\n}", "abc");
    row("specials",
        "{\\rtf1 \\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote\\~\\-\\_"
        "\\emspace\\enspace\\qmspace\\zwj\\zwnj\\ltrmark\\rtlmark}",
        QStringLiteral("\u2014\u2013\u2022\u2018\u2019\u201C\u201D\u00A0\u00AD\u2011"
                       "\u2003\u2002\u2005\u200D\u200C\u200E\u200F"));
    // Each font's character set picks its code page, single- and double-byte.
    row("font-charsets",
        "{\\rtf1{\\fonttbl{\\f0\\fcharset0 F;}{\\f1\\fcharset77 F;}{\\f2\\fcharset161 F;}"
        "{\\f3\\fcharset162 F;}{\\f4\\fcharset163 F;}{\\f5\\fcharset177 F;}{\\f6\\fcharset178 F;}"
        "{\\f7\\fcharset186 F;}{\\f8\\fcharset204 F;}{\\f9\\fcharset222 F;}{\\f10\\fcharset238 F;}"
        "{\\f11\\fcharset254 F;}{\\f12\\fcharset128 F;}{\\f13\\fcharset129 F;}"
        "{\\f14\\fcharset134 F;}{\\f15\\fcharset136 F;}}"
        "\\f0\\'c0\\f1\\'c0\\f2\\'c0\\f3\\'d0\\f4\\'c3\\f5\\'c0\\f6\\'c0\\f7\\'c0\\f8\\'c0\\f9\\'c0"
        "\\f10\\'c0\\f11\\'c0\\f12\\'83\\'65\\f13\\'c7\\'d1\\f14\\'c4\\'e3\\f15\\'a4\\'a4}",
        QStringLiteral("\u00C0\u00BF\u0390\u011E\u0102\u05B0\u06C1\u0104\u0410\u0E20\u0154\u2514"
                       "\u30C6\uD55C\u4F60\u4E2D"));
    row("ansicpg65001", "{\\rtf1\\ansi\\ansicpg65001 \\'c3\\'a9}", QStringLiteral("\u00E9"));
    row("escapes", "{\\rtf1 \\\\ \\{ \\}}", "\\ { }");
    row("hex-1252-by-default", "{\\rtf1 caf\\'e9x \\'80}", QStringLiteral("caf\u00E9x \u20AC"));
    row("hex-ansicpg1251", "{\\rtf1\\ansi\\ansicpg1251 \\'e6\\'c0}",
        QStringLiteral("\u0436\u0410"));
    row("cp932-ascii-trail-bytes", "{\\rtf1\\ansi\\ansicpg932 \\'83e\\'83X\\'83g}",
        QStringLiteral("\u30C6\u30B9\u30C8"));
    row("u-skips-one-fallback", "{\\rtf1 \\u8364?x}", QStringLiteral("\u20ACx"));
    row("uc2-skips-two-hex-fallbacks", "{\\rtf1\\uc2 \\u8364\\'80\\'80x}",
        QStringLiteral("\u20ACx"));
    row("uc-ends-with-its-group", "{\\rtf1{\\uc0 a}\\u8364?b}", QStringLiteral("a\u20ACb"));
    row("skipped-destinations",
        "{\\rtf1{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red1\\green2\\blue3;}{\\stylesheet{\\s1 H;}}"
        "{\\info{\\title T}}{\\header h}{\\pict\\wmetafile8 0123abcd}a{\\*\\unknown junk{x}}b}",
        "ab");
    row("field-shows-its-result",
        "{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt link}} done}", "link done");
    row("100000-nested-groups",
        "{\\rtf1 " + QByteArray(100000, '{') + "deep" + QByteArray(100000, '}') + " after}",
        "deep after");
    row("100000-groups-never-closed", "{\\rtf1 x" + QByteArray(100000, '{') + "y", "xy");
    row("huge-numeric-params",
        "{\\rtf1\\fs99999999999999999999\\cf-99999999999999999\\f123456789012345 x"
        "\\uc99999999999999 \\u99999999999999999999 yz}",
        QStringLiteral("x\uFFFD"));
    row("negative-u", "{\\rtf1 \\u-4064?\\u-10179?\\u-8704?\\u-10179?x\\u-99999999?y}",
        QStringLiteral("\uF020\U0001F600\uFFFDx\uFFFDy"));
    row("bin-huge-length", "{\\rtf1 a\\bin99999999999999 bcd}", "a");
    row("bin-negative-length", "{\\rtf1 a\\bin-5 b}", "ab");
    row("100000-char-control-word", "{\\rtf1 \\" + QByteArray(100000, 'b') + " x}", "x");
    row("unknown-control-words", "{\\rtf1\\qqq\\zz\\x-1 a{\\*\\yy b}c\\*}", "ac");
    row("undefined-1252-bytes-kept", "{\\rtf1 a\\'81\\'8d\\'8f\\'90\\'9d\\'7fb}",
        QStringLiteral("a\u0081\u008D\u008F\u0090\u009Db"));
    row("control-bytes-dropped", QByteArray("{\\rtf1 a") + '\x01' + '\0' + "b\\'0c\\'0dc}", "abc");
    row("extra-closing-braces", "}}}{\\rtf1 a}}}} b", "a");
    row("groups-left-open", "{\\rtf1 {{{a\\b b", "ab");
    row("ends-after-backslash", "{\\rtf1 a\\", "a");
    // One paragraph of 64 KB of double-byte text, raw and as escaped lead bytes with ASCII
    // trail bytes: read in time linear in its length.
    row("gbk-raw-64kb-paragraph",
        "{\\rtf1\\ansi\\ansicpg936 " + QByteArray("\xC4\xE3").repeated(32768) + "}",
        QString(u'\u4F60').repeated(32768));
    row("cp932-escaped-64kb-paragraph",
        "{\\rtf1\\ansi\\ansicpg932 " + QByteArray("\\'83e").repeated(13108) + "}",
        QString(u'\u30C6').repeated(13108));
    row("hex-without-digits", "{\\rtf1 a\\'zz\\u8364\\'?b}", QStringLiteral("azz\u20ACb"));

    QRandomGenerator random(42);
    QByteArray garbage = "{\\rtf1 ";
    for (int i = 0; i < 200000; ++i)
        garbage.append(char(random.bounded(256)));
    row("binary-garbage", garbage, QString());
    const char *pieces[]
        = {"{",     "}",         "\\",  "\\'",        "\\u", "-",     "9", "\\uc", "\\bin", "\\*",
           "\\par", "\\fonttbl", "\\f", "\\colortbl", ";",   "\\red", "a", " ",    "\\b",   "\\qc"};
    QByteArray markup = "{\\rtf1 ";
    for (int i = 0; i < 100000; ++i)
        markup.append(pieces[random.bounded(int(std::size(pieces)))]);
    row("markup-garbage", markup, QString());
    // The sample documents read as their source texts; everything the fuzzer was seeded
    // with or has found reads without breaking, so that a fixed crash stays fixed.
    const QDir top(QStringLiteral(VYX_TEST_DATA_DIR "/.."));
    for (const char *root :
         {VYX_TEST_DATA_DIR "/rtf", VYX_FUZZ_DIR "/crashes", VYX_FUZZ_DIR "/corpus"}) {
        for (QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            const QString path = it.next();
            const QString source
                = QString(path).replace(QLatin1String(".rtf"), QLatin1String(".txt"));
            row(qPrintable(top.relativeFilePath(path)), TestUtil::readBytes(path),
                source != path && QFile::exists(source)
                    ? QString::fromUtf8(TestUtil::readBytes(source))
                    : QString());
        }
    }
}

void TestRtfReader::reads()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QFETCH(bool, cut);
    const std::optional<QString> read = readChecked(rtf);
    QVERIFY(read);
    if (cut)
        QVERIFY2(text.startsWith(read->chopped(qMin<qsizetype>(2, read->size()))),
                 qPrintable(*read));
    else if (!text.isNull())
        QCOMPARE(*read, text);
}

void TestRtfReader::detects_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("rtf");
    QTest::newRow("rtf1") << QByteArray("{\\rtf1 a}") << true;
    QTest::newRow("after white space") << QByteArray(" \t\r\n{\\rtf1 a}") << true;
    QTest::newRow("rtf and a word") << QByteArray("{\\rtf\\ansi a}") << true;
    QTest::newRow("a line that starts so") << QByteArray("{\\rtf is how it starts}") << false;
    QTest::newRow("after text") << QByteArray("x{\\rtf1 a}") << false;
}

// Only a real rich-text file is read as one.
void TestRtfReader::detects()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, rtf);
    QCOMPARE(looksLikeRtf(bytes), rtf);
}

void TestRtfReader::formatting_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("fragment"); // every character of it carries the property
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("value");
    const auto row = [](const char *name, const QByteArray &rtf, const char *fragment,
                        const char *property, const QVariant &value) {
        QTest::newRow(name) << rtf << QString::fromUtf8(fragment) << QString(property) << value;
    };
    const QByteArray file
        = TestUtil::readBytes(dataPath(QStringLiteral("libreoffice-formatted.rtf")));
    row("bold", file, "bold word", "bold", true);
    row("bold-ends-with-group", file, " then ", "bold", false);
    row("italic", file, "italic word", "italic", true);
    row("underline", file, "under", "underline", true);
    row("colour", file, "red text", "colour", QColor(255, 0, 0));
    row("automatic-colour", file, "Justified", "colour", QColor());
    row("size", file, "big text", "size", 20.0);
    row("font", file, "serif font", "font", QStringLiteral("DejaVu Serif"));
    row("centred", file, "Centred line", "align", int(Qt::AlignHCenter));
    row("right", file, "Right line", "align", int(Qt::AlignRight));
    row("justified", file, "Justified", "align", int(Qt::AlignJustify));
    // Words in another order than the usual writers put them, colours lacking components.
    const QByteArray odd = "{\\rtf1{\\colortbl;\\blue255\\red200;\\green128\\blue255;}"
                           "\\cf1\\fs40 a\\cf2 b}";
    row("size-after-colour", odd, "a", "colour", QColor(200, 0, 255));
    row("size-after-colour-sets-size", odd, "a", "size", 20.0);
    row("colour-entry-starts-black", odd, "b", "colour", QColor(0, 128, 255));
    const QByteArray words = "{\\rtf1{\\colortbl;\\red0\\green255\\blue0;}\\strike s\\strike0 n "
                             "\\uldb u\\ulnone v \\highlight1 h}";
    row("strike", words, "s", "strike", true);
    row("strike-off", words, "n", "strike", false);
    row("double-underline", words, "u", "underline", true);
    row("underline-none", words, "v", "underline", false);
    row("highlight", words, "h", "background", QColor(0, 255, 0));
}

void TestRtfReader::formatting()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, fragment);
    QFETCH(QString, property);
    QFETCH(QVariant, value);
    QTextDocument doc;
    QTextCursor cursor(&doc);
    insertRtf(cursor, readRtf(rtf));
    const QTextCursor found = doc.find(fragment, 0, QTextDocument::FindCaseSensitively);
    QVERIFY2(!found.isNull(), qPrintable(fragment));
    for (int pos = found.selectionStart() + 1; pos <= found.selectionEnd(); ++pos) {
        QTextCursor c(&doc);
        c.setPosition(pos);
        const QTextCharFormat f = c.charFormat();
        const QMap<QString, QVariant> actual{
            {"bold", f.fontWeight() >= QFont::Bold},
            {"italic", f.fontItalic()},
            {"underline", f.fontUnderline()},
            {"strike", f.fontStrikeOut()},
            {"background", f.background().color()},
            {"colour",
             f.hasProperty(QTextFormat::ForegroundBrush) ? f.foreground().color() : QColor()},
            {"size", f.fontPointSize()},
            {"font", f.fontFamilies().toStringList().value(0)},
            {"align", int(c.blockFormat().alignment())}};
        QCOMPARE(actual.value(property), value);
    }
}

QTEST_MAIN(TestRtfReader)
#include "tst_rtfreader.moc"
