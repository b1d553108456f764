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

const QString formatted = QStringLiteral(VYX_TEST_DATA_DIR "/rtf/libreoffice-formatted.rtf");

const auto win = [] { return frmMain().win(); };
const auto rtf = [] { return frmMain().rtfMain(); };

void select(int anchor, int position)
{
    QTextCursor cursor = rtf()->textCursor();
    cursor.setPosition(anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    rtf()->setTextCursor(cursor);
}

void undo()
{
    QTest::keyClick(rtf(), Qt::Key_Z, Qt::ControlModifier);
}

// A status line is read out by its accessible name, which must be its text.
void compareStatus(QLabel *label, const QString &text)
{
    QCOMPARE(label->text(), text);
    QCOMPARE(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name), text);
}

// Opens Find (Ctrl+F) or Replace (Ctrl+H) by key, types the text and sets the options by Space.
FrmSearchWindow *openSearch(Qt::Key key, const QString &what, const QString &options)
{
    QTest::keyClick(rtf(), key, Qt::ControlModifier);
    FrmSearchWindow *window = key == Qt::Key_F
        ? TestUtil::part<FrmSearchWindow>(win(), "frmFind")
        : TestUtil::part<FrmSearchWindow>(win(), "frmReplace");
    if (!window || !window->isVisible())
        return nullptr;
    QTest::keyClicks(window->txtFind, what);
    const std::pair<QCheckBox *, bool> boxes[]
        = {{window->chkMatchCase, options.contains("case")},
           {window->chkWholeWord, options.contains("word")},
           {window->chkWrapAround, !options.contains("nowrap")}};
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
        QVERIFY(TestUtil::showEditor());
        // Only the editor's own Cut or Copy enables Paste, whatever the clipboard holds.
        QVERIFY(!TestUtil::menuItem("mnuPaste")->isEnabled());
    }

    void cleanup() { TestUtil::closeEditor(); }

    void insertAppends_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("anchor"); // the selection before the commands
        QTest::addColumn<int>("position");
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QString>("text");
        const QString sep
            = QStringLiteral("//*****************************************************");
        const QString last = QStringLiteral("ship Alpha\r\nspeed 4");
        // clang-format off
        QTest::newRow("include") << QString() << 0 << 0 << QStringList{"mnuInclude"} << "#include \".vyx\"";
        QTest::newRow("separator") << last << 10 << 5 << QStringList{"mnuItemSeparator"} << last + sep;
        QTest::newRow("slashes, separator") << "abc" << 1 << 1 << QStringList{"mnuDoubleSlash", "mnuItemSeparator"} << "abc//" + sep;
        // clang-format on
    }

    void insertAppends()
    {
        QFETCH(QString, before);
        QFETCH(int, anchor);
        QFETCH(int, position);
        QFETCH(QStringList, actions);
        rtf()->setText(before);
        select(anchor, position);
        rtf()->document()->setModified(false);
        QSignalSpy change(rtf(), &RichTextBox::Change);
        for (const QString &action : actions)
            win()->findChild<QAction *>(action)->trigger();

        QTEST(rtf()->Text(), "text");
        QCOMPARE(change.count(), actions.size());
        QVERIFY(rtf()->document()->isModified());
        QVERIFY(TestUtil::menuItem("mnuCut")->isEnabled()
                && TestUtil::menuItem("mnuCopy")->isEnabled());
        // Include Line leaves the caret for the file name; each insertion undoes on its own.
        QCOMPARE(rtf()->document()->toRawText().mid(rtf()->textCursor().position()),
                 actions.last() == "mnuInclude" ? QStringLiteral(".vyx\"") : QString());
        for (int i = 0; i < actions.size(); ++i)
            undo();
        QCOMPARE(rtf()->Text(), before);
    }

    // Commands write plain text, as one undo step that brings the formatted
    // text back; Replace All keeps the formatting around the matches.
    void formattedDocument()
    {
        QVERIFY(TestUtil::shownDocument()->load(formatted));
        const QString before = rtf()->Text();
        QSignalSpy change(rtf(), &RichTextBox::Change);
        TestUtil::menuItem("mnuHash")->trigger();
        QCOMPARE(rtf()->Text(), before + "#");
        QCOMPARE(change.count(), 1);
        QVERIFY(!rtf()->hasFormatting());
        const auto formatOf = [](const char *word) {
            QTextCursor cursor(rtf()->document());
            cursor.setPosition(int(rtf()->Text().indexOf(QLatin1String(word))) + 1);
            return cursor.charFormat();
        };
        QVERIFY(formatOf("bold").fontWeight() < QFont::Bold);
        undo();
        QCOMPARE(rtf()->Text(), before);
        QVERIFY(rtf()->hasFormatting());
        QTest::keyClick(rtf(), Qt::Key_Y, Qt::ControlModifier);
        QVERIFY(!rtf()->hasFormatting());
        // An edit made after the undo keeps the formatting for good.
        undo();
        QTest::keyClick(rtf(), Qt::Key_X);
        QVERIFY(rtf()->hasFormatting());

        FrmSearchWindow *replace = openSearch(Qt::Key_H, QStringLiteral("word"), QString());
        QVERIFY(replace);
        QTest::keyClicks(replace->txtReplace, QStringLiteral("term"));
        QTest::mouseClick(replace->cmdReplaceAll, Qt::LeftButton);
        QVERIFY(rtf()->Text().startsWith(QStringLiteral("Plain start bold term then italic term")));
        QCOMPARE(formatOf("bold").fontWeight(), QFont::Bold);
        QVERIFY(formatOf("then").fontWeight() < QFont::Bold);
        QVERIFY(formatOf("italic").fontItalic());
    }

    void clipboard_data()
    {
        QTest::addColumn<int>("anchor"); // the selection in "hello\r\nworld"
        QTest::addColumn<int>("position");
        QTest::addColumn<QStringList>("steps"); // menu items, or Ctrl+ a key typed in the text
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("clipboardAfter");
        const QString hello = QStringLiteral("hello\r\nworld");
        const QStringList cutPaste{"mnuCut", "mnuPaste"};
        // clang-format off
        QTest::newRow("copy: all") << 1 << 3 << QStringList{"mnuCopy"} << hello << "hello\nworld";
        QTest::newRow("cut, paste") << 0 << 11 << cutPaste << hello << "hello\nworld";
        QTest::newRow("cut none, paste CR LF") << 11 << 11 << cutPaste << hello + "a\r\nb\r\nc" << "a\r\nb\rc";
        QTest::newRow("ctrl+x") << 0 << 5 << QStringList{"X"} << "\r\nworld" << "hello";
        QTest::newRow("ctrl+c") << 0 << 5 << QStringList{"C"} << hello << "hello";
        // clang-format on
    }

    // Cut and Copy enable Paste and leave plain text with LF ends; Paste adds no CR.
    void clipboard()
    {
        QFETCH(int, anchor);
        QFETCH(int, position);
        QFETCH(QStringList, steps);
        rtf()->setText(QStringLiteral("hello\r\nworld"));
        select(anchor, position);
        QApplication::clipboard()->setText(QStringLiteral("a\r\nb\rc")); // as from elsewhere
        for (const QString &step : steps) {
            if (step.size() == 1)
                QTest::keyClick(rtf(), Qt::Key(step.at(0).unicode()), Qt::ControlModifier);
            else
                win()->findChild<QAction *>(step)->trigger();
        }
        QTEST(rtf()->Text(), "text");
        QCOMPARE(QApplication::clipboard()->mimeData()->formats(), QStringList{"text/plain"});
        QTEST(QApplication::clipboard()->text(), "clipboardAfter");
        QVERIFY(TestUtil::menuItem("mnuPaste")->isEnabled()
                && TestUtil::menuItem("mnuCut")->isEnabled());
    }

    void find_data()
    {
        QTest::addColumn<int>("anchor"); // the selection before the search for "laser"
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("options"); // "case", "word", "nowrap", "back"
        QTest::addColumn<int>("start"); // of the match selected; -1: none, the selection stays
        QTest::newRow("case") << 0 << 0 << "case" << 6;
        QTest::newRow("word") << 1 << 1 << "word" << 13;
        QTest::newRow("after-selection") << 0 << 5 << "" << 6;
        QTest::newRow("wraps") << 19 << 24 << "word" << 0;
        QTest::newRow("no-wrap") << 19 << 24 << "nowrap" << -1;
        QTest::newRow("back") << 13 << 18 << "back" << 6;
        QTest::newRow("back-ends-before-caret") << 9 << 9 << "back" << 0;
        QTest::newRow("back-wraps") << 0 << 5 << "back,case" << 13;
        QTest::newRow("at-the-end") << 13 << 18 << "nowrap" << 19;
    }

    // Enter presses Find Next; Find Previous is a button of its own.
    void find()
    {
        QFETCH(int, anchor);
        QFETCH(int, position);
        QFETCH(QString, options);
        QFETCH(int, start);
        const QString what = QStringLiteral("laser");
        rtf()->setText(QStringLiteral("Laser lasers\r\nlaser LASER"));
        rtf()->document()->setModified(false);
        select(anchor, position);

        FrmSearchWindow *find = openSearch(Qt::Key_F, what, options);
        QVERIFY(find);
        const bool back = options.contains("back");
        if (back)
            QTest::mouseClick(find->cmdFindPrevious, Qt::LeftButton);
        else
            QTest::keyClick(find->txtFind, Qt::Key_Return);

        const QTextCursor selection = rtf()->textCursor();
        QCOMPARE(selection.selectionStart(), start < 0 ? qMin(anchor, position) : start);
        QCOMPARE(selection.selectionEnd(),
                 start < 0 ? qMax(anchor, position) : start + what.size());
        compareStatus(find->lblStatus,
                      start < 0 ? QStringLiteral("Cannot find \"%1\"").arg(what) : QString());
        QVERIFY(find->isVisible());
        QVERIFY(!rtf()->document()->isModified());

        // Escape closes the window; F3 repeats the search and brings it back when nothing is found.
        QTest::keyClick(find, Qt::Key_Escape);
        QVERIFY(!find->isVisible());
        if (start >= 0) {
            QTest::keyClick(rtf(), Qt::Key_F3, back ? Qt::ShiftModifier : Qt::NoModifier);
            const bool foundAgain = !options.contains("nowrap");
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
        QTest::addColumn<QString>("status"); // or the warning shown
        const QString doc = QStringLiteral("hull 4\r\nHull 5 hulls\r\nhull");
        const QStringList all{QStringLiteral("cmdReplaceAll")};
        // Replace All makes the line as long as the editor allows, or one more.
        const QString longest
            = "x\r\n" + QString(10, u'x') + QString(Document::maxLineLength - 20, u'y');
        const QString tooLong = longest + "y";
        const QString refused = QStringLiteral(
            "This would make a line longer than 32768 characters, too long to edit.");
        // clang-format off
        QTest::newRow("all") << doc << "hull" << "Armor" << "" << all << "Armor 4\r\nArmor 5 Armors\r\nArmor" << "Replaced 4 occurrences.";
        QTest::newRow("all, word, case") << doc << "hull" << "x" << "word,case" << all << "x 4\r\nHull 5 hulls\r\nx" << "Replaced 2 occurrences.";
        QTest::newRow("all, lines grow") << "1,2\u00A03\r\n\r\n4,5\r\n6" << "," << ", " << "" << all << "1, 2\u00A03\r\n\r\n4, 5\r\n6" << "Replaced 2 occurrences.";
        QTest::newRow("all, none") << doc << "mass" << "x" << "" << all << doc << "Cannot find \"mass\"";
        QTest::newRow("all, longest line") << longest << "x" << "xx" << "" << all << QString(longest).replace("x", "xx") << "Replaced 11 occurrences.";
        QTest::newRow("all, line too long") << tooLong << "x" << "xx" << "" << all << tooLong << refused;
        // The first press only finds; the second replaces and finds the next.
        QTest::newRow("replace twice") << doc << "hull" << "Shield" << "" << QStringList{"cmdReplace", "cmdReplace"} << "Shield 4\r\nHull 5 hulls\r\nhull" << "";
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
        QFETCH(QString, status);
        rtf()->setText(document);
        rtf()->moveCursor(QTextCursor::Start);
        FrmSearchWindow *replace = openSearch(Qt::Key_H, what, options);
        QVERIFY(replace);
        QTest::keyClicks(replace->txtReplace, with);
        QString shown;
        if (status.startsWith("This would")) {
            TestUtil::whenModalShows([&shown](QWidget *modal) {
                shown = modal->property("text").toString();
                modal->close();
            });
        }
        for (const QString &button : buttons)
            QTest::mouseClick(replace->findChild<QPushButton *>(button), Qt::LeftButton);
        QTEST(rtf()->Text(), "text");
        QCOMPARE(shown.isEmpty() ? replace->lblStatus->text() : shown, status);
        undo();
        QCOMPARE(rtf()->Text(), document);

        QPointer<FrmSearchWindow> window = replace;
        rtf()->document()->setModified(false);
        frmMain().unload();
        TestUtil::flushDeferredDeletes();
        QVERIFY(window.isNull());
    }

    // Cancel, pressed once the replacing has begun, leaves the text, its undo
    // steps and its modified state as they were.
    void replaceAllCancel()
    {
        // Enough matches for the progress to show.
        const QString document = QStringLiteral("1,2,3,4,5,6,7,8,9,0\r\n").repeated(500000);
        rtf()->setText(document);
        rtf()->moveCursor(QTextCursor::End);
        QTest::keyClick(rtf(), Qt::Key_A);
        rtf()->document()->setModified(false);
        FrmSearchWindow *replace = openSearch(Qt::Key_H, QStringLiteral(","), QString());
        QVERIFY(replace);
        QTest::keyClicks(replace->txtReplace, QStringLiteral(";"));

        QString cancelled; // the window's accessible name
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
        undo();
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
        rtf()->setText(QStringLiteral("speed 4\r\n").repeated(lines - 1) + "end");
        rtf()->moveCursor(QTextCursor::End);
        const int caret = rtf()->textCursor().position();

        QTest::keyClick(rtf(), Qt::Key_G, Qt::ControlModifier);
        FrmGoToLineWindow *go = TestUtil::part<FrmGoToLineWindow>(win(), "frmGoToLine");
        QVERIFY(go && go->isVisible());
        compareStatus(go->lblRange, QStringLiteral("From 1 to %1").arg(lines));
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
};

QTEST_MAIN(TestEditCommands)
#include "tst_editcommands.moc"
