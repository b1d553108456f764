#include "document.h"
#include "frmmain.h"

#include "richtextbox.h"
#include "searchwindows.h"
#include "testutil.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

const QString includeLine = QStringLiteral("#include \".vyx\"");
const QString separator = QStringLiteral("//*****************************************************");

const auto win = [] { return frmMain().win(); };
const auto rtf = [] { return frmMain().rtfMain(); };

void select(int anchor, int position)
{
    QTextCursor cursor = rtf()->textCursor();
    cursor.setPosition(anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    rtf()->setTextCursor(cursor);
}

// Opens Find (Ctrl+F) or Replace (Ctrl+H) by key, types the text and sets the options by Space.
FrmSearchWindow *openSearch(Qt::Key key, const QString &what, const QString &options)
{
    QTest::keyClick(rtf(), key, Qt::ControlModifier);
    FrmSearchWindow *window = key == Qt::Key_F ? win()->frmFind : win()->frmReplace;
    if (!window || !window->isVisible())
        return nullptr;
    QTest::keyClicks(window->txtFind, what);
    const std::pair<QCheckBox *, bool> boxes[]
        = {{window->chkMatchCase, options.contains(QLatin1String("case"))},
           {window->chkWholeWord, options.contains(QLatin1String("word"))},
           {window->chkWrapAround, !options.contains(QLatin1String("nowrap"))}};
    for (const auto &[box, checked] : boxes)
        if (box->isChecked() != checked)
            QTest::keyClick(box, Qt::Key_Space);
    return window;
}

} // namespace

class TestEditCommands : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        QApplication::clipboard()->setText(QStringLiteral("from another program"));
        frmMain().show();
        QVERIFY(QTest::qWaitForWindowExposed(frmMain().window()));
        // Only the editor's own Cut or Copy enables Paste, whatever the clipboard holds.
        QVERIFY(!win()->mnuPaste->isEnabled());
    }

    void cleanup()
    {
        if (frmMain().isLoaded()) {
            rtf()->document()->setModified(false);
            frmMain().unload();
        }
        TestUtil::flushDeferredDeletes();
    }

    void insertAppends_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("anchor"); // the caret and selection before the command
        QTest::addColumn<int>("position");
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QString>("text");
        const QString last = QStringLiteral("ship Alpha\r\nspeed 4"); // "Alpha" spans 5..10
        // clang-format off
        QTest::newRow("include, empty") << QString() << 0 << 0 << QStringList{"mnuInclude"} << includeLine;
        QTest::newRow("include, caret at start") << last << 0 << 0 << QStringList{"mnuInclude"} << last + includeLine;
        QTest::newRow("separator, word selected") << last << 5 << 10 << QStringList{"mnuItemSeparator"} << last + separator;
        QTest::newRow("slashes, selected backwards") << last << 10 << 2 << QStringList{"mnuDoubleSlash"} << last + "//";
        QTest::newRow("hash, all selected") << last << 0 << 18 << QStringList{"mnuHash"} << last + "#";
        QTest::newRow("slashes, separator") << "abc" << 1 << 1 << QStringList{"mnuDoubleSlash", "mnuItemSeparator"} << "abc//" + separator;
        // clang-format on
    }

    void insertAppends()
    {
        QFETCH(QString, before);
        QFETCH(int, anchor);
        QFETCH(int, position);
        QFETCH(QStringList, actions);
        QFETCH(QString, text);
        rtf()->setText(before);
        select(anchor, position);
        rtf()->document()->setModified(false);
        QSignalSpy change(rtf(), &RichTextBox::Change);
        for (const QString &action : actions)
            win()->findChild<QAction *>(action)->trigger();

        QCOMPARE(rtf()->Text(), text);
        QCOMPARE(change.count(), actions.size());
        QVERIFY(rtf()->document()->isModified());
        QVERIFY(win()->mnuCut->isEnabled() && win()->mnuCopy->isEnabled());
        QVERIFY(!rtf()->textCursor().hasSelection());
        // Include Line leaves the caret for the file name; each insertion undoes on its own.
        QCOMPARE(rtf()->document()->toRawText().mid(rtf()->textCursor().position()),
                 actions.last() == "mnuInclude" ? QStringLiteral(".vyx\"") : QString());
        for (int i = 0; i < actions.size(); ++i)
            QTest::keyClick(rtf(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(rtf()->Text(), before);
    }

    void insertIntoFormattedDocumentLeavesItPlain()
    {
        QVERIFY(win()->document->load(
            QStringLiteral(VYX_TEST_DATA_DIR "/rtf/libreoffice-formatted.rtf")));
        QVERIFY(rtf()->hasFormatting());
        const QString before = rtf()->Text();
        QSignalSpy change(rtf(), &RichTextBox::Change);

        win()->mnuHash->trigger();
        QCOMPARE(rtf()->Text(), before + QStringLiteral("#"));
        QCOMPARE(change.count(), 1);
        QVERIFY(!rtf()->hasFormatting());
        QTextCursor bold(rtf()->document());
        bold.setPosition(int(before.indexOf(QStringLiteral("bold word"))) + 1);
        QVERIFY(bold.charFormat().fontWeight() < QFont::Bold);

        // One undo step brings the formatted text back, redo the plain one.
        QTest::keyClick(rtf(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(rtf()->Text(), before);
        QVERIFY(rtf()->hasFormatting());
        bold.setPosition(int(before.indexOf(QStringLiteral("bold word"))) + 1);
        QCOMPARE(bold.charFormat().fontWeight(), QFont::Bold);
        QTest::keyClick(rtf(), Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(rtf()->Text(), before + QStringLiteral("#"));
        QVERIFY(!rtf()->hasFormatting());
        // An edit made after undoing it keeps the formatting for good.
        QTest::keyClick(rtf(), Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(rtf(), Qt::Key_X);
        QVERIFY(rtf()->hasFormatting());
    }

    void clipboard_data()
    {
        QTest::addColumn<QString>("document");
        QTest::addColumn<int>("anchor"); // the selection before the steps
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("clipboard"); // before the steps
        QTest::addColumn<QStringList>("steps"); // menu items, or Ctrl+ a key typed in the text
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("clipboardAfter");
        const QString ship = QStringLiteral("ship Alpha\r\nspeed 4\r\n// end");
        const QString hello = QStringLiteral("hello world"), other = QStringLiteral("other");
        const QStringList cutPaste{"mnuCut", "mnuPaste"};
        // clang-format off
        QTest::newRow("menu copy: the whole document") << ship << 7 << 13 << other << QStringList{"mnuCopy"} << ship << "ship Alpha\nspeed 4\n// end";
        QTest::newRow("menu cut, paste") << hello << 0 << 11 << other << cutPaste << hello << hello;
        QTest::newRow("cut nothing, paste CR LF") << "x" << 1 << 1 << "a\r\nb\r\nc" << cutPaste << "xa\r\nb\r\nc" << "a\r\nb\r\nc";
        QTest::newRow("ctrl+x: the selection") << hello << 0 << 5 << other << QStringList{"X"} << " world" << "hello";
        QTest::newRow("ctrl+c: the selection") << hello << 0 << 5 << other << QStringList{"C"} << hello << "hello";
        // clang-format on
    }

    // Cut and Copy enable Paste and leave plain text with LF ends; pasting brings in no CR.
    void clipboard()
    {
        QFETCH(QString, document);
        QFETCH(int, anchor);
        QFETCH(int, position);
        QFETCH(QString, clipboard);
        QFETCH(QStringList, steps);
        QFETCH(QString, text);
        QFETCH(QString, clipboardAfter);
        rtf()->setText(document);
        select(anchor, position);
        QApplication::clipboard()->setText(clipboard);
        for (const QString &step : steps) {
            if (step.size() == 1)
                QTest::keyClick(rtf(), Qt::Key(step.at(0).unicode()), Qt::ControlModifier);
            else
                win()->findChild<QAction *>(step)->trigger();
        }
        QCOMPARE(rtf()->Text(), text);
        QVERIFY(!rtf()->document()->toRawText().contains(u'\r'));
        QCOMPARE(QApplication::clipboard()->mimeData()->formats(), QStringList{"text/plain"});
        QCOMPARE(QApplication::clipboard()->text(), clipboardAfter);
        QVERIFY(win()->mnuPaste->isEnabled());
        QCOMPARE(win()->mnuCut->isEnabled(), !text.isEmpty());
    }

    void find_data()
    {
        QTest::addColumn<QString>("document");
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("anchor"); // the selection before the search
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("options"); // "case", "word", "nowrap", "back"
        QTest::addColumn<int>("start"); // of the match selected; -1: none, the selection stays
        const QString ships = QStringLiteral("Laser lasers\r\nlaser LASER");
        // clang-format off
        QTest::newRow("any-case") << ships << "LASER" << 0 << 0 << "" << 0;
        QTest::newRow("match-case") << ships << "laser" << 0 << 0 << "case" << 6;
        QTest::newRow("whole-word") << ships << "laser" << 1 << 1 << "word" << 13;
        QTest::newRow("after-selection") << ships << "laser" << 0 << 5 << "" << 6;
        QTest::newRow("wraps") << ships << "laser" << 19 << 24 << "word" << 0;
        QTest::newRow("no-wrap") << ships << "laser" << 19 << 24 << "nowrap" << -1;
        QTest::newRow("backward") << ships << "laser" << 13 << 18 << "back" << 6;
        QTest::newRow("backward-ends-before-caret") << ships << "laser" << 9 << 9 << "back" << 0;
        QTest::newRow("backward-wraps") << ships << "laser" << 0 << 5 << "back,case" << 13;
        QTest::newRow("not-found") << ships << "hull" << 2 << 4 << "" << -1;
        QTest::newRow("whole-last-line") << "one\r\ntwo\r\nlast" << "last" << 0 << 0 << "nowrap" << 8;
        QTest::newRow("none-inside-selection") << QStringLiteral("aaa") << "aa" << 0 << 2 << "nowrap" << -1;
        // clang-format on
    }

    // Enter presses Find Next; Find Previous is a button of its own.
    void find()
    {
        QFETCH(QString, document);
        QFETCH(QString, what);
        QFETCH(int, anchor);
        QFETCH(int, position);
        QFETCH(QString, options);
        QFETCH(int, start);
        rtf()->setText(document);
        rtf()->document()->setModified(false);
        select(anchor, position);

        FrmSearchWindow *find = openSearch(Qt::Key_F, what, options);
        QVERIFY(find);
        if (options.contains(QLatin1String("back")))
            QTest::mouseClick(find->cmdFindPrevious, Qt::LeftButton);
        else
            QTest::keyClick(find->txtFind, Qt::Key_Return);

        const QTextCursor selection = rtf()->textCursor();
        QCOMPARE(selection.selectionStart(), start < 0 ? qMin(anchor, position) : start);
        QCOMPARE(selection.selectionEnd(),
                 start < 0 ? qMax(anchor, position) : start + what.size());
        QCOMPARE(find->lblStatus->text(),
                 start < 0 ? QStringLiteral("Cannot find \"%1\"").arg(what) : QString());
        QVERIFY(find->isVisible());
        QVERIFY(!rtf()->document()->isModified());
        QCOMPARE(frmMain().caption(), QStringLiteral("VYX Editor 1.0"));

        // Escape closes the window; F3 repeats the search and brings it back when nothing is found.
        QTest::keyClick(find, Qt::Key_Escape);
        QVERIFY(!find->isVisible());
        if (start >= 0) {
            const bool back = options.contains(QLatin1String("back"));
            QTest::keyClick(rtf(), Qt::Key_F3, back ? Qt::ShiftModifier : Qt::NoModifier);
            const bool foundAgain = !options.contains(QLatin1String("nowrap"));
            QCOMPARE(rtf()->textCursor().selectionStart() != start, foundAgain);
            QCOMPARE(rtf()->textCursor().selectedText().toLower(), what.toLower());
            QCOMPARE(find->isVisible(), !foundAgain);
        }
    }

    void replace_data()
    {
        QTest::addColumn<QString>("document");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("with");
        QTest::addColumn<QString>("options");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("status");
        const QString doc = QStringLiteral("hull 4\r\nHull 5 hulls\r\nhull");
        const QStringList all{QStringLiteral("cmdReplaceAll")};
        // clang-format off
        QTest::newRow("all") << doc << "hull" << "Armor" << "" << all << "Armor 4\r\nArmor 5 Armors\r\nArmor" << "Replaced 4 occurrences.";
        QTest::newRow("all-whole-words-case") << doc << "hull" << "x" << "word,case" << all << "x 4\r\nHull 5 hulls\r\nx" << "Replaced 2 occurrences.";
        QTest::newRow("all-growing") << "aa" << "a" << "aa" << "" << all << "aaaa" << "Replaced 2 occurrences.";
        QTest::newRow("all-many-per-line") << "1,2,3\r\n\r\n4,5\r\n6" << "," << ", " << "" << all << "1, 2, 3\r\n\r\n4, 5\r\n6" << "Replaced 3 occurrences.";
        QTest::newRow("all-nbsp-kept") << "a\u00A0b a\u00A0b" << "b" << "c" << "" << all << "a\u00A0c a\u00A0c" << "Replaced 2 occurrences.";
        QTest::newRow("all-none") << doc << "mass" << "x" << "" << all << doc << "Cannot find \"mass\"";
        // The first press only finds; the second replaces and finds the next.
        QTest::newRow("replace-twice") << doc << "hull" << "Shield" << "" << QStringList{"cmdReplace", "cmdReplace"} << "Shield 4\r\nHull 5 hulls\r\nhull" << "";
        // clang-format on
    }

    // Every replacing command is one undo step, and the windows go with the editor.
    void replace()
    {
        QFETCH(QString, document);
        QFETCH(QString, what);
        QFETCH(QString, with);
        QFETCH(QString, options);
        QFETCH(QStringList, buttons);
        QFETCH(QString, text);
        QFETCH(QString, status);
        rtf()->setText(document);
        rtf()->moveCursor(QTextCursor::Start);

        FrmSearchWindow *replace = openSearch(Qt::Key_H, what, options);
        QVERIFY(replace);
        QCOMPARE(replace->windowTitle(), QStringLiteral("Replace"));
        QTest::keyClicks(replace->txtReplace, with);
        for (const QString &button : buttons)
            QTest::mouseClick(replace->findChild<QPushButton *>(button), Qt::LeftButton);
        QCOMPARE(rtf()->Text(), text);
        QCOMPARE(replace->lblStatus->text(), status);

        if (text != document) {
            QTest::keyClick(rtf(), Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(rtf()->Text(), document);
        }
        QPointer<FrmSearchWindow> window = replace;
        rtf()->document()->setModified(false);
        frmMain().unload();
        TestUtil::flushDeferredDeletes();
        QVERIFY(window.isNull());
    }

    // Text read from a rich-text file keeps its formatting around the matches.
    void replaceAllKeepsFormatting()
    {
        QVERIFY(frmMain().win()->document->load(
            QStringLiteral(VYX_TEST_DATA_DIR "/rtf/libreoffice-formatted.rtf")));
        const QString before = rtf()->Text();
        FrmSearchWindow *replace = openSearch(Qt::Key_H, QStringLiteral("word"), QString());
        QVERIFY(replace);
        QTest::keyClicks(replace->txtReplace, QStringLiteral("term"));
        QTest::mouseClick(replace->cmdReplaceAll, Qt::LeftButton);
        QCOMPARE(replace->lblStatus->text(), QStringLiteral("Replaced 2 occurrences."));
        const QString after = rtf()->Text();
        QVERIFY(after.startsWith(QStringLiteral("Plain start bold term then italic term end.")));
        const auto formatOf = [&after](const QString &word) {
            QTextCursor cursor(frmMain().rtfMain()->document());
            cursor.setPosition(int(after.indexOf(word)) + 1);
            return cursor.charFormat();
        };
        QCOMPARE(formatOf(QStringLiteral("bold")).fontWeight(), QFont::Bold);
        QVERIFY(formatOf(QStringLiteral("then")).fontWeight() < QFont::Bold);
        QVERIFY(formatOf(QStringLiteral("italic")).fontItalic());
        QTest::keyClick(rtf(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(rtf()->Text(), before);
    }

    void replaceAllLineLimit_data()
    {
        QTest::addColumn<int>("past"); // how far past the limit the replacement would make a line
        QTest::newRow("at-the-limit") << 0;
        QTest::newRow("one-past") << 1;
    }

    // A Replace All that would make a line too long to edit changes nothing and says so.
    void replaceAllLineLimit()
    {
        QFETCH(int, past);
        const int max = Document::maxLineLength;
        const QString line = QString(10, u'x') + QString(max - 20 + past, u'y');
        const QString document = QStringLiteral("x\r\n") + line;
        rtf()->setText(document);
        FrmSearchWindow *replace = openSearch(Qt::Key_H, QStringLiteral("x"), QString());
        QVERIFY(replace);
        QTest::keyClicks(replace->txtReplace, QStringLiteral("xx"));
        QString warning;
        if (past > 0) {
            TestUtil::whenModalShows([&warning](QWidget *modal) {
                warning = modal->property("text").toString();
                modal->close();
            });
        }
        QTest::mouseClick(replace->cmdReplaceAll, Qt::LeftButton);
        if (past > 0) {
            QCOMPARE(warning,
                     QStringLiteral("This would make a line longer than %1 characters, too long "
                                    "to edit.")
                         .arg(max));
            QCOMPARE(rtf()->Text(), document);
            QVERIFY(!rtf()->document()->isUndoAvailable());
        } else {
            QCOMPARE(rtf()->Text(), QString(document).replace(u'x', QStringLiteral("xx")));
            QCOMPARE(replace->lblStatus->text(), QStringLiteral("Replaced 11 occurrences."));
        }
    }

    // Cancel, pressed once the replacing has begun, leaves the text, its undo
    // steps and its modified state as they were.
    void replaceAllCancel()
    {
        // Enough matches for the work to last well over the 300 ms after
        // which the progress shows.
        const QString document = QStringLiteral("1,2,3,4,5,6,7,8,9,0\r\n").repeated(500000);
        rtf()->setText(document);
        rtf()->moveCursor(QTextCursor::End);
        QTest::keyClick(rtf(), Qt::Key_A);
        rtf()->document()->setModified(false);
        FrmSearchWindow *replace = openSearch(Qt::Key_H, QStringLiteral(","), QString());
        QVERIFY(replace);
        QTest::keyClicks(replace->txtReplace, QStringLiteral(";"));

        QString cancelled; // the accessible name of the window cancelled
        QTimer poll;
        poll.setInterval(5);
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *progress = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
            // The first 20 % is the finding of the matches.
            if (!progress || !progress->isVisible() || progress->value() <= 20)
                return;
            cancelled = progress->accessibleName();
            QTest::mouseClick(progress->findChild<QPushButton *>(), Qt::LeftButton);
            poll.stop();
        });
        poll.start();
        QTest::mouseClick(replace->cmdReplaceAll, Qt::LeftButton);
        QCOMPARE(cancelled, QStringLiteral("Replace All"));
        QCOMPARE(rtf()->Text(), document + QLatin1Char('a'));
        QVERIFY(!rtf()->document()->isModified());
        QCOMPARE(rtf()->document()->availableUndoSteps(), 1);
        QVERIFY(!rtf()->document()->isRedoAvailable());
        QCOMPARE(replace->lblStatus->text(), QString());
        QTest::keyClick(rtf(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(rtf()->Text(), document);
    }

    void goToLine_data()
    {
        QTest::addColumn<int>("lines"); // in the document
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("line"); // 0: OK stays disabled and the caret stays
        QTest::newRow("first") << 3 << "1" << 1;
        QTest::newRow("last") << 3 << "3" << 3;
        QTest::newRow("zero") << 3 << "0" << 0;
        QTest::newRow("past-the-end") << 3 << "4" << 0;
        QTest::newRow("thousands-separator") << 1200 << "1,000" << 1000;
    }

    void goToLine()
    {
        QFETCH(int, lines);
        QFETCH(QString, typed);
        QFETCH(int, line);
        QStringList text{"ship Alpha", "speed 4", "// end"};
        while (text.size() < lines)
            text.insert(1, QStringLiteral("speed 4"));
        rtf()->setText(text.join(QLatin1String("\r\n")));
        rtf()->moveCursor(QTextCursor::End);
        const int caret = rtf()->textCursor().position();

        QTest::keyClick(rtf(), Qt::Key_G, Qt::ControlModifier);
        FrmGoToLineWindow *go = win()->frmGoToLine;
        QVERIFY(go && go->isVisible());
        QCOMPARE(go->lblRange->text(), QStringLiteral("From 1 to %1").arg(lines));
        QTest::keyClicks(go->txtLine, typed);
        QCOMPARE(go->cmdOK->isEnabled(), line > 0);
        QTest::keyClick(go->txtLine, Qt::Key_Return);
        if (line == 0) {
            QTest::keyClick(go, Qt::Key_Escape);
            QCOMPARE(rtf()->textCursor().position(), caret);
        } else {
            QCOMPARE(rtf()->textCursor().blockNumber(), line - 1);
            QCOMPARE(rtf()->textCursor().positionInBlock(), 0);
        }
        QVERIFY(!go->isVisible());
    }

    void statusTextIsReadOut_data()
    {
        QTest::addColumn<char>("key"); // Ctrl+ the key opens the window
        QTest::addColumn<QString>("status");
        QTest::newRow("find") << 'F' << "Cannot find \"plasma\"";
        QTest::newRow("go-to-line") << 'G' << "From 1 to 40";
    }

    // A screen reader reads a status line by its accessible name, which must be its text.
    void statusTextIsReadOut()
    {
        QFETCH(char, key);
        QFETCH(QString, status);
        rtf()->setText(QStringLiteral("speed 4\r\n").repeated(39));
        QTest::keyClick(rtf(), Qt::Key(key), Qt::ControlModifier);
        QLabel *label = key == 'G' ? win()->frmGoToLine->lblRange : nullptr;
        if (!label) {
            FrmSearchWindow *window = key == 'F' ? win()->frmFind : win()->frmReplace;
            QTest::keyClicks(window->txtFind, QStringLiteral("plasma"));
            QTest::keyClick(window->txtFind, Qt::Key_Return);
            label = window->lblStatus;
        }
        QCOMPARE(label->text(), status);
        QCOMPARE(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name), status);
    }
};

QTEST_MAIN(TestEditCommands)
#include "tst_editcommands.moc"
