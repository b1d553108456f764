#include "richtextbox.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestRichTextBox : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void textKeepsEveryCharacter_data();
    void textKeepsEveryCharacter();
    void changeRaisedOncePerChange();
    void overlongLinesAreRefused_data();
    void overlongLinesAreRefused();
    void cutAndPasteKeepPlainLineEnds();
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

void TestRichTextBox::overlongLinesAreRefused_data()
{
    const qsizetype max = RichTextBox::maxLineLength;
    const QByteArray longest(max, 'x');
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("loads");
    QTest::newRow("longest-line") << "a\r\n" + longest + "\r\nb" << true;
    QTest::newRow("one-too-long") << "a\r\n" + longest + "x\r\nb" << false;
    QTest::newRow("last-line-too-long") << "a\n" + longest + "x" << false;
    QTest::newRow("many-short-lines") << QByteArray("abc\r\n").repeated(int(max)) << true;
    QTest::newRow("utf16-too-long")
        << "\xFF\xFE" + QByteArray("x\0", 2).repeated(int(max) + 1) << false;
    QTest::newRow("rtf-paragraph-too-long") << "{\\rtf1 " + longest + "x}" << false;
    QTest::newRow("rtf-lines-short")
        << "{\\rtf1 " + QByteArray("abc\\par ").repeated(int(max)) + "}" << true;
}

// The widget lays out a line as a whole: a line of megabytes would make
// every key pressed on it take seconds, so such files are refused.
void TestRichTextBox::overlongLinesAreRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, loads);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.vyx"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    RichTextBox box;
    box.setText(QStringLiteral("kept"));
    QCOMPARE(box.LoadFile(path), loads);
    if (!loads) {
        QVERIFY(box.errorString().contains(QString::number(RichTextBox::maxLineLength)));
        QCOMPARE(box.Text(), QStringLiteral("kept"));
    }
}

void TestRichTextBox::cutAndPasteKeepPlainLineEnds()
{
    RichTextBox box;
    box.show();
    box.setText(QStringLiteral("hello world"));
    QTextCursor c = box.textCursor();
    c.setPosition(0);
    c.setPosition(6, QTextCursor::KeepAnchor);
    box.setTextCursor(c);
    QSignalSpy change(&box, &RichTextBox::Change);
    box.cut();
    QCOMPARE(box.Text(), QStringLiteral("world"));
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("hello "));
    QVERIFY(change.count() >= 1);

    QApplication::clipboard()->setText(QStringLiteral("a\r\nb\n"));
    box.moveCursor(QTextCursor::End);
    box.paste();
    QCOMPARE(box.Text(), QStringLiteral("worlda\r\nb\r\n"));
    QVERIFY(!box.toPlainText().contains(QLatin1Char('\r')));
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
