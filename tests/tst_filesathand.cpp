#include "commandline.h"
#include "document.h"
#include "frmmain.h"
#include "richtextbox.h"
#include "testutil.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

// Recent files, the place kept in each file, files dropped on the text, FILE:LINE and the
// legacy encodings of Reopen with Encoding. In the test's folder a.vyx has three lines,
// b.vyx one and c.vyx one.
class TestFilesAtHand : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // clang-format off
    void init(); void cleanup();
    void recentFiles_data(); void recentFiles();
    void placeRestored_data(); void placeRestored();
    void drop_data(); void drop();
    void fileAndLine_data(); void fileAndLine();
    void legacyEncoding_data(); void legacyEncoding();
    // clang-format on

private:
    FrmMainWindow *win() const { return frmMain().win(); }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    void restart();
    // Clicks the button of that text on the next message box, and notes what it said.
    void answer(const QString &button);
    // The Recent Files menu as shown, the folder left out of each file.
    QStringList recentMenu() const;

    QTemporaryDir m_dir;
    QString m_said;
};

void TestFilesAtHand::init()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings().clear();
    QVERIFY(TestUtil::writeBytes(path("a.vyx"), "one\r\ntwo\r\nthree\r\n"));
    QVERIFY(TestUtil::writeBytes(path("b.vyx"), "bee"));
    QVERIFY(TestUtil::writeBytes(path("c.vyx"), "sea"));
    frmMain().show();
    QVERIFY(QTest::qWaitForWindowExposed(frmMain().window()));
}

void TestFilesAtHand::cleanup()
{
    if (frmMain().isLoaded()) {
        win()->document->textDocument()->setModified(false);
        frmMain().unload();
    }
    TestUtil::flushDeferredDeletes();
    m_said.clear();
}

void TestFilesAtHand::restart()
{
    frmMain().unload();
    TestUtil::flushDeferredDeletes();
    frmMain().show();
    QVERIFY(QTest::qWaitForWindowExposed(frmMain().window()));
}

void TestFilesAtHand::answer(const QString &button)
{
    TestUtil::whenModalShows([this, button](QWidget *modal) {
        m_said = modal->property("text").toString();
        for (QAbstractButton *b : modal->findChildren<QAbstractButton *>()) {
            if (b->text().remove(u'&') == button) {
                b->click();
                return;
            }
        }
        modal->close();
    });
}

QStringList TestFilesAtHand::recentMenu() const
{
    QStringList items;
    for (QAction *item : win()->mnuRecentFiles->actions()) {
        QString text = item->isSeparator() ? QStringLiteral("-") : item->text();
        text.remove(QDir::toNativeSeparators(m_dir.path()) + u'/');
        items << text + (item->isEnabled() ? "" : " off");
    }
    return items;
}

void TestFilesAtHand::recentFiles_data()
{
    QTest::addColumn<int>("opened"); // the first n of a, b, c, ... opened in turn
    QTest::addColumn<QString>("removed"); // a file deleted before the restart
    QTest::addColumn<QString>("chosen"); // the item chosen after it
    QTest::addColumn<QStringList>("menu");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("message");
    // clang-format off
    QTest::newRow("none") << 0 << "" << "" << QStringList{"Clear Recent Files off"} << "" << "";
    QTest::newRow("restart, then one chosen") << 3 << "" << "&2 b.vyx"
        << QStringList{"&1 b.vyx", "&2 c.vyx", "&3 a.vyx", "-", "Clear Recent Files"} << "b.vyx" << "";
    QTest::newRow("a missing file") << 2 << "a.vyx" << "&2 a.vyx"
        << QStringList{"&1 b.vyx", "-", "Clear Recent Files"} << "" << "a.vyx\" no longer exists";
    QTest::newRow("ten at most") << 11 << "" << ""
        << QStringList{"&1 k.vyx", "&2 j.vyx", "&3 i.vyx", "&4 h.vyx", "&5 g.vyx", "&6 f.vyx",
                       "&7 e.vyx", "&8 d.vyx", "&9 c.vyx", "1&0 b.vyx", "-", "Clear Recent Files"}
        << "" << "";
    QTest::newRow("cleared") << 2 << "" << "Clear Recent Files"
        << QStringList{"Clear Recent Files off"} << "" << "";
    // clang-format on
}

void TestFilesAtHand::recentFiles()
{
    QFETCH(int, opened);
    QFETCH(QString, removed);
    QFETCH(QString, chosen);
    QFETCH(QStringList, menu);
    QFETCH(QString, shown);
    QFETCH(QString, message);
    for (int i = 0; i < opened; ++i) {
        const QString name = QString(QChar(u'a' + i)) + ".vyx";
        QVERIFY(QFile::exists(path(name)) || TestUtil::writeBytes(path(name), "x"));
        QVERIFY(win()->openDocument(path(name)));
    }
    if (!removed.isEmpty())
        QVERIFY(QFile::remove(path(removed)));
    restart();
    if (!chosen.isEmpty()) {
        if (!message.isEmpty())
            answer("OK");
        for (QAction *item : win()->mnuRecentFiles->actions()) {
            if (item->text().startsWith(chosen.section(u' ', 0, 0))) {
                item->trigger();
                break;
            }
        }
    }
    QVERIFY2(m_said.contains(message), qPrintable(m_said));
    QCOMPARE(recentMenu(), menu);
    QCOMPARE(QFileInfo(win()->document->filePath()).fileName(), shown);
}

void TestFilesAtHand::placeRestored_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("linesWhenBack"); // the file rewritten meanwhile; 0: as it was
    QTest::addColumn<int>("caretLine"); // where the caret is left, and found
    QTest::addColumn<int>("foundLine");
    QTest::newRow("restored") << 300 << 0 << 250 << 250;
    QTest::newRow("the line gone") << 300 << 100 << 250 << 0;
    QTest::newRow("a big file loaded in the background") << 20000 << 0 << 15000 << 15000;
}

void TestFilesAtHand::placeRestored()
{
    QFETCH(int, lines);
    QFETCH(int, linesWhenBack);
    QFETCH(int, caretLine);
    QFETCH(int, foundLine);
    const auto write = [this](int n) {
        QByteArray text;
        for (int i = 0; i < n; ++i)
            text += "line " + QByteArray::number(i) + "\r\n";
        QVERIFY(TestUtil::writeBytes(path("long.vyx"), text));
    };
    write(lines);
    QVERIFY(win()->openDocument(path("long.vyx")));
    QTRY_VERIFY(!win()->document->isLoading());
    QTextCursor caret(win()->rtfMain->document()->findBlockByNumber(caretLine));
    caret.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 3);
    win()->rtfMain->setTextCursor(caret);
    win()->rtfMain->centerCursor();
    const int scroll = win()->rtfMain->verticalScrollBar()->value();
    QVERIFY(win()->openDocument(path("b.vyx")));
    if (linesWhenBack)
        write(linesWhenBack);
    restart();
    win()->document->setLoadStepMs(0);
    QVERIFY(win()->openDocument(path("long.vyx")));
    QCOMPARE(win()->document->isLoading(), lines > 10000);
    QTRY_VERIFY(!win()->document->isLoading());
    const QTextCursor found = win()->rtfMain->textCursor();
    QCOMPARE(found.blockNumber(), foundLine);
    QCOMPARE(found.positionInBlock(), foundLine ? 3 : 0);
    if (foundLine)
        QCOMPARE(win()->rtfMain->verticalScrollBar()->value(), scroll);
}

void TestFilesAtHand::drop_data()
{
    QTest::addColumn<bool>("modified");
    QTest::addColumn<bool>("asFile"); // file URLs (a file manager also gives them as text)
    QTest::addColumn<QString>("answer"); // to "Save Changes?"
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("text");
    // clang-format off
    QTest::newRow("a file") << false << true << "" << "b.vyx" << "bee";
    QTest::newRow("a file over changes, No") << true << true << "No" << "b.vyx" << "bee";
    QTest::newRow("a file over changes, Cancel") << true << true << "Cancel" << "a.vyx" << "xone";
    QTest::newRow("text") << false << false << "" << "a.vyx" << "droppedone";
    // clang-format on
}

void TestFilesAtHand::drop()
{
    QFETCH(bool, modified);
    QFETCH(bool, asFile);
    QFETCH(QString, answer);
    QFETCH(QString, shown);
    QFETCH(QString, text);
    QVERIFY(win()->openDocument(path("a.vyx")));
    if (modified)
        QTest::keyClicks(win()->rtfMain, "x");
    if (!answer.isEmpty())
        this->answer(answer);
    QMimeData mime;
    if (asFile)
        mime.setUrls({QUrl::fromLocalFile(path("b.vyx"))});
    mime.setText(asFile ? QUrl::fromLocalFile(path("b.vyx")).toString()
                        : QStringLiteral("dropped"));
    QWidget *viewport = win()->rtfMain->viewport();
    QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    QVERIFY(drop.isAccepted());
    QTRY_COMPARE(QFileInfo(win()->document->filePath()).fileName(), shown);
    QTest::qWait(50);
    QCOMPARE(win()->rtfMain->Text().section(u'\r', 0, 0), text);
}

void TestFilesAtHand::fileAndLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("file"); // "!" and the error when refused
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("caretLine"); // once opened, from 0
    QTest::newRow("FILE:LINE") << QStringList{"a.vyx:2"} << "a.vyx" << 2 << 1;
    QTest::newRow("--line N FILE") << QStringList{"--line", "3", "a.vyx"} << "a.vyx" << 3 << 2;
    QTest::newRow("no line") << QStringList{"a.vyx"} << "a.vyx" << 0 << 0;
    QTest::newRow("past the end") << QStringList{"a.vyx:99"} << "a.vyx" << 99 << 3;
    QTest::newRow("a name ending in :digits") << QStringList{"b.vyx:7"} << "b.vyx:7" << 0 << 0;
    QTest::newRow("--line 0") << QStringList{"--line", "0", "a.vyx"} << "!from 1" << 0 << 0;
    QTest::newRow("--line x") << QStringList{"--line", "x", "a.vyx"} << "!from 1" << 0 << 0;
    QTest::newRow("--line alone") << QStringList{"--line", "2"} << "!needs a FILE" << 0 << 0;
    QTest::newRow("two files") << QStringList{"a.vyx", "b.vyx"} << "!one file" << 0 << 0;
}

void TestFilesAtHand::fileAndLine()
{
    QFETCH(QStringList, args);
    QFETCH(QString, file);
    QFETCH(int, line);
    QFETCH(int, caretLine);
    QVERIFY(TestUtil::writeBytes(path("b.vyx:7"), "b7"));
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QCommandLineParser parser;
    describeCommandLine(parser);
    QVERIFY(parser.parse(QStringList{"vyx-editor"} + args));
    FileToOpen open;
    QString error;
    if (file.startsWith(u'!')) {
        QVERIFY(!fileToOpen(parser, &open, &error));
        QVERIFY2(error.contains(file.mid(1)), qPrintable(error));
        return;
    }
    QVERIFY(fileToOpen(parser, &open, &error));
    QCOMPARE(open.path, file);
    QCOMPARE(open.line, line);
    QVERIFY(win()->openDocument(open.path, open.line));
    QCOMPARE(QFileInfo(win()->document->filePath()).fileName(), file);
    QCOMPARE(win()->rtfMain->textCursor().blockNumber(), caretLine);
    QCOMPARE(win()->rtfMain->textCursor().positionInBlock(), 0);
}

void TestFilesAtHand::legacyEncoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QString>("text"); // as read
    QTest::addColumn<QString>("typed"); // at the start, before Save
    QTest::addColumn<QString>("answer"); // to the refusal; empty when Save asks nothing
    QTest::addColumn<QByteArray>("saved");
    // clang-format off
    QTest::newRow("Shift_JIS") << QByteArray("\x93\xfa\x96\x7b\r\n") << "Shift_JIS" << QString::fromUtf8("日本\r\n") << "" << "" << QByteArray("\x93\xfa\x96\x7b\r\n");
    QTest::newRow("KOI8-R, a letter typed") << QByteArray("\xf0\xd2\xc9\xd7\xc5\xd4") << "KOI8-R" << QString::fromUtf8("Привет") << QString::fromUtf8("Ж") << "" << QByteArray("\xf6\xf0\xd2\xc9\xd7\xc5\xd4");
    QTest::newRow("Shift_JIS, a byte that does not come back, Cancel") << QByteArray("\x93\xfa\xff") << "Shift_JIS" << QString::fromUtf8("日\x1a") << "" << "Cancel" << QByteArray("\x93\xfa\xff");
    QTest::newRow("Shift_JIS, a byte that does not come back, UTF-8") << QByteArray("\x93\xfa\xff") << "Shift_JIS" << QString::fromUtf8("日\x1a") << "" << "UTF-8" << QByteArray("\xe6\x97\xa5\x1a");
    QTest::newRow("ISO-8859-1, a character it lacks typed, Cancel") << QByteArray("caf\xe9") << "ISO-8859-1" << QString::fromUtf8("café") << QString::fromUtf8("€") << "Cancel" << QByteArray("caf\xe9");
    QTest::newRow("UTF-16 LE chosen") << QByteArray("a\0b\0", 4) << "UTF-16 LE" << "ab" << "" << "" << QByteArray("a\0b\0", 4);
    // clang-format on
}

void TestFilesAtHand::legacyEncoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, encoding);
    QFETCH(QString, text);
    QFETCH(QString, typed);
    QFETCH(QString, answer);
    QFETCH(QByteArray, saved);
    QVERIFY(TestUtil::writeBytes(path("old.txt"), bytes));
    QVERIFY(win()->openDocument(path("old.txt")));
    QVERIFY(win()->mnuReopenEncoding->menuAction()->isEnabled());
    auto *item = win()->mnuReopenEncoding->findChild<QAction *>("mnuEncoding_" + encoding);
    QVERIFY(item);
    item->trigger();
    QCOMPARE(win()->document->encodingLabel(), encoding);
    QCOMPARE(win()->rtfMain->Text(), text);
    for (const QChar c : typed) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(win()->rtfMain, &key);
    }
    if (!answer.isEmpty())
        this->answer(answer);
    win()->mnuSave->trigger();
    QVERIFY2(m_said.contains(answer.isEmpty() ? "" : "cannot be written back exactly"),
             qPrintable(m_said));
    QCOMPARE(TestUtil::readBytes(path("old.txt")), saved);
}

QTEST_MAIN(TestFilesAtHand)
#include "tst_filesathand.moc"
