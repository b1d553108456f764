#include "richtextbox.h"
#include "rtfreader.h"
#include "textcodec.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {

QString dataPath(const QString &name)
{
    return QStringLiteral(VYX_TEST_DATA_DIR "/rtf/") + name;
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// The reader's text with paragraph and line separators shown as LF.
QString plain(const RtfContent &content)
{
    QString text = content.text;
    text.replace(QChar::ParagraphSeparator, u'\n');
    text.replace(QChar::LineSeparator, u'\n');
    return text;
}

// What every result must satisfy, whatever the input.
void checkInvariants(const RtfContent &c)
{
    QVERIFY(!c.runs.isEmpty());
    QCOMPARE(c.runs.first().start, 0);
    for (int i = 0; i < c.runs.size(); ++i) {
        QVERIFY(c.runs[i].start <= c.text.size());
        QVERIFY(c.runs[i].format >= 0 && c.runs[i].format < c.formats.size());
        if (i > 0)
            QVERIFY(c.runs[i].start > c.runs[i - 1].start);
    }
    QCOMPARE(c.alignments.size(), c.text.count(QChar::ParagraphSeparator) + 1);
    for (const QChar ch : c.text) {
        QVERIFY(ch == u'\t' || ch.unicode() >= 0x20);
        QVERIFY(ch.unicode() != 0xFDD0 && ch.unicode() != 0xFDD1 && ch.unicode() != 0xFFFC);
    }
    for (int i = 0; i < c.text.size(); ++i) {
        if (c.text[i].isHighSurrogate())
            QVERIFY(i + 1 < c.text.size() && c.text[i + 1].isLowSurrogate());
        else if (c.text[i].isLowSurrogate())
            QVERIFY(i > 0 && c.text[i - 1].isHighSurrogate());
    }
}

// Files written by other programs, each beside the plain text it holds.
QStringList corpusFiles()
{
    return QDir(dataPath(QString())).entryList({QStringLiteral("*.rtf")}, QDir::Files, QDir::Name);
}

} // namespace

class TestRtfReader : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void detectsRtf_data();
    void detectsRtf();
    void readsText_data();
    void readsText();
    void readsFormatting();
    void hostileInput_data();
    void hostileInput();
    void truncationAtEveryByte();
    void corpusText_data();
    void corpusText();
    void corpusFormatting_data();
    void corpusFormatting();
    void loadKeepsPlainPathForOtherFiles();
    void insertionLeavesPlainText();
    void replay_data();
    void replay();
};

void TestRtfReader::detectsRtf_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("rtf");
    QTest::newRow("rtf") << QByteArray("{\\rtf1 x}") << true;
    QTest::newRow("leading-blanks") << QByteArray(" \r\n\t{\\rtf1}") << true;
    QTest::newRow("bare-prefix") << QByteArray("{\\rtf") << true;
    QTest::newRow("plain") << QByteArray("object x") << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("brace-only") << QByteArray("{\\rt") << false;
    QTest::newRow("text-first") << QByteArray("a{\\rtf1}") << false;
    QTest::newRow("bom-first") << QByteArray("\xEF\xBB\xBF{\\rtf1}") << false;
}

void TestRtfReader::detectsRtf()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, rtf);
    QCOMPARE(looksLikeRtf(bytes), rtf);
}

void TestRtfReader::readsText_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::newRow("par-line-tab") << QByteArray("{\\rtf1 a\\par b\\line c\\tab d}")
                                  << QStringLiteral("a\nb\nc\td");
    QTest::newRow("raw-line-ends-ignored") << QByteArray("{\\rtf1 a\r\nb\rc\n}") << QStringLiteral("abc");
    QTest::newRow("backslash-newline-is-par") << QByteArray("{\\rtf1 a\\\nb}") << QStringLiteral("a\nb");
    QTest::newRow("specials")
        << QByteArray("{\\rtf1 \\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote\\~\\-\\_}")
        << QStringLiteral("\u2014\u2013\u2022\u2018\u2019\u201C\u201D\u00A0\u00AD\u2011");
    QTest::newRow("escapes") << QByteArray("{\\rtf1 \\\\ \\{ \\}}") << QStringLiteral("\\ { }");
    QTest::newRow("hex-1252-default") << QByteArray("{\\rtf1 caf\\'e9 \\'80\\'97}")
                                      << QStringLiteral("caf\u00E9 \u20AC\u2014");
    QTest::newRow("hex-1251") << QByteArray("{\\rtf1\\ansi\\ansicpg1251 \\'e6\\'c0}")
                              << QStringLiteral("\u0436\u0410");
    QTest::newRow("hex-font-charset")
        << QByteArray("{\\rtf1{\\fonttbl{\\f1\\fcharset204 Cyr;}}\\f1 \\'e6}") << QStringLiteral("\u0436");
    QTest::newRow("hex-shift-jis") << QByteArray("{\\rtf1\\ansicpg932 \\'82\\'a0}") << QStringLiteral("\u3042");
    QTest::newRow("unknown-codepage-is-1252") << QByteArray("{\\rtf1\\ansicpg4242 \\'e9}")
                                              << QStringLiteral("\u00E9");
    QTest::newRow("raw-8bit") << QByteArray("{\\rtf1 caf\xe9}") << QStringLiteral("caf\u00E9");
    QTest::newRow("unicode-skips-fallback") << QByteArray("{\\rtf1 \\u8364?x}") << QStringLiteral("\u20ACx");
    QTest::newRow("unicode-hex-fallback") << QByteArray("{\\rtf1 \\u233\\'e9x}") << QStringLiteral("\u00E9x");
    QTest::newRow("uc2") << QByteArray("{\\rtf1\\uc2 \\u8364\\'80\\'80x}") << QStringLiteral("\u20ACx");
    QTest::newRow("uc0") << QByteArray("{\\rtf1\\uc0 \\u8364 x}") << QStringLiteral("\u20ACx");
    QTest::newRow("uc-scoped-by-group") << QByteArray("{\\rtf1{\\uc0 a}\\u8364?b}") << QStringLiteral("a\u20ACb");
    QTest::newRow("negative-unicode") << QByteArray("{\\rtf1 \\u-4064?}") << QStringLiteral("\uF020");
    QTest::newRow("surrogate-pair") << QByteArray("{\\rtf1 \\u-10179?\\u-8704?}")
                                    << QStringLiteral("\U0001F600");
    QTest::newRow("lone-surrogate") << QByteArray("{\\rtf1 \\u-10179?x}") << QStringLiteral("\uFFFDx");
    QTest::newRow("fonttbl-colortbl-stylesheet-info")
        << QByteArray("{\\rtf1{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red1\\green2\\blue3;}"
                      "{\\stylesheet{\\s1 Heading;}}{\\info{\\title T}{\\author A}}body}")
        << QStringLiteral("body");
    QTest::newRow("ignorable-destination") << QByteArray("{\\rtf1 a{\\*\\unknownthing junk{x}}b}")
                                           << QStringLiteral("ab");
    QTest::newRow("header-footer-pict")
        << QByteArray("{\\rtf1{\\header h}{\\footerl f}{\\pict\\wmetafile8 0123abcd}x}") << QStringLiteral("x");
    QTest::newRow("lists-revisions")
        << QByteArray("{\\rtf1{\\listtable{\\list x}}{\\listoverridetable o}{\\revtbl{Unknown;}}y}")
        << QStringLiteral("y");
    QTest::newRow("field-result")
        << QByteArray("{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt link}} done}")
        << QStringLiteral("link done");
    QTest::newRow("bin-skips-bytes") << QByteArray("{\\rtf1 a{\\pict\\bin4 }{\\x}b}") << QStringLiteral("ab");
    QTest::newRow("unknown-words") << QByteArray("{\\rtf1\\foo \\bar-12 text\\zz9}") << QStringLiteral("text");
    QTest::newRow("control-chars-dropped")
        << (QByteArray("{\\rtf1 a") + '\x01' + '\0' + "b\\'0c\\'0dc}")
                                           << QStringLiteral("abc");
    QTest::newRow("text-after-document") << QByteArray("{\\rtf1 a} b") << QStringLiteral("a");
}

void TestRtfReader::readsText()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    const RtfContent content = readRtf(rtf);
    checkInvariants(content);
    QCOMPARE(plain(content), text);
}

void TestRtfReader::readsFormatting()
{
    const RtfContent c = readRtf(
        "{\\rtf1\\deff0{\\fonttbl{\\f0 Times;}{\\f1\\fswiss Arial;}}{\\colortbl;\\red255\\green0\\blue0;"
        "\\red0\\green0\\blue255;}\\pard\\qc a{\\b b{\\i c}d}e\\par\\qr\\ul f\\ulnone\\strike g\\plain h"
        "\\par\\pard\\f1\\fs40\\cf1\\highlight2 i\\par\\qj j}");
    checkInvariants(c);
    QCOMPARE(plain(c), QStringLiteral("abcde\nfgh\ni\nj"));
    auto formatAt = [&](int pos) {
        int f = 0;
        for (const RtfRun &run : c.runs)
            if (run.start <= pos)
                f = run.format;
        return c.formats.at(f);
    };
    const QString text = c.text;
    auto at = [&](char ch) { return formatAt(int(text.indexOf(QLatin1Char(ch)))); };
    QVERIFY(!at('a').bold);
    QVERIFY(at('b').bold && !at('b').italic);
    QVERIFY(at('c').bold && at('c').italic);
    QVERIFY(at('d').bold && !at('d').italic);
    QVERIFY(!at('e').bold);
    QCOMPARE(at('a').family, QStringLiteral("Times"));
    QVERIFY(at('f').underline);
    QVERIFY(!at('g').underline && at('g').strikeOut);
    QVERIFY(!at('h').strikeOut);
    QCOMPARE(at('i').family, QStringLiteral("Arial"));
    QCOMPARE(at('i').halfPoints, 40);
    QCOMPARE(at('i').foreground, QColor(255, 0, 0));
    QCOMPARE(at('i').background, QColor(0, 0, 255));
    QVERIFY(!at('a').foreground.isValid());
    const QVector<quint8> aligns{Qt::AlignHCenter, Qt::AlignRight, Qt::AlignLeft, Qt::AlignJustify};
    QCOMPARE(c.alignments, aligns);
}

void TestRtfReader::hostileInput_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text"); // null: anything, as long as nothing breaks

    QByteArray deep = "{\\rtf1 ";
    deep += QByteArray(100000, '{') + "deep" + QByteArray(100000, '}') + " after}";
    QTest::newRow("100000-nested-groups") << deep << QStringLiteral("deep after");
    QTest::newRow("100000-open-groups") << ("{\\rtf1 x" + QByteArray(100000, '{') + "y") << QStringLiteral("xy");
    QTest::newRow("deep-groups-keep-state")
        << ("{\\rtf1\\b " + QByteArray(2000, '{') + "\\b0 x" + QByteArray(2000, '}') + "y}")
        << QStringLiteral("xy");
    QTest::newRow("huge-parameters")
        << QByteArray("{\\rtf1\\fs99999999999999999999\\cf-99999999999999999\\f123456789012345 x"
                      "\\uc99999999999999 \\u99999999999999999999 yz}")
        << QStringLiteral("x\uFFFD");
    QTest::newRow("huge-negative-unicode") << QByteArray("{\\rtf1 \\u-99999999?x}") << QStringLiteral("\uFFFDx");
    QTest::newRow("bin-huge-length") << QByteArray("{\\rtf1 a\\bin99999999999999 bcd}") << QStringLiteral("a");
    QTest::newRow("bin-negative") << QByteArray("{\\rtf1 a\\bin-5 b}") << QStringLiteral("ab");
    QTest::newRow("long-control-word")
        << ("{\\rtf1 \\" + QByteArray(100000, 'b') + " x\\" + QByteArray(33, 'p') + "ar y}")
        << QStringLiteral("xy");
    QTest::newRow("unknown-control-words") << QByteArray("{\\rtf1\\qqq\\zz\\x-1 a{\\*\\yy b}c\\*}")
                                           << QStringLiteral("ac");
    QTest::newRow("extra-closing-braces") << QByteArray("}}}{\\rtf1 a}}}} b") << QStringLiteral("a");
    QTest::newRow("unclosed-groups") << QByteArray("{\\rtf1 {{{a\\b b") << QStringLiteral("ab");
    QTest::newRow("truncated-escape") << QByteArray("{\\rtf1 a\\") << QStringLiteral("a");
    QTest::newRow("truncated-hex") << QByteArray("{\\rtf1 a\\'") << QStringLiteral("a");
    QTest::newRow("bad-hex") << QByteArray("{\\rtf1 a\\'zz}") << QStringLiteral("azz");

    QRandomGenerator random(42);
    QByteArray garbage = "{\\rtf1 ";
    for (int i = 0; i < 200000; ++i)
        garbage.append(char(random.bounded(256)));
    QTest::newRow("binary-garbage") << garbage << QString();
    QByteArray markup = "{\\rtf1 ";
    const char *pieces[] = {"{", "}", "\\", "\\'", "\\u", "-", "9", "\\uc", "\\bin", "\\*", "\\par",
                            "\\fonttbl", "\\f", "\\colortbl", ";", "\\red", "a", " ", "\\b", "\\qc"};
    for (int i = 0; i < 100000; ++i)
        markup.append(pieces[random.bounded(int(std::size(pieces)))]);
    QTest::newRow("markup-garbage") << markup << QString();
}

void TestRtfReader::hostileInput()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    const RtfContent content = readRtf(rtf);
    checkInvariants(content);
    if (!text.isNull())
        QCOMPARE(plain(content), text);
    // The control accepts whatever the reader produced.
    QTextDocument doc;
    QTextCursor cursor(&doc);
    insertRtf(cursor, content);
    QCOMPARE(doc.toRawText(), content.text);
}

void TestRtfReader::truncationAtEveryByte()
{
    const QByteArray whole = readBytes(dataPath(QStringLiteral("libreoffice-plain.rtf")));
    QVERIFY(!whole.isEmpty());
    const QString full = readRtf(whole).text;
    for (int n = 0; n <= whole.size(); ++n) {
        const RtfContent part = readRtf(whole.left(n));
        checkInvariants(part);
        // A cut can spoil the last character (half a \u number, or half a
        // surrogate pair and what follows it), never what came before.
        const QString text = part.text.chopped(qMin<qsizetype>(2, part.text.size()));
        if (!full.startsWith(text))
            QFAIL(qPrintable(QStringLiteral("cut at %1 reads \"%2\"").arg(n).arg(part.text)));
    }
}

void TestRtfReader::corpusText_data()
{
    QTest::addColumn<QString>("name");
    const QStringList files = corpusFiles();
    QVERIFY(files.size() >= 4);
    for (const QString &file : files)
        QTest::newRow(qPrintable(file)) << file;
}

void TestRtfReader::corpusText()
{
    QFETCH(QString, name);
    const QString expectedPath = dataPath(QString(name).replace(QStringLiteral(".rtf"), QStringLiteral(".txt")));
    const QString expected = toCrLf(QString::fromUtf8(readBytes(expectedPath)));
    QVERIFY(!expected.isEmpty());

    RichTextBox box;
    QSignalSpy change(&box, &RichTextBox::Change);
    QVERIFY(box.LoadFile(dataPath(name)));
    QCOMPARE(change.count(), 1);
    QCOMPARE(box.Text(), expected);
    QVERIFY(box.hasFormatting());
    QVERIFY(!box.document()->isModified());
    QCOMPARE(box.fileEncoding(), TextEncoding::Auto);
}

void TestRtfReader::corpusFormatting_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("fragment");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("value");
    const QString lo = QStringLiteral("libreoffice-formatted.rtf");
    const QString pd = QStringLiteral("pandoc-markdown.rtf");
    QTest::newRow("lo-plain-not-bold") << lo << "Plain start" << "bold" << QVariant(false);
    QTest::newRow("lo-bold") << lo << "bold word" << "bold" << QVariant(true);
    QTest::newRow("lo-after-bold") << lo << " then " << "bold" << QVariant(false);
    QTest::newRow("lo-italic") << lo << "italic word" << "italic" << QVariant(true);
    QTest::newRow("lo-underline") << lo << "under" << "underline" << QVariant(true);
    QTest::newRow("lo-strike") << lo << "struck" << "strike" << QVariant(true);
    QTest::newRow("lo-red") << lo << "red text" << "color" << QVariant(QColor(255, 0, 0));
    QTest::newRow("lo-not-red") << lo << "Justified" << "color" << QVariant(QColor());
    QTest::newRow("lo-size-20") << lo << "big text" << "size" << QVariant(20.0);
    QTest::newRow("lo-size-12") << lo << "Centred" << "size" << QVariant(12.0);
    QTest::newRow("lo-family") << lo << "serif font" << "family" << QVariant(QStringLiteral("DejaVu Serif"));
    QTest::newRow("lo-left") << lo << "Plain start" << "align" << QVariant(int(Qt::AlignLeft));
    QTest::newRow("lo-centre") << lo << "Centred line" << "align" << QVariant(int(Qt::AlignHCenter));
    QTest::newRow("lo-right") << lo << "Right line" << "align" << QVariant(int(Qt::AlignRight));
    QTest::newRow("lo-justify") << lo << "Justified" << "align" << QVariant(int(Qt::AlignJustify));
    QTest::newRow("pandoc-plain") << pd << "Markdown source" << "bold" << QVariant(false);
    QTest::newRow("pandoc-bold") << pd << "bold words" << "bold" << QVariant(true);
    QTest::newRow("pandoc-italic") << pd << "italic words" << "italic" << QVariant(true);
    QTest::newRow("pandoc-family") << pd << "Second" << "family" << QVariant(QStringLiteral("Helvetica"));
}

void TestRtfReader::corpusFormatting()
{
    QFETCH(QString, file);
    QFETCH(QString, fragment);
    QFETCH(QString, property);
    QFETCH(QVariant, value);
    RichTextBox box;
    QVERIFY(box.LoadFile(dataPath(file)));
    const QTextCursor found = box.document()->find(fragment, 0, QTextDocument::FindCaseSensitively);
    QVERIFY2(!found.isNull(), qPrintable(fragment));
    // Every character of the fragment carries the property.
    for (int pos = found.selectionStart() + 1; pos <= found.selectionEnd(); ++pos) {
        QTextCursor c(box.document());
        c.setPosition(pos);
        const QTextCharFormat f = c.charFormat();
        QVariant actual;
        if (property == QLatin1String("bold"))
            actual = f.fontWeight() >= QFont::Bold;
        else if (property == QLatin1String("italic"))
            actual = f.fontItalic();
        else if (property == QLatin1String("underline"))
            actual = f.fontUnderline();
        else if (property == QLatin1String("strike"))
            actual = f.fontStrikeOut();
        else if (property == QLatin1String("color"))
            actual = f.hasProperty(QTextFormat::ForegroundBrush) ? f.foreground().color() : QColor();
        else if (property == QLatin1String("size"))
            actual = f.fontPointSize();
        else if (property == QLatin1String("family"))
            actual = f.fontFamilies().toStringList().value(0);
        else if (property == QLatin1String("align"))
            actual = int(c.blockFormat().alignment());
        QCOMPARE(actual, value);
    }
}

void TestRtfReader::loadKeepsPlainPathForOtherFiles()
{
    // The same RTF bytes load as plain text when asked for text, and a
    // file that only mentions RTF later on is plain text too.
    RichTextBox box;
    const QString rtf = dataPath(QStringLiteral("pandoc-markdown.rtf"));
    QVERIFY(box.LoadFile(rtf, RichTextBox::rtfText));
    QVERIFY(box.Text().startsWith(QStringLiteral("{\\rtf1")));
    QVERIFY(!box.hasFormatting());
    QVERIFY(box.LoadFile(rtf));
    QVERIFY(box.hasFormatting());
    QVERIFY(box.LoadFile(dataPath(QStringLiteral("source/latin1.txt"))));
    QVERIFY(!box.hasFormatting());
    QCOMPARE(box.fileEncoding(), TextEncoding::Windows1252);
}

void TestRtfReader::insertionLeavesPlainText()
{
    RichTextBox box;
    QVERIFY(box.LoadFile(dataPath(QStringLiteral("libreoffice-formatted.rtf"))));
    box.setText(box.Text() + QStringLiteral("more"));
    QVERIFY(!box.hasFormatting());
    QTextCursor c(box.document());
    c.setPosition(box.Text().indexOf(QStringLiteral("bold word")) + 1);
    QVERIFY(c.charFormat().fontWeight() < QFont::Bold);
}

void TestRtfReader::replay_data()
{
    // Everything the fuzzer was seeded with or has found, so that a fixed
    // crash stays fixed.
    QTest::addColumn<QString>("path");
    const QString roots[] = {dataPath(QString()), QStringLiteral(VYX_FUZZ_DIR "/crashes"),
                             QStringLiteral(VYX_FUZZ_DIR "/corpus")};
    int count = 0;
    for (const QString &root : roots) {
        QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QTest::newRow(qPrintable(QDir(QStringLiteral(VYX_TEST_DATA_DIR "/..")).relativeFilePath(path)))
                << path;
            ++count;
        }
    }
    QVERIFY(count > 0);
}

void TestRtfReader::replay()
{
    QFETCH(QString, path);
    const QByteArray bytes = readBytes(path);
    const RtfContent content = readRtf(bytes);
    checkInvariants(content);
    QTextDocument doc;
    QTextCursor cursor(&doc);
    cursor.beginEditBlock();
    insertRtf(cursor, content);
    cursor.endEditBlock();
    QCOMPARE(doc.toRawText(), content.text);
}

QTEST_MAIN(TestRtfReader)
#include "tst_rtfreader.moc"
