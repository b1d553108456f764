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
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

// Recent files, the place kept in each file, drops, FILE:LINE and Reopen with Encoding.
class TestFilesAtHand : public QObject
{
    Q_OBJECT
    FrmMainWindow *win() const { return frmMain().win(); }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString shown() const { return QFileInfo(win()->document->filePath()).fileName(); }

    void restart()
    {
        frmMain().unload();
        TestUtil::flushDeferredDeletes();
        QVERIFY(TestUtil::showEditor());
    }

    // Clicks that button on the next message box, and notes what it said.
    void answer(const QString &button)
    {
        TestUtil::whenModalShows([this, button](QWidget *modal) {
            m_said = modal->property("text").toString();
            for (QAbstractButton *b : modal->findChildren<QAbstractButton *>()) {
                if (b->text().remove(u'&') == button)
                    return b->click();
            }
            modal->close();
        });
    }

    QStringList recentMenu() const // as shown, without the folder
    {
        QStringList items;
        for (QAction *item : win()->mnuRecentFiles->actions()) {
            QString text = item->isSeparator() ? QStringLiteral("-") : item->text();
            text.remove(QDir::toNativeSeparators(m_dir.path()) + u'/');
            items << text + (item->isEnabled() ? "" : " off");
        }
        return items;
    }

    QTemporaryDir m_dir;
    QString m_said;

private Q_SLOTS:
    void init()
    {
        QSettings().clear();
        QVERIFY(TestUtil::writeBytes(path("a.vyx"), "one\r\ntwo\r\nthree\r\n"));
        QVERIFY(TestUtil::writeBytes(path("b.vyx"), "bee"));
        QVERIFY(TestUtil::showEditor());
    }

    void cleanup()
    {
        TestUtil::closeEditor();
        m_said.clear();
    }

    void recentFiles_data()
    {
        QTest::addColumn<int>("opened"); // the first n of a, b, c, ... opened in turn
        QTest::addColumn<QString>("removed"); // a file deleted before the restart
        QTest::addColumn<QString>("chosen"); // the item chosen after it
        QTest::addColumn<QStringList>("menu");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("message");
        // clang-format off
        QTest::newRow("one chosen") << 3 << "" << "&2 b.vyx"
            << QStringList{"&1 b.vyx", "&2 c.vyx", "&3 a.vyx", "-", "Clear Recent Files"} << "b.vyx" << "";
        QTest::newRow("gone") << 2 << "a.vyx" << "&2 a.vyx"
            << QStringList{"&1 b.vyx", "-", "Clear Recent Files"} << "" << "a.vyx\" no longer exists";
        QTest::newRow("ten at most") << 11 << "" << ""
            << QStringList{"&1 k.vyx", "&2 j.vyx", "&3 i.vyx", "&4 h.vyx", "&5 g.vyx", "&6 f.vyx",
                           "&7 e.vyx", "&8 d.vyx", "&9 c.vyx", "1&0 b.vyx", "-", "Clear Recent Files"}
            << "" << "";
        QTest::newRow("cleared") << 2 << "" << "Clear Recent Files"
            << QStringList{"Clear Recent Files off"} << "" << "";
        // clang-format on
    }

    void recentFiles()
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
        if (!message.isEmpty())
            answer("OK");
        if (!chosen.isEmpty())
            win()->mnuRecentFiles->actions().at(recentMenu().indexOf(chosen))->trigger();
        QVERIFY2(m_said.contains(message), qPrintable(m_said));
        QCOMPARE(recentMenu(), menu);
        QCOMPARE(this->shown(), shown);
    }

    void placeRestored_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("linesWhenBack"); // the file rewritten meanwhile; 0: as it was
        QTest::addColumn<int>("caretLine"); // where the caret is left, and found
        QTest::addColumn<int>("foundLine");
        QTest::newRow("restored") << 300 << 0 << 250 << 250;
        QTest::newRow("the line gone") << 300 << 100 << 250 << 0;
        QTest::newRow("loaded in the background") << 20000 << 0 << 15000 << 15000;
    }

    void placeRestored()
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

    void drop_data()
    {
        QTest::addColumn<bool>("asFile"); // file URLs (a file manager also gives them as text)
        QTest::addColumn<QString>("answer"); // to "Save Changes?" over a typed "x"
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("text");
        // clang-format off
        QTest::newRow("file, No") << true << "No" << "b.vyx" << "bee";
        QTest::newRow("file, Cancel") << true << "Cancel" << "a.vyx" << "xone";
        QTest::newRow("text") << false << "" << "a.vyx" << "droppedone";
        // clang-format on
    }

    void drop()
    {
        QFETCH(bool, asFile);
        QFETCH(QString, answer);
        QFETCH(QString, shown);
        QFETCH(QString, text);
        QVERIFY(win()->openDocument(path("a.vyx")));
        if (!answer.isEmpty()) {
            QTest::keyClicks(win()->rtfMain, "x");
            this->answer(answer);
        }
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
        QTRY_COMPARE(this->shown(), shown);
        QTest::qWait(50);
        QCOMPARE(win()->rtfMain->Text().section(u'\r', 0, 0), text);
    }

    void fileAndLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>(
            "opened"); // file, line, caret's line from 0; or "!" and the error
        // clang-format off
        QTest::newRow("FILE:LINE") << QStringList{"a.vyx:2"} << "a.vyx 2 1";
        QTest::newRow("--line N FILE") << QStringList{"--line", "3", "a.vyx"} << "a.vyx 3 2";
        QTest::newRow("no line") << QStringList{"a.vyx"} << "a.vyx 0 0";
        QTest::newRow("past the end") << QStringList{"a.vyx:99"} << "a.vyx 99 3";
        QTest::newRow("name ending in :7") << QStringList{"b.vyx:7"} << "b.vyx:7 0 0";
        QTest::newRow("--line 0") << QStringList{"--line", "0", "a.vyx"} << "!from 1";
        QTest::newRow("--line alone") << QStringList{"--line", "2"} << "!needs a FILE";
        QTest::newRow("two files") << QStringList{"a.vyx", "b.vyx"} << "!one file";
        // clang-format on
    }

    void fileAndLine()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, opened);
        QVERIFY(TestUtil::writeBytes(path("b.vyx:7"), "b7"));
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QCommandLineParser parser;
        describeCommandLine(parser);
        QVERIFY(parser.parse(QStringList{"vyx-editor"} + args));
        FileToOpen open;
        QString error;
        if (!fileToOpen(parser, &open, &error)) {
            QVERIFY2(opened.startsWith(u'!') && error.contains(opened.mid(1)), qPrintable(error));
            return;
        }
        QCOMPARE(QString("%1 %2").arg(open.path).arg(open.line), opened.section(u' ', 0, 1));
        QVERIFY(win()->openDocument(open.path, open.line));
        QCOMPARE(shown(), open.path);
        QCOMPARE(win()->rtfMain->textCursor().blockNumber(), opened.section(u' ', 2).toInt());
        QCOMPARE(win()->rtfMain->textCursor().positionInBlock(), 0);
    }

    void legacyEncoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("text"); // as read
        QTest::addColumn<QString>("typed"); // at the start, before Save
        QTest::addColumn<QString>("answer"); // to the refusal; empty when Save asks nothing
        QTest::addColumn<QByteArray>("saved");
        // clang-format off
        QTest::newRow("KOI8-R, typed") << QByteArray("\xf0\xd2") << "KOI8-R" << "Пр" << "Ж" << "" << QByteArray("\xf6\xf0\xd2");
        QTest::newRow("bad byte, Cancel") << QByteArray("\x93\xfa\xff") << "Shift_JIS" << "日\x1a" << "" << "Cancel" << QByteArray("\x93\xfa\xff");
        QTest::newRow("bad byte, UTF-8") << QByteArray("\x93\xfa\xff") << "Shift_JIS" << "日\x1a" << "" << "UTF-8" << QByteArray("\xe6\x97\xa5\x1a");
        QTest::newRow("typed what it lacks, Cancel") << QByteArray("\xe9") << "ISO-8859-1" << "é" << "€" << "Cancel" << QByteArray("\xe9");
        QTest::newRow("UTF-16 LE") << QByteArray("a\0", 2) << "UTF-16 LE" << "a" << "" << "" << QByteArray("a\0", 2);
        // clang-format on
    }

    void legacyEncoding()
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
        win()->mnuReopenEncoding->findChild<QAction *>("mnuEncoding_" + encoding)->trigger();
        QCOMPARE(win()->document->encoding().name, encoding);
        QCOMPARE(win()->rtfMain->Text(), text);
        QTest::sendKeyEvent(QTest::Click, win()->rtfMain, Qt::Key_unknown, typed, Qt::NoModifier);
        if (!answer.isEmpty())
            this->answer(answer);
        win()->mnuSave->trigger();
        QVERIFY2(m_said.contains(answer.isEmpty() ? "" : "cannot be written back exactly"),
                 qPrintable(m_said));
        QCOMPARE(TestUtil::readBytes(path("old.txt")), saved);
    }
};

QTEST_MAIN(TestFilesAtHand)
#include "tst_filesathand.moc"
