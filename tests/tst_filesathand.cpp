#include "commandline.h"
#include "document.h"
#include "frmmain.h"
#include "richtextbox.h"
#include "testutil.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
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
    QString shown() const { return QFileInfo(TestUtil::shownDocument()->filePath()).fileName(); }

    void restart()
    {
        frmMain().unload();
        TestUtil::flushDeferredDeletes();
        QVERIFY(TestUtil::showEditor());
    }

    // Clicks that button on the next message box, and notes what it said.
    void answer(const QString &button, int timeoutMs = 5000)
    {
        TestUtil::whenModalShows(
            [this, button](QWidget *modal) {
                m_said = modal->property("text").toString();
                for (QAbstractButton *b : modal->findChildren<QAbstractButton *>()) {
                    if (b->text().remove(u'&') == button)
                        return b->click();
                }
                modal->close();
            },
            timeoutMs);
    }

    QStringList recentMenu() const // as shown, without the folder
    {
        QStringList items;
        for (QAction *item : TestUtil::part<QMenu>(win(), "mnuRecentFiles")->actions()) {
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
        // A menu takes '&' for a mnemonic: doubled, it shows as itself.
        QTest::newRow("& in a name") << -1 << "" << "&1 s&&w.vyx"
            << QStringList{"&1 s&&w.vyx", "-", "Clear Recent Files"} << "s&w.vyx" << "";
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
        for (int i = 0; i < qAbs(opened); ++i) {
            const QString name = opened < 0 ? "s&w.vyx" : QString(QChar(u'a' + i)) + ".vyx";
            QVERIFY(QFile::exists(path(name)) || TestUtil::writeBytes(path(name), "x"));
            QVERIFY(win()->openDocument(path(name)));
        }
        if (!removed.isEmpty())
            QVERIFY(QFile::remove(path(removed)));
        restart();
        if (!message.isEmpty())
            answer("OK");
        if (!chosen.isEmpty())
            TestUtil::part<QMenu>(win(), "mnuRecentFiles")
                ->actions()
                .at(recentMenu().indexOf(chosen))
                ->trigger();
        QVERIFY2(m_said.contains(message), qPrintable(m_said));
        QCOMPARE(recentMenu(), menu);
        QCOMPARE(this->shown(), shown);
    }

    void absurdSettings_data()
    {
        QTest::addColumn<QString>("key"); // set in a settings file where a.vyx was left on line 3
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("caretLine");
        QTest::addColumn<int>("recentItems");
        QTest::newRow("places: size 200000000") << "Places/size" << QVariant(200000000) << 2 << 1;
        QTest::newRow("place: line past int")
            << "Places/1/line" << QVariant("99999999999") << 0 << 1;
        QTest::newRow("recent files: 1000")
            << "RecentFiles" << QVariant(QStringList(1000, "x")) << 2 << 10;
    }

    // A damaged or hand-edited settings file neither freezes the start nor
    // gives more than the editor would have written.
    void absurdSettings()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        QFETCH(int, caretLine);
        QFETCH(int, recentItems);
        {
            QSettings settings;
            settings.setValue("Places/size", 1);
            settings.setValue("Places/1/path", path("a.vyx"));
            settings.setValue("Places/1/line", 2);
            settings.setValue(key, value);
        }
        restart();
        QVERIFY(win()->openDocument(path("a.vyx")));
        QCOMPARE(frmMain().rtfMain()->textCursor().blockNumber(), caretLine);
        QCOMPARE(recentMenu().size(), recentItems + 2);
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
        QTRY_VERIFY(!TestUtil::shownDocument()->isLoading());
        QTextCursor caret(frmMain().rtfMain()->document()->findBlockByNumber(caretLine));
        caret.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 3);
        frmMain().rtfMain()->setTextCursor(caret);
        frmMain().rtfMain()->centerCursor();
        const int scroll = frmMain().rtfMain()->verticalScrollBar()->value();
        QVERIFY(win()->openDocument(path("b.vyx")));
        if (linesWhenBack)
            write(linesWhenBack);
        restart();
        TestUtil::shownDocument()->setLoadStepMs(0);
        QVERIFY(win()->openDocument(path("long.vyx")));
        QCOMPARE(TestUtil::shownDocument()->isLoading(), lines > 10000);
        QTRY_VERIFY(!TestUtil::shownDocument()->isLoading());
        const QTextCursor found = frmMain().rtfMain()->textCursor();
        QCOMPARE(found.blockNumber(), foundLine);
        QCOMPARE(found.positionInBlock(), foundLine ? 3 : 0);
        if (foundLine)
            QCOMPARE(frmMain().rtfMain()->verticalScrollBar()->value(), scroll);
    }

    void drop_data()
    {
        QTest::addColumn<QString>("how"); // "drop", or a paste: "V" (Ctrl+V) or "mnuPaste"
        QTest::addColumn<bool>("asFile"); // file URLs (a file manager also gives them as text)
        QTest::addColumn<QString>("answer"); // to "Save Changes?" over a typed "x"
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("text"); // %b and %a: the files' paths
        // clang-format off
        QTest::newRow("file, No") << "drop" << true << "No" << "b.vyx" << "bee";
        QTest::newRow("file, Cancel") << "drop" << true << "Cancel" << "a.vyx" << "xone";
        QTest::newRow("text") << "drop" << false << "" << "a.vyx" << "droppedone";
        // A file manager's Copy of files: their paths, one a line; nothing opens.
        QTest::newRow("files, Ctrl+V") << "V" << true << "" << "a.vyx" << "x%b\r\n%aone";
        QTest::newRow("files, menu") << "mnuPaste" << true << "" << "a.vyx" << "x%b\r\n%aone";
        // clang-format on
    }

    void drop()
    {
        QFETCH(QString, how);
        QFETCH(bool, asFile);
        QFETCH(QString, answer);
        QFETCH(QString, shown);
        QFETCH(QString, text);
        QVERIFY(win()->openDocument(path("a.vyx")));
        if (how != "drop" || !answer.isEmpty())
            QTest::keyClicks(frmMain().rtfMain(), "x");
        if (!answer.isEmpty())
            this->answer(answer);
        else if (how != "drop")
            this->answer("No", 300); // what lost the typed text when Paste opened the file
        auto *mime = new QMimeData;
        if (asFile)
            mime->setUrls({QUrl::fromLocalFile(path("b.vyx")), QUrl::fromLocalFile(path("a.vyx"))});
        if (how == "drop") {
            mime->setText(asFile ? QUrl::fromLocalFile(path("b.vyx")).toString()
                                 : QStringLiteral("dropped"));
            QWidget *viewport = frmMain().rtfMain()->viewport();
            QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, mime, Qt::LeftButton,
                                  Qt::NoModifier);
            QApplication::sendEvent(viewport, &enter);
            QDropEvent drop(QPointF(2, 2), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &drop);
            QVERIFY(drop.isAccepted());
            delete mime;
        } else {
            TestUtil::menuItem("mnuCopy")->trigger(); // the menu's Paste is there after a Copy
            QApplication::clipboard()->setMimeData(mime);
            if (how == "V")
                QTest::keyClick(frmMain().rtfMain(), Qt::Key_V, Qt::ControlModifier);
            else
                TestUtil::menuItem("mnuPaste")->trigger();
        }
        QTRY_COMPARE(this->shown(), shown);
        QTest::qWait(50);
        QCOMPARE(m_said.isEmpty(), answer.isEmpty());
        text.replace("%a", QDir::toNativeSeparators(path("a.vyx")));
        text.replace("%b", QDir::toNativeSeparators(path("b.vyx")));
        QCOMPARE(frmMain().rtfMain()->Text().section(u'\r', 0, text.count(u'\r')), text);
        if (how != "drop")
            QTest::qWait(400); // the guard gives up, so that it answers no later question
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
        QTest::newRow("past any line") << QStringList{"a.vyx:99999999999999"} << "a.vyx 2147483647 3";
        QTest::newRow("--line past any") << QStringList{"--line", "99999999999", "a.vyx"} << "a.vyx 2147483647 3";
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
        QCOMPARE(frmMain().rtfMain()->textCursor().blockNumber(), opened.section(u' ', 2).toInt());
        QCOMPARE(frmMain().rtfMain()->textCursor().positionInBlock(), 0);
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
        QVERIFY(TestUtil::menuItem("mnuReopenEncoding")->isEnabled());
        TestUtil::menuItem(qPrintable("mnuEncoding_" + encoding))->trigger();
        QCOMPARE(TestUtil::shownDocument()->encoding().name, encoding);
        QCOMPARE(frmMain().rtfMain()->Text(), text);
        QTest::sendKeyEvent(QTest::Click, frmMain().rtfMain(), Qt::Key_unknown, typed,
                            Qt::NoModifier);
        if (!answer.isEmpty())
            this->answer(answer);
        TestUtil::menuItem("mnuSave")->trigger();
        QVERIFY2(m_said.contains(answer.isEmpty() ? "" : "cannot be written back exactly"),
                 qPrintable(m_said));
        QCOMPARE(TestUtil::readBytes(path("old.txt")), saved);
    }
};

QTEST_MAIN(TestFilesAtHand)
#include "tst_filesathand.moc"
