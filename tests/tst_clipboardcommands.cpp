#include "frmmain.h"

#include "clipboard.h"
#include "richtextbox.h"
#include "testutil.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

namespace {

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

void reloadEditor()
{
    rtf()->document()->setModified(false);
    frmMain().unload();
    TestUtil::flushDeferredDeletes();
    frmMain().show();
}

} // namespace

class TestClipboardCommands : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void pasteDisabledAtEveryLoad();
    void copyTakesWholeDocument_data();
    void copyTakesWholeDocument();
    void copyLineEnds();
    void clipboardTextIsLf_data();
    void clipboardTextIsLf();
    void cutWithNothingSelected();
    void cutAndPasteThroughMenu();
    void pasteLineEnds_data();
    void pasteLineEnds();
    void controlKeysActOnSelection();
};

void TestClipboardCommands::init()
{
    QApplication::clipboard()->clear();
    frmMain().show();
    QVERIFY(QTest::qWaitForWindowExposed(frmMain().window()));
}

void TestClipboardCommands::cleanup()
{
    if (frmMain().isLoaded()) {
        rtf()->document()->setModified(false);
        frmMain().unload();
    }
    TestUtil::flushDeferredDeletes();
}

void TestClipboardCommands::pasteDisabledAtEveryLoad()
{
    frmMain().unload();
    TestUtil::flushDeferredDeletes();
    QApplication::clipboard()->setText(QStringLiteral("from another program"));
    frmMain().show();
    QVERIFY(!win()->mnuPaste->isEnabled());

    rtf()->setText(QStringLiteral("abc"));
    win()->mnuCopy->trigger();
    QVERIFY(win()->mnuPaste->isEnabled());

    reloadEditor();
    QVERIFY(!QApplication::clipboard()->text().isEmpty());
    QVERIFY(!win()->mnuPaste->isEnabled());
}

void TestClipboardCommands::copyTakesWholeDocument_data()
{
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("position");

    // "ship Alpha\nspeed 4\n// end": "Alpha" spans 5..10.
    QTest::newRow("word-selected") << 5 << 10;
    QTest::newRow("across-lines") << 8 << 14;
    QTest::newRow("nothing-selected") << 3 << 3;
    QTest::newRow("everything-selected") << 0 << 24;
}

void TestClipboardCommands::copyTakesWholeDocument()
{
    QFETCH(int, anchor);
    QFETCH(int, position);

    const QString text = QStringLiteral("ship Alpha\r\nspeed 4\r\n// end");
    rtf()->setText(text);
    select(anchor, position);
    QApplication::clipboard()->setText(QStringLiteral("old"));
    QSignalSpy change(rtf(), &RichTextBox::Change);

    win()->mnuCopy->trigger();

    const QMimeData *mime = QApplication::clipboard()->mimeData();
    QVERIFY(mime);
    QCOMPARE(mime->formats(), QStringList{QStringLiteral("text/plain")});
    QCOMPARE(mime->text(), QStringLiteral("ship Alpha\nspeed 4\n// end"));
    QVERIFY(win()->mnuPaste->isEnabled());
    QCOMPARE(rtf()->Text(), text);
    QCOMPARE(change.count(), 0);
    QCOMPARE(rtf()->textCursor().anchor(), anchor);
    QCOMPARE(rtf()->textCursor().position(), position);
}

void TestClipboardCommands::copyLineEnds()
{
    // A soft line break (Shift+Return) is a line end like any other.
    QTest::keyClicks(rtf(), QStringLiteral("a"));
    QTest::keyClick(rtf(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(rtf(), QStringLiteral("b"));
    QTest::keyClick(rtf(), Qt::Key_Return);
    win()->mnuCopy->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("a\nb\n"));

    // Thousands of lines, well past where QString::replace works in batches.
    QStringList lines;
    for (int i = 0; i < 3000; ++i)
        lines << QStringLiteral("item %1").arg(i);
    rtf()->setText(lines.join(QLatin1String("\r\n")));
    win()->mnuCopy->trigger();
    QCOMPARE(QApplication::clipboard()->text(), lines.join(QLatin1Char('\n')));
    QCOMPARE(rtf()->Text(), lines.join(QLatin1String("\r\n")));
}

void TestClipboardCommands::clipboardTextIsLf_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("onClipboard");
    QTest::newRow("crlf") << QStringLiteral("a\r\nb\r\n") << QStringLiteral("a\nb\n");
    QTest::newRow("lone-cr") << QStringLiteral("a\rb\r") << QStringLiteral("a\nb\n");
    QTest::newRow("cr-cr-lf") << QStringLiteral("a\r\r\nb") << QStringLiteral("a\n\nb");
    QTest::newRow("lf") << QStringLiteral("a\nb") << QStringLiteral("a\nb");
    QTest::newRow("no-line-end") << QStringLiteral("a b") << QStringLiteral("a b");
    QString manyCrlf;
    QString manyLf;
    for (int i = 0; i < 3000; ++i) {
        manyCrlf += QStringLiteral("x%1\r\n").arg(i);
        manyLf += QStringLiteral("x%1\n").arg(i);
    }
    QTest::newRow("thousands-of-crlf") << manyCrlf << manyLf;
}

void TestClipboardCommands::clipboardTextIsLf()
{
    QFETCH(QString, text);
    QFETCH(QString, onClipboard);
    Clipboard::setText(text);
    QCOMPARE(Clipboard::text(), onClipboard);
    QCOMPARE(QApplication::clipboard()->mimeData()->formats(), QStringList{QStringLiteral("text/plain")});
}

void TestClipboardCommands::cutWithNothingSelected()
{
    rtf()->setText(QStringLiteral("abc"));
    select(1, 1);
    QApplication::clipboard()->setText(QStringLiteral("kept"));
    QSignalSpy change(rtf(), &RichTextBox::Change);

    win()->mnuCut->trigger();

    QCOMPARE(rtf()->Text(), QStringLiteral("abc"));
    QCOMPARE(change.count(), 0);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("kept"));
    QVERIFY(win()->mnuPaste->isEnabled());
    QVERIFY(win()->mnuCut->isEnabled());
}

void TestClipboardCommands::cutAndPasteThroughMenu()
{
    QTest::keyClicks(rtf(), QStringLiteral("hello world"));
    QVERIFY(!win()->mnuPaste->isEnabled());
    select(0, 11);

    win()->mnuCut->trigger();
    QCOMPARE(rtf()->Text(), QString());
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("hello world"));
    QVERIFY(!win()->mnuCut->isEnabled());
    QVERIFY(!win()->mnuCopy->isEnabled());
    QVERIFY(win()->mnuPaste->isEnabled());

    win()->mnuPaste->trigger();
    QCOMPARE(rtf()->Text(), QStringLiteral("hello world"));
    QVERIFY(win()->mnuCut->isEnabled());
    QVERIFY(win()->mnuCopy->isEnabled());
    QVERIFY(win()->mnuPaste->isEnabled());

    // Paste replaces the selection.
    select(6, 11);
    QApplication::clipboard()->setText(QStringLiteral("there"));
    win()->mnuPaste->trigger();
    QCOMPARE(rtf()->Text(), QStringLiteral("hello there"));
}

void TestClipboardCommands::pasteLineEnds_data()
{
    QTest::addColumn<QString>("clipboard");
    QTest::newRow("crlf") << QStringLiteral("one\r\ntwo\r\nthree");
    QTest::newRow("lf") << QStringLiteral("one\ntwo\nthree");
    QTest::newRow("mixed") << QStringLiteral("one\ntwo\r\nthree");
}

void TestClipboardCommands::pasteLineEnds()
{
    QFETCH(QString, clipboard);

    rtf()->setText(QStringLiteral("x"));
    win()->mnuCut->trigger(); // enables Paste; nothing is selected
    QApplication::clipboard()->setText(clipboard);
    rtf()->moveCursor(QTextCursor::End);

    win()->mnuPaste->trigger();
    QCOMPARE(rtf()->blockCount(), 3);
    QVERIFY(!rtf()->document()->toRawText().contains(QLatin1Char('\r')));
    QCOMPARE(rtf()->Text(), QStringLiteral("xone\r\ntwo\r\nthree"));
}

void TestClipboardCommands::controlKeysActOnSelection()
{
    // With the control focused its own keys act on the selection, while the
    // menu's Copy still takes the whole document.
    rtf()->setText(QStringLiteral("abc\r\ndef"));
    win()->mnuCopy->trigger();
    select(1, 2);
    QTest::keyClick(rtf(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("b"));
    QTest::keyClick(rtf(), Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(rtf()->Text(), QStringLiteral("ac\r\ndef"));
    rtf()->moveCursor(QTextCursor::End);
    QTest::keyClick(rtf(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(rtf()->Text(), QStringLiteral("ac\r\ndefb"));

    win()->mnuCopy->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("ac\ndefb"));
}

QTEST_MAIN(TestClipboardCommands)
#include "tst_clipboardcommands.moc"
