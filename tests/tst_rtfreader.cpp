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

using namespace Qt::StringLiterals;

namespace {

// The text read, paragraph and line separators shown as LF; nothing if the
// result is inconsistent whatever the input was.
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
    void detects();
    void formatting_data();
    void formatting();
};

void TestRtfReader::reads_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text"); // null: anything consistent
    QTest::addColumn<bool>("cut"); // the text need only start so, give or take its last character

    const QByteArray file = TestUtil::readBytes(VYX_TEST_DATA_DIR "/rtf/libreoffice-plain.rtf");
    const QString whole = readChecked(file).value_or(QString());
    for (int n = 0; n < file.size(); ++n)
        QTest::addRow("cut-%d", n) << file.left(n) << whole << true;

    const auto row = [](const char *name, const QByteArray &rtf, const QString &text) {
        QTest::newRow(name) << rtf << text << false;
    };
    const QByteArray deep(100000, '{');
    // clang-format off
    row("par-line-tab", "{\\rtf1 a\\par b\\line c\\tab d}", "a\nb\nc\td");
    row("raw-line-ends", "{\\rtf1 a\r\nb\rc\n}", "abc");
    row("specials", "{\\rtf1 \\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote\\~\\-\\_\\emspace\\enspace\\qmspace\\zwj\\zwnj\\ltrmark\\rtlmark}",
        u"\u2014\u2013\u2022\u2018\u2019\u201C\u201D\u00A0\u00AD\u2011\u2003\u2002\u2005\u200D\u200C\u200E\u200F"_s);
    // Each font's character set picks its code page, single- and double-byte.
    row("charsets", "{\\rtf1{\\fonttbl{\\f0\\fcharset0 F;}{\\f1\\fcharset77 F;}{\\f2\\fcharset161 F;}{\\f3\\fcharset162 F;}{\\f4\\fcharset163 F;}{\\f5\\fcharset177 F;}{\\f6\\fcharset178 F;}{\\f7\\fcharset186 F;}{\\f8\\fcharset204 F;}{\\f9\\fcharset222 F;}{\\f10\\fcharset238 F;}{\\f11\\fcharset254 F;}{\\f12\\fcharset128 F;}{\\f13\\fcharset129 F;}{\\f14\\fcharset134 F;}{\\f15\\fcharset136 F;}}"
                    "\\f0\\'c0\\f1\\'c0\\f2\\'c0\\f3\\'d0\\f4\\'c3\\f5\\'c0\\f6\\'c0\\f7\\'c0\\f8\\'c0\\f9\\'c0\\f10\\'c0\\f11\\'c0\\f12\\'83\\'65\\f13\\'c7\\'d1\\f14\\'c4\\'e3\\f15\\'a4\\'a4}",
        u"\u00C0\u00BF\u0390\u011E\u0102\u05B0\u06C1\u0104\u0410\u0E20\u0154\u2514\u30C6\uD55C\u4F60\u4E2D"_s);
    row("ansicpg65001", "{\\rtf1\\ansi\\ansicpg65001 \\'c3\\'a9}", u"\u00E9"_s);
    row("pca", "{\\rtf1\\pca \\'d5}", u"\u0131"_s); // code page 850
    row("escapes", "{\\rtf1 \\\\ \\{ \\}}", "\\ { }");
    row("cp932-ascii-trail", "{\\rtf1\\ansi\\ansicpg932 \\'83e\\'83X\\'83g}", u"\u30C6\u30B9\u30C8"_s);
    row("uc2-skips-two-hex", "{\\rtf1\\uc2 \\u8364\\'80\\'80x}", u"\u20ACx"_s);
    row("uc-ends-with-group", "{\\rtf1{\\uc0 a}\\u8364?b}", u"a\u20ACb"_s);
    row("skipped", "{\\rtf1{\\fonttbl{\\f0 A;}}{\\colortbl;\\red1;}{\\stylesheet{\\s1 H;}}{\\info{\\title T}}{\\header h}{\\pict 0a}a{\\*\\x y{x}}b}", "ab");
    row("field-result", "{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}} done}", "link done");
    row("deep-groups", "{\\rtf1 " + deep + "deep" + QByteArray(100000, '}') + " after}", "deep after");
    row("groups-never-closed", "{\\rtf1 x" + deep + "y", "xy");
    row("huge-params", "{\\rtf1\\fs99999999999999999999\\cf-99999999999999999\\f123456789012345 x\\uc99999999999999 \\u99999999999999999999 yz}", u"x\uFFFD"_s);
    row("negative-u", "{\\rtf1 \\u-4064?\\u-10179?\\u-8704?\\u-10179?x\\u-99999999?y}", u"\uF020\U0001F600\uFFFDx\uFFFDy"_s);
    row("bin-huge", "{\\rtf1 a\\bin99999999999999 bcd}", "a");
    row("bin-negative", "{\\rtf1 a\\bin-5 b}", "ab");
    row("long-control-word", "{\\rtf1 \\" + QByteArray(100000, 'b') + " x}", "x");
    row("unknown-words", "{\\rtf1\\qqq\\zz\\x-1 a{\\*\\yy b}c\\*}", "ac");
    row("hex-1252", "{\\rtf1 a\\'e9\\'80\\'81\\'8d\\'8f\\'90\\'9d\\'7fb}", u"a\u00E9\u20AC\u0081\u008D\u008F\u0090\u009Db"_s);
    row("control-bytes", QByteArray("{\\rtf1 a") + '\x01' + '\0' + "b\\'0c\\'0dc}", "abc");
    row("extra-closing", "}}}{\\rtf1 a}}}} b", "a");
    row("left-open", "{\\rtf1 {{{a\\b b", "ab");
    row("ends-after-backslash", "{\\rtf1 a\\", "a");
    row("hex-without-digits", "{\\rtf1 a\\'zz\\u8364\\'?b}", u"azz\u20ACb"_s);
    // One paragraph of 64 KB of double-byte text, raw and as escaped lead
    // bytes with ASCII trail bytes: read in time linear in its length.
    row("gbk-64kb", "{\\rtf1\\ansi\\ansicpg936 " + QByteArray("\xC4\xE3").repeated(32768) + "}", QString(u'\u4F60').repeated(32768));
    row("cp932-64kb", "{\\rtf1\\ansi\\ansicpg932 " + QByteArray("\\'83e").repeated(13108) + "}", QString(u'\u30C6').repeated(13108));
    // clang-format on

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
    // The samples read as their source texts; whatever the fuzzer was seeded
    // with or found reads without breaking, so that a fixed crash stays fixed.
    const QDir top(VYX_TEST_DATA_DIR "/..");
    for (const char *root :
         {VYX_TEST_DATA_DIR "/rtf", VYX_FUZZ_DIR "/crashes", VYX_FUZZ_DIR "/corpus"}) {
        for (QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            const QString path = it.next();
            const QString txt = QString(path).replace(".rtf"_L1, ".txt"_L1);
            row(qPrintable(top.relativeFilePath(path)), TestUtil::readBytes(path),
                txt != path && QFile::exists(txt) ? QString::fromUtf8(TestUtil::readBytes(txt))
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

// Only a real rich-text file is read as one.
void TestRtfReader::detects()
{
    QCOMPARE(looksLikeRtf("{\\rtf1 a}"), true);
    QCOMPARE(looksLikeRtf(" \t\r\n{\\rtf1 a}"), true);
    QCOMPARE(looksLikeRtf("{\\rtf\\ansi a}"), true);
    QCOMPARE(looksLikeRtf("{\\rtf is how it starts}"), false);
    QCOMPARE(looksLikeRtf("x{\\rtf1 a}"), false);
}

void TestRtfReader::formatting_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("fragment"); // every character of it carries the property
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("value");
    const auto row = [](const char *fragment, const QByteArray &rtf, const char *property,
                        const QVariant &value) {
        QTest::addRow("%s %s", property, fragment) << rtf << fragment << property << value;
    };
    const QByteArray file = TestUtil::readBytes(VYX_TEST_DATA_DIR "/rtf/libreoffice-formatted.rtf");
    // Words in another order than the usual writers put them, colours lacking components.
    const QByteArray odd
        = "{\\rtf1{\\colortbl;\\blue255\\red200;\\green128\\blue255;}\\cf1\\fs40 a\\cf2 b}";
    const QByteArray words
        = "{\\rtf1{\\colortbl;\\green255;}\\strike s\\strike0 n \\uldb u\\ulnone v \\highlight1 h}";
    // A table holds 32768 colours, however many a file lists.
    const QByteArray capped
        = "{\\rtf1{\\colortbl" + QByteArray(32768, ';') + "\\red9;}\\cf32768 x}";
    // clang-format off
    row("bold word", file, "bold", true);
    row(" then ", file, "bold", false); // ends with its group
    row("italic word", file, "italic", true);
    row("bold word", file, "italic", false);
    row("under", file, "underline", true);
    row("red text", file, "colour", QColor(255, 0, 0));
    row("Justified", file, "colour", QColor()); // automatic
    row("big text", file, "size", 20.0);
    row("serif font", file, "font", u"DejaVu Serif"_s);
    row("Centred line", file, "align", int(Qt::AlignHCenter));
    row("Right line", file, "align", int(Qt::AlignRight));
    row("Justified", file, "align", int(Qt::AlignJustify));
    row("a", odd, "colour", QColor(200, 0, 255));
    row("a", odd, "size", 20.0);
    row("b", odd, "colour", QColor(0, 128, 255)); // each entry starts black
    row("s", words, "strike", true);
    row("n", words, "strike", false);
    row("u", words, "underline", true);
    row("v", words, "underline", false);
    row("v", words, "strike", false);
    row("h", words, "background", QColor(0, 255, 0));
    row("x", capped, "colour", QColor());
    // clang-format on
}

void TestRtfReader::formatting()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, fragment);
    QFETCH(QString, property);
    QTextDocument doc;
    QTextCursor cursor(&doc);
    insertRtf(cursor, readRtf(rtf));
    const QTextCursor found = doc.find(fragment, 0, QTextDocument::FindCaseSensitively);
    QVERIFY(!found.isNull());
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
        QTEST(actual.value(property), "value");
    }
}

QTEST_MAIN(TestRtfReader)
#include "tst_rtfreader.moc"
