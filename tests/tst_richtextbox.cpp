#include "richtextbox.h"

#include "clipboard.h"
#include "testutil.h"

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
    void loadSaveRoundTrip_data();
    void loadSaveRoundTrip();
    void loadFailsLeavesContent_data();
    void loadFailsLeavesContent();
    void saveFailureKeepsOldFile();
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

void TestRichTextBox::loadSaveRoundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("saved");
    QTest::newRow("ascii-crlf") << QByteArray("a\r\nb\r\n") << QStringLiteral("a\r\nb\r\n") << QByteArray("a\r\nb\r\n");
    QTest::newRow("lf-becomes-crlf") << QByteArray("a\nb") << QStringLiteral("a\r\nb") << QByteArray("a\r\nb");
    QTest::newRow("mixed") << QByteArray("a\rb\nc\r\n") << QStringLiteral("a\r\nb\r\nc\r\n")
                           << QByteArray("a\r\nb\r\nc\r\n");
    QTest::newRow("cp1252") << QByteArray("\xE9 \x97\xA0\r\n") << QStringLiteral("\u00E9 \u2014\u00A0\r\n")
                            << QByteArray("\xE9 \x97\xA0\r\n");
    QTest::newRow("utf8") << QByteArray("\xC3\xA9") << QStringLiteral("\u00E9") << QByteArray("\xC3\xA9");
    QTest::newRow("utf8-bom") << QByteArray("\xEF\xBB\xBFz\r\n") << QStringLiteral("z\r\n")
                              << QByteArray("\xEF\xBB\xBFz\r\n");
    QTest::newRow("empty") << QByteArray() << QString() << QByteArray();
}

void TestRichTextBox::loadSaveRoundTrip()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(QByteArray, saved);
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.vyx"));
    const QString out = dir.filePath(QStringLiteral("out.vyx"));
    QVERIFY(TestUtil::writeBytes(in, bytes));
    RichTextBox box;
    QSignalSpy change(&box, &RichTextBox::Change);
    QVERIFY(box.LoadFile(in));
    QCOMPARE(change.count(), 1);
    QVERIFY(!box.document()->isModified());
    QCOMPARE(box.Text(), text);
    QVERIFY(box.SaveFile(out, RichTextBox::rtfText));
    QCOMPARE(TestUtil::readBytes(out), saved);
}

void TestRichTextBox::loadFailsLeavesContent_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing") << QStringLiteral("missing.vyx");
    QTest::newRow("folder") << QStringLiteral("sub");
}

void TestRichTextBox::loadFailsLeavesContent()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("sub"));
    RichTextBox box;
    box.setText(QStringLiteral("keep"));
    QSignalSpy change(&box, &RichTextBox::Change);
    QVERIFY(!box.LoadFile(dir.filePath(name)));
    QVERIFY(!box.errorString().isEmpty());
    QCOMPARE(box.Text(), QStringLiteral("keep"));
    QCOMPARE(change.count(), 0);
}

void TestRichTextBox::saveFailureKeepsOldFile()
{
    QTemporaryDir dir;
    RichTextBox box;
    box.setText(QStringLiteral("new"));
    // A folder in the way, and a folder that does not exist.
    QDir(dir.path()).mkdir(QStringLiteral("target.vyx"));
    QVERIFY(!box.SaveFile(dir.filePath(QStringLiteral("target.vyx"))));
    QVERIFY(!box.errorString().isEmpty());
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("target.vyx"))).isDir());
    QVERIFY(!box.SaveFile(dir.filePath(QStringLiteral("nowhere/x.vyx"))));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("nowhere"))));
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
