#include "richtextbox.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

class TestRichTextBox : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void textKeepsEveryCharacter_data();
    void textKeepsEveryCharacter();
    void changeRaisedOncePerChange();
    void cutAndPasteMessages();
    void controlClipboardIsPlainLf();
};

void TestRichTextBox::textKeepsEveryCharacter_data()
{
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("crlf") << QStringLiteral("a\r\nb") << QStringLiteral("a\r\nb");
    QTest::newRow("lf") << QStringLiteral("a\nb\n") << QStringLiteral("a\r\nb\r\n");
    QTest::newRow("lone-cr") << QStringLiteral("a\rb") << QStringLiteral("a\r\nb");
    QTest::newRow("nbsp") << QStringLiteral("a\u00A0b") << QStringLiteral("a\u00A0b");
    QTest::newRow("tab") << QStringLiteral("\tx") << QStringLiteral("\tx");
}

void TestRichTextBox::textKeepsEveryCharacter()
{
    QFETCH(QString, in);
    QFETCH(QString, out);
    RichTextBox box;
    box.setText(in);
    QCOMPARE(box.Text(), out);
}

void TestRichTextBox::changeRaisedOncePerChange()
{
    RichTextBox box;
    box.show();
    QSignalSpy change(&box, &RichTextBox::Change);
    box.setText(QStringLiteral("one\r\ntwo\r\nthree"));
    QCOMPARE(change.count(), 1);
    box.setText(QString());
    QCOMPARE(change.count(), 2);
    QTest::keyClicks(&box, QStringLiteral("ab"));
    QCOMPARE(change.count(), 4);
    QTest::keyClick(&box, Qt::Key_Backspace);
    QCOMPARE(change.count(), 5);
    QCOMPARE(box.Text(), QStringLiteral("a"));
}






void TestRichTextBox::cutAndPasteMessages()
{
    RichTextBox box;
    box.show();
    box.setText(QStringLiteral("hello world"));
    QTextCursor c = box.textCursor();
    c.setPosition(0);
    c.setPosition(6, QTextCursor::KeepAnchor);
    box.setTextCursor(c);
    QSignalSpy change(&box, &RichTextBox::Change);
    qint32 zero = 0;
    SendMessageA(box.hWnd(), WM_CUT, 0, &zero);
    QCOMPARE(box.Text(), QStringLiteral("world"));
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("hello "));
    QVERIFY(change.count() >= 1);

    QApplication::clipboard()->setText(QStringLiteral("a\r\nb\n"));
    box.moveCursor(QTextCursor::End);
    SendMessageA(box.hWnd(), WM_PASTE, 0, &zero);
    QCOMPARE(box.Text(), QStringLiteral("worlda\r\nb\r\n"));
    QVERIFY(!box.toPlainText().contains(QLatin1Char('\r')));

    // A stale handle reaches nothing.
    QCOMPARE(SendMessageA(0x7fff0000, WM_PASTE, 0, &zero), 0);
}

void TestRichTextBox::controlClipboardIsPlainLf()
{
    RichTextBox box;
    box.show();
    box.setText(QStringLiteral("a\r\nb"));
    box.selectAll();
    box.copy();
    const QMimeData *mime = QApplication::clipboard()->mimeData();
    QVERIFY(mime);
    QCOMPARE(mime->text(), QStringLiteral("a\nb"));
    QVERIFY(!mime->hasHtml());
}

QTEST_MAIN(TestRichTextBox)
#include "tst_richtextbox.moc"
