#include "frmmain.h"

#include "richtextbox.h"
#include "testutil.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString includeLine = QStringLiteral("#include \".vyx\"");
const QString separator = QStringLiteral("//*****************************************************");

FrmMainWindow *win()
{
    return frmMain().win();
}

RichTextBox *rtf()
{
    return frmMain().rtfMain();
}

void select(int anchor, int position)
{
    QTextCursor cursor = rtf()->textCursor();
    cursor.setPosition(anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    rtf()->setTextCursor(cursor);
}

QString textAfterCaret()
{
    return rtf()->document()->toRawText().mid(rtf()->textCursor().position());
}

} // namespace

class TestEditCommands : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void insertAppends_data();
    void insertAppends();
    void insertIntoFormattedDocumentLeavesItPlain();
    void copyTakesWholeDocument();
    void cutAndPasteThroughMenu();
    void pasteLineEnds_data();
    void pasteLineEnds();
};

void TestEditCommands::init()
{
    QApplication::clipboard()->setText(QStringLiteral("from another program"));
    frmMain().show();
    QVERIFY(QTest::qWaitForWindowExposed(frmMain().window()));
    // Only the editor's own Cut or Copy enables Paste, whatever the clipboard holds.
    QVERIFY(!win()->mnuPaste->isEnabled());
}

void TestEditCommands::cleanup()
{
    if (frmMain().isLoaded()) {
        rtf()->document()->setModified(false);
        frmMain().unload();
    }
    TestUtil::flushDeferredDeletes();
}

void TestEditCommands::insertAppends_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("anchor"); // the caret and selection before the command
    QTest::addColumn<int>("position");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("afterCaret"); // Include Line leaves the caret for the file name

    const QString lastLine = QStringLiteral("ship Alpha\r\nspeed 4"); // "Alpha" spans 5..10
    const struct
    {
        const char *action;
        QString snippet;
        QString afterCaret;
        const char *selection;
        int anchor, position;
    } commands[]
        = {{"mnuInclude", includeLine, QStringLiteral(".vyx\""), "caret-at-start", 0, 0},
           {"mnuItemSeparator", separator, QString(), "word-selected", 5, 10},
           {"mnuDoubleSlash", QStringLiteral("//"), QString(), "selected-backwards", 10, 2},
           {"mnuHash", QStringLiteral("#"), QString(), "all-selected", 0, 18}};
    for (const auto &c : commands) {
        QTest::addRow("%s-on-empty-document", c.action)
            << QString() << 0 << 0 << QStringList{c.action} << c.snippet << c.afterCaret;
        QTest::addRow("%s-joins-last-line-%s", c.action, c.selection)
            << lastLine << c.anchor << c.position << QStringList{c.action} << lastLine + c.snippet
            << c.afterCaret;
    }
    QTest::newRow("include-twice") << QString() << 0 << 0 << QStringList{"mnuInclude", "mnuInclude"}
                                   << includeLine + includeLine << QStringLiteral(".vyx\"");
    QTest::newRow("abc-slashes-separator")
        << QStringLiteral("abc") << 1 << 1 << QStringList{"mnuDoubleSlash", "mnuItemSeparator"}
        << QStringLiteral("abc//") + separator << QString();
}

void TestEditCommands::insertAppends()
{
    QFETCH(QString, before);
    QFETCH(int, anchor);
    QFETCH(int, position);
    QFETCH(QStringList, actions);
    QFETCH(QString, text);
    QFETCH(QString, afterCaret);

    const QStringList lines = before.split(QStringLiteral("\r\n"));
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0)
            QTest::keyClick(rtf(), Qt::Key_Return);
        QTest::keyClicks(rtf(), lines[i]);
    }
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
    QCOMPARE(textAfterCaret(), afterCaret);

    // Each insertion is one undo step of its own, apart from the typing.
    for (int i = 0; i < actions.size(); ++i)
        QTest::keyClick(rtf(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(rtf()->Text(), before);
}

void TestEditCommands::insertIntoFormattedDocumentLeavesItPlain()
{
    QVERIFY(rtf()->LoadFile(QStringLiteral(VYX_TEST_DATA_DIR "/rtf/libreoffice-formatted.rtf")));
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
}

void TestEditCommands::copyTakesWholeDocument()
{
    const QString text = QStringLiteral("ship Alpha\r\nspeed 4\r\n// end");
    rtf()->setText(text);
    select(7, 13); // "pha\nsp"
    QSignalSpy change(rtf(), &RichTextBox::Change);

    win()->mnuCopy->trigger();

    const QMimeData *mime = QApplication::clipboard()->mimeData();
    QCOMPARE(mime->formats(), QStringList{QStringLiteral("text/plain")});
    QCOMPARE(mime->text(), QStringLiteral("ship Alpha\nspeed 4\n// end"));
    QVERIFY(win()->mnuPaste->isEnabled());
    QCOMPARE(rtf()->Text(), text);
    QCOMPARE(change.count(), 0);
    QCOMPARE(rtf()->textCursor().selectedText(), QStringLiteral("pha\u2029sp"));
}

void TestEditCommands::cutAndPasteThroughMenu()
{
    QTest::keyClicks(rtf(), QStringLiteral("hello world"));
    select(0, 11);
    win()->mnuCut->trigger();
    QCOMPARE(rtf()->Text(), QString());
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("hello world"));
    QVERIFY(!win()->mnuCut->isEnabled() && !win()->mnuCopy->isEnabled());
    QVERIFY(win()->mnuPaste->isEnabled());

    win()->mnuPaste->trigger();
    QCOMPARE(rtf()->Text(), QStringLiteral("hello world"));
    QVERIFY(win()->mnuCut->isEnabled() && win()->mnuCopy->isEnabled());
}

void TestEditCommands::pasteLineEnds_data()
{
    QTest::addColumn<QString>("clipboard");
    QTest::newRow("crlf") << QStringLiteral("one\r\ntwo\r\nthree");
    QTest::newRow("lf") << QStringLiteral("one\ntwo\nthree");
    QTest::newRow("mixed") << QStringLiteral("one\ntwo\r\nthree");
}

void TestEditCommands::pasteLineEnds()
{
    QFETCH(QString, clipboard);
    rtf()->setText(QStringLiteral("x"));
    rtf()->moveCursor(QTextCursor::End);
    QApplication::clipboard()->setText(clipboard);
    QSignalSpy change(rtf(), &RichTextBox::Change);

    // With nothing selected Cut changes nothing, yet enables Paste.
    win()->mnuCut->trigger();
    QCOMPARE(rtf()->Text(), QStringLiteral("x"));
    QCOMPARE(change.count(), 0);
    QCOMPARE(QApplication::clipboard()->text(), clipboard);
    win()->mnuPaste->trigger();
    QCOMPARE(rtf()->blockCount(), 3);
    QVERIFY(!rtf()->document()->toRawText().contains(u'\r'));
    QCOMPARE(rtf()->Text(), QStringLiteral("xone\r\ntwo\r\nthree"));
}

QTEST_MAIN(TestEditCommands)
#include "tst_editcommands.moc"
