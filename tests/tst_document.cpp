#include "document.h"
#include "memory.h"
#include "richtextbox.h"
#include "testutil.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

using namespace Qt::StringLiterals;

class TestDocument : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void overlongLinesAreRefused_data();
    void overlongLinesAreRefused();
    void editsKeepToTheLineLimit();
    void joinsKeepToTheLineLimit_data();
    void joinsKeepToTheLineLimit();
    void randomBytesRoundTrip();
    void saveTellsTheNewEncoding();
    void whenLoadedRunsOnce_data();
    void whenLoadedRunsOnce();
    void legacyEncodingOutlastsSaves_data();
    void legacyEncodingOutlastsSaves();
    void saveQuestions_data();
    void saveQuestions();
    void freedMemoryWaitsForIdle_data();
    void freedMemoryWaitsForIdle();
};

void TestDocument::overlongLinesAreRefused_data()
{
    const int max = Document::maxLineLength;
    const QByteArray longest(max, 'x');
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("loads");
    // clang-format off
    QTest::newRow("longest") << "a\r\n" + longest + "\r\nb" << true;
    QTest::newRow("one-too-long") << "a\r\n" + longest + "x\r\nb" << false;
    QTest::newRow("last-too-long") << "a\n" + longest + "x" << false;
    QTest::newRow("utf8-in-characters") << QByteArray("\xE6\xBC\xA2").repeated(max) << true;
    QTest::newRow("rtf-too-long") << "{\\rtf1 " + longest + "x}" << false;
    QTest::newRow("rtf-lines") << "{\\rtf1 " + QByteArray("abc\\par ").repeated(max) + "}" << true;
    // clang-format on
}

// The widget lays out a line as a whole: a line of megabytes would make
// every key pressed on it take seconds, so such files are refused.
void TestDocument::overlongLinesAreRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, loads);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.vyx"));
    QVERIFY(TestUtil::writeBytes(path, bytes));
    Document document;
    document.textDocument()->setPlainText(QStringLiteral("kept"));
    QCOMPARE(document.load(path), loads);
    QVERIFY(!document.isLoading()); // all of it is in when load returns
    if (!loads) {
        QVERIFY(document.errorString().contains(QString::number(Document::maxLineLength)));
        QCOMPARE(document.text(), QStringLiteral("kept"));
    }
}

// Typing and pasting never make a line the editor would refuse to open, and
// no such line is ever saved.
void TestDocument::editsKeepToTheLineLimit()
{
    Document document;
    RichTextBox box;
    box.setModel(&document);
    box.show();
    QSignalSpy refused(&box, &RichTextBox::lineLimitRefused);
    const QString longLine(Document::maxLineLength - 1, u'x');
    box.setText(longLine + QStringLiteral("\r\nshort"));
    box.moveCursor(QTextCursor::Start);
    box.moveCursor(QTextCursor::EndOfBlock);
    QTest::keyClicks(&box, QStringLiteral("ab"));
    QApplication::clipboard()->setText(QStringLiteral("c\nd"));
    box.paste();
    QCOMPARE(refused.count(), 1);
    box.moveCursor(QTextCursor::End);
    box.paste(); // on a short line it fits
    box.selectAll();
    QApplication::clipboard()->setMimeData(new QMimeData); // no text: the selection stays
    box.paste();
    QCOMPARE(box.Text(), longLine + QStringLiteral("a\r\nshortc\r\nd"));

    box.setText(QStringLiteral("a\r\n") + longLine + QStringLiteral("yz")); // as a replacement may
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.vyx"));
    QVERIFY(!document.save(path));
    QVERIFY(document.errorString().startsWith(QStringLiteral("Line 2 ")));
    QVERIFY(!QFile::exists(path));
}

void TestDocument::joinsKeepToTheLineLimit_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<bool>("fits"); // the lines are 10 characters long, not 20,000
    QTest::newRow("Delete") << "Del" << false;
    QTest::newRow("Backspace") << "Backspace" << false;
    QTest::newRow("Ctrl+Delete") << "Ctrl+Del" << false;
    QTest::newRow("Ctrl+Backspace") << "Ctrl+Backspace" << false;
    QTest::newRow("selection") << "select Del" << false;
    QTest::newRow("input method") << "commit" << false;
    QTest::newRow("short lines") << "Del" << true;
}

// A line end deleted, or what an input method commits, never makes a line
// longer than the editor opens: such an edit is refused, and said so.
void TestDocument::joinsKeepToTheLineLimit()
{
    QFETCH(QString, edit);
    QFETCH(bool, fits);
    Document document;
    RichTextBox box;
    box.setModel(&document);
    box.show();
    QSignalSpy refused(&box, &RichTextBox::lineLimitRefused);
    const QString line(fits ? 10 : 20000, u'x');
    const QString text = line + QStringLiteral("\r\n") + line;
    box.setText(text);
    // Backspace at the start of line 2, the other edits at the end of line 1.
    const bool back = edit.contains("Backspace");
    QTextCursor cursor(box.document()->findBlockByNumber(back ? 1 : 0));
    if (!back)
        cursor.movePosition(QTextCursor::EndOfBlock);
    if (edit.startsWith("select")) {
        cursor.movePosition(QTextCursor::Left);
        cursor.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor, 2);
    }
    box.setTextCursor(cursor);
    if (edit == "commit") {
        QInputMethodEvent commit;
        commit.setCommitString(QString(Document::maxLineLength, u'y'));
        QApplication::sendEvent(&box, &commit);
    } else {
        QTest::keySequence(&box, QKeySequence(edit.section(u' ', -1)));
    }
    QCOMPARE(refused.count(), fits ? 0 : 1);
    QCOMPARE(box.Text() == text, !fits);
}

namespace {

// The bytes with every line end (CR LF, lone CR, lone LF) as CR LF, in the
// code units of the format the bytes are read in.
QByteArray withCrLf(const QByteArray &bytes, TextFormat format)
{
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    const QString crlf = QStringLiteral("\r\n");
    if (format.encoding != TextEncoding::Utf16LE && format.encoding != TextEncoding::Utf16BE)
        return QString::fromLatin1(bytes).replace(lineEnd, crlf).toLatin1();
    const int be = format.encoding == TextEncoding::Utf16BE;
    QString units;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        units += QChar(uchar(bytes[i + be]), uchar(bytes[i + 1 - be]));
    QByteArray out;
    for (const QChar c : units.replace(lineEnd, crlf))
        out.append(char(be ? c.row() : c.cell())).append(char(be ? c.cell() : c.row()));
    return out + bytes.right(bytes.size() % 2);
}

} // namespace

// Any bytes read and saved without an edit come back with only their line
// ends changed to CR LF.
void TestDocument::randomBytesRoundTrip()
{
    // Line ends, BOMs, NULs, separators, non-characters, lone surrogates, cut sequences.
    static const char all[]
        = "a|\r|\n|\t|\0|\xFF|\xFE|\xEF\xBB\xBF|\xC3\xA9|\xC2\xA0|\xE2\x80\xA8|"
          "\xE2\x80\xA9|\xEF\xB7\x90|\xED\xB3\xBF|\x80|\xF0\x9F\x9A\x80|\xD8|\xDC";
    const QList<QByteArray> pieces = QByteArray(all, sizeof all - 1).split('|');
    const int kinds = int(pieces.size());
    QRandomGenerator random(11);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.vyx"));
    Document document;
    for (int round = 0; round < 300; ++round) {
        QByteArray bytes;
        for (int n = random.bounded(24); n > 0; --n) {
            const int pick = random.bounded(kinds + 4);
            bytes += pick < kinds ? pieces[pick] : QByteArray(1, char(random.bounded(256)));
        }
        QVERIFY(TestUtil::writeBytes(path, bytes));
        QVERIFY(document.load(path, false));
        QVERIFY(document.save(path));
        QCOMPARE(TestUtil::readBytes(path).toHex(' '),
                 withCrLf(bytes, detectTextFormat(bytes)).toHex(' '));
    }
}

// Save may change how the document is written: the views learn it from encodingChanged, as
// the path, which they also follow, stays the same.
void TestDocument::saveTellsTheNewEncoding()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("w.vyx"));
    QVERIFY(TestUtil::writeBytes(path, "caf\xE9!"));
    Document document;
    QVERIFY(document.load(path, false));
    QTextCursor(document.textDocument()).insertText(QStringLiteral("\u03A9"));
    QSignalSpy changed(&document, &Document::encodingChanged);
    QVERIFY(document.save(path));
    QCOMPARE(TestUtil::readBytes(path),
             QByteArray("\xCE\xA9"
                        "caf\xC3\xA9!"));
    QCOMPARE(changed.count(), 1);
}

// What a command does once a file is in runs exactly once, at once for a
// file read in one step, at the end of a load that goes on, and told when
// the load was cancelled; a later load does not run it again.
void TestDocument::whenLoadedRunsOnce_data()
{
    QTest::addColumn<bool>("large");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("runs");
    // clang-format off
    QTest::newRow("small file") << false << "" << "done";
    QTest::newRow("large file finished") << true << "finish" << "done";
    QTest::newRow("large file cancelled") << true << "cancel" << "cancelled";
    // clang-format on
}

void TestDocument::whenLoadedRunsOnce()
{
    QFETCH(bool, large);
    QFETCH(QString, end);
    QFETCH(QString, runs);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("file.vyx"));
    QVERIFY(
        TestUtil::writeBytes(path, QByteArray("Fighter = 1, 2, 3\n").repeated(large ? 20000 : 1)));
    Document document;
    document.setLoadStepMs(0);
    QStringList ran;
    QVERIFY(document.beginLoad(path, false));
    QCOMPARE(document.isLoading(), large);
    document.whenLoaded(&document, [&ran](bool completed) {
        ran << (completed ? QStringLiteral("done") : QStringLiteral("cancelled"));
    });
    if (end == "finish")
        document.finishLoad();
    else if (end == "cancel")
        document.cancelLoad();
    QVERIFY(document.beginLoad(path, false));
    document.finishLoad();
    QCOMPARE(ran.join(u','), runs);
}

void TestDocument::legacyEncodingOutlastsSaves_data()
{
    QTest::addColumn<QString>("codec");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("typed"); // one edit before each later Save
    // clang-format off
    QTest::newRow("KOI8-R") << "KOI8-R" << u"Привет, мир\r\nкорабль = 5"_s << QStringList{u"д"_s, u"ж"_s};
    QTest::newRow("ISO-8859-15") << "ISO-8859-15" << u"// Coût 5€ Œuvre\r\nName=Šárka Žofie œ Ÿ"_s << QStringList{u"€"_s, u"Ž"_s};
    QTest::newRow("Shift_JIS") << "Shift_JIS" << u"日本語の船\r\n速度 = 5"_s << QStringList{u"港"_s, u"ア"_s};
    QTest::newRow("GBK") << "GBK" << u"飞船\r\n速度 = 5"_s << QStringList{u"舰"_s, u"炮"_s};
    QTest::newRow("GB18030") << "GB18030" << u"飞船 ㄅ\r\n速度 = 5"_s << QStringList{u"舰"_s, u"😀"_s};
    QTest::newRow("Big5") << "Big5" << u"飛船\r\n速度 = 5"_s << QStringList{u"艦"_s, u"砲"_s};
    QTest::newRow("EUC-KR") << "EUC-KR" << u"우주선\r\n속도 = 5"_s << QStringList{u"함"_s, u"포"_s};
    QTest::newRow("Windows-1250") << "Windows-1250" << u"Loď Příliš\r\nrychlost = 5"_s << QStringList{u"ž"_s, u"ő"_s};
    QTest::newRow("Windows-1251") << "Windows-1251" << u"Корабль\r\nскорость = 5"_s << QStringList{u"д"_s, u"ё"_s};
    QTest::newRow("ISO-8859-1") << "ISO-8859-1" << u"Café naïve\r\nvitesse = 5"_s << QStringList{u"ß"_s, u"ÿ"_s};
    QTest::newRow("ISO-8859-2") << "ISO-8859-2" << u"Loď Příliš\r\nrychlost = 5"_s << QStringList{u"ž"_s, u"ő"_s};
    QTest::newRow("ISO-8859-5") << "ISO-8859-5" << u"Корабль\r\nскорость = 5"_s << QStringList{u"д"_s, u"Ђ"_s};
    // clang-format on
}

// A file reopened in a legacy encoding is written in it by every Save, not
// only the first: saved unedited, then after each edit.
void TestDocument::legacyEncodingOutlastsSaves()
{
    QFETCH(QString, codec);
    QFETCH(QString, text);
    QFETCH(QStringList, typed);
    const auto bytesOf = [&codec](const QString &text) {
        QStringEncoder encoder(codec.toLatin1().constData());
        return QByteArray(encoder.encode(text));
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("legacy.vyx"));
    QVERIFY(TestUtil::writeBytes(path, bytesOf(text)));
    Document document;
    FileEncoding chosen;
    QVERIFY(document.load(path) && FileEncoding::fromName(codec, &chosen));
    QVERIFY(document.beginReload(chosen));
    document.finishLoad();
    QCOMPARE(document.text(), text);
    typed.prepend(QString());
    for (const QString &edit : std::as_const(typed)) {
        QTextCursor(document.textDocument()->lastBlock()).insertText(edit);
        text.insert(text.lastIndexOf(u'\n') + 1, edit);
        QCOMPARE(document.saveQuestions(path).size(), 0);
        QVERIFY(document.save(path));
        QCOMPARE(TestUtil::readBytes(path).toHex(' '), bytesOf(text).toHex(' '));
        QCOMPARE(document.encoding().name, codec);
    }
}

namespace {

QString describe(const QList<SaveQuestion> &questions)
{
    static const char *const names[] = {
        "ReplaceRichText",    "OverwriteOtherChanges", "CreateRemovedFile",
        "MisplacedKeptBytes", "LegacyNotExact",        "Windows1252BecomesUtf8",
    };
    QStringList said;
    for (const SaveQuestion &question : questions)
        said << QLatin1String(names[question.kind])
                + (question.line ? u' ' + QString::number(question.line) : QString());
    return said.join(QStringLiteral(", "));
}

} // namespace

void TestDocument::saveQuestions_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reopen"); // in this encoding, after opening
    QTest::addColumn<QString>("typed"); // at the start of the last line
    QTest::addColumn<QString>("then"); // what happens before Save
    QTest::addColumn<QString>("questions");
    QTest::addColumn<QByteArray>("saved"); // every question answered to go on
    // clang-format off
    QTest::newRow("nothing to ask") << QByteArray("a\r\n") << "" << "" << "" << "" << QByteArray("a\r\n");
    QTest::newRow("rich-text source") << QByteArray("{\\rtf1 x}") << "" << "" << "" << "ReplaceRichText" << QByteArray("x");
    QTest::newRow("rich text, another name") << QByteArray("{\\rtf1 x}") << "" << "" << "other name" << "" << QByteArray("x");
    QTest::newRow("changed on disk") << QByteArray("a") << "" << "" << "changed" << "OverwriteOtherChanges" << QByteArray("a");
    QTest::newRow("rich text changed on disk") << QByteArray("{\\rtf1 x}") << "" << "" << "changed" << "ReplaceRichText, OverwriteOtherChanges" << QByteArray("x");
    QTest::newRow("removed from disk") << QByteArray("a") << "" << "" << "removed" << "CreateRemovedFile" << QByteArray("a");
    QTest::newRow("kept byte in UTF-16") << QByteArray("\xFF\xFE" "a\0\n\0b\0", 8) << "" << u"\xDC80"_s << "" << "MisplacedKeptBytes 2" << QByteArray("\xFF\xFE" "a\0\r\0\n\0\xFD\xFF" "b\0", 12);
    QTest::newRow("legacy, bad byte") << QByteArray("\x93\xFA\xFF") << "Shift_JIS" << "" << "" << "LegacyNotExact" << QByteArray("\xE6\x97\xA5\x1A");
    QTest::newRow("legacy, typed what it lacks") << QByteArray("\xE9") << "ISO-8859-1" << u"€"_s << "" << "LegacyNotExact" << QByteArray("\xE2\x82\xAC\xC3\xA9");
    QTest::newRow("1252 becomes UTF-8") << QByteArray("caf\xE9\n") << "" << u"Ω"_s << "" << "Windows1252BecomesUtf8" << QByteArray("caf\xC3\xA9\r\n\xCE\xA9");
    QTest::newRow("ascii becomes UTF-8") << QByteArray("a") << "" << u"Ω"_s << "" << "" << QByteArray("\xCE\xA9" "a");
    // clang-format on
}

// What writing would lose is the document's answer; each question accepted
// lets Save go on, with what the user agreed to done.
void TestDocument::saveQuestions()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reopen);
    QFETCH(QString, typed);
    QFETCH(QString, then);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("q.vyx"));
    QVERIFY(TestUtil::writeBytes(path, bytes));
    Document document;
    QVERIFY(document.load(path));
    FileEncoding chosen;
    if (!reopen.isEmpty()) {
        QVERIFY(FileEncoding::fromName(reopen, &chosen) && document.beginReload(chosen));
        document.finishLoad();
    }
    QTextCursor(document.textDocument()->lastBlock()).insertText(typed);
    if (then == "changed")
        QVERIFY(TestUtil::writeBytes(path, bytes + "!"));
    else if (then == "removed")
        QVERIFY(QFile::remove(path));
    const QString target = then == "other name" ? dir.filePath(QStringLiteral("o.vyx")) : path;
    const QList<SaveQuestion> questions = document.saveQuestions(target);
    QTEST(describe(questions), "questions");
    for (const SaveQuestion &question : questions)
        document.accept(question);
    QVERIFY(document.save(target));
    QTEST(TestUtil::readBytes(target), "saved");
}

// The memory of a large document that goes is kept for the next load and
// handed back only once the editor has been idle a while; a load cancels that.
void TestDocument::freedMemoryWaitsForIdle_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("pending");
    // clang-format off
    QTest::newRow("a large file loaded") << QStringList{"large"} << false;
    QTest::newRow("a small one replaced") << QStringList{"small", "large"} << false;
    QTest::newRow("a large one replaced") << QStringList{"large", "small"} << true;
    QTest::newRow("New drops a large one") << QStringList{"large", "new"} << true;
    QTest::newRow("New, then a load") << QStringList{"large", "new", "small"} << false;
    QTest::newRow("the document goes") << QStringList{"large", "delete"} << true;
    // clang-format on
}

void TestDocument::freedMemoryWaitsForIdle()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, pending);
    QTemporaryDir dir;
    const QString small = dir.filePath(QStringLiteral("small.vyx"));
    const QString large = dir.filePath(QStringLiteral("large.vyx"));
    QVERIFY(TestUtil::writeBytes(small, "Fighter = 1\n"));
    QVERIFY(TestUtil::writeBytes(large, QByteArray("Fighter = 1, 2, 3\n").repeated(20000)));
    keepFreedMemory();
    auto document = std::make_unique<Document>();
    auto box = std::make_unique<RichTextBox>();
    box->setModel(document.get());
    for (const QString &step : std::as_const(steps)) {
        if (step == "new") {
            box->setText(QString());
        } else if (step == "delete") {
            box.reset();
            document.reset();
        } else {
            QVERIFY(document->load(step == "large" ? large : small, false));
        }
    }
    QCOMPARE(isIdleTrimPending(), pending);
    keepFreedMemory();
}

QTEST_MAIN(TestDocument)
#include "tst_document.moc"
