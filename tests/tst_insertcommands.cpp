#include "frmmain.h"

#include "richtextbox.h"
#include "testutil.h"

#include <QAction>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

namespace {

const QString includeLine = QStringLiteral("#include \".vyx\"");
const QString itemSeparator = QStringLiteral("//*****************************************************");

FrmMainWindow *win()
{
    return frmMain().win();
}

RichTextBox *rtf()
{
    return frmMain().rtfMain();
}

QAction *insertAction(const QString &name)
{
    return win()->findChild<QAction *>(name);
}

// The document's characters after the caret, line ends as the document keeps them.
QString textAfterCaret()
{
    return rtf()->document()->toRawText().mid(rtf()->textCursor().position());
}

} // namespace

class TestInsertCommands : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void snippetAppended_data();
    void snippetAppended();
    void sameCommandTwice();
    void joinsOntoLastLine();
    void caretAndSelectionDoNotMoveInsertion_data();
    void caretAndSelectionDoNotMoveInsertion();
    void undoRemovesExactlySnippet_data();
    void undoRemovesExactlySnippet();
    void formattedDocumentComesBackPlain();
};

void TestInsertCommands::init()
{
    frmMain().show();
    QVERIFY(QTest::qWaitForWindowExposed(frmMain().window()));
}

void TestInsertCommands::cleanup()
{
    if (frmMain().isLoaded()) {
        rtf()->document()->setModified(false);
        frmMain().unload();
    }
    TestUtil::flushDeferredDeletes();
}

void TestInsertCommands::snippetAppended_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("snippet");
    QTest::addColumn<QString>("afterCaret");

    const QString noFinalBreak = QStringLiteral("ship Alpha\r\nspeed 4");
    const struct {
        const char *name;
        QString snippet;
        QString afterCaret;
    } commands[] = {
        {"mnuInclude", includeLine, QStringLiteral(".vyx\"")},
        {"mnuItemSeparator", itemSeparator, QString()},
        {"mnuDoubleSlash", QStringLiteral("//"), QString()},
        {"mnuHash", QStringLiteral("#"), QString()},
    };
    for (const auto &c : commands) {
        QTest::addRow("%s-empty", c.name) << c.name << QString() << c.snippet << c.afterCaret;
        QTest::addRow("%s-no-final-break", c.name) << c.name << noFinalBreak << c.snippet << c.afterCaret;
        QTest::addRow("%s-final-break", c.name)
            << c.name << noFinalBreak + QStringLiteral("\r\n") << c.snippet << c.afterCaret;
    }
}

void TestInsertCommands::snippetAppended()
{
    QFETCH(QString, action);
    QFETCH(QString, before);
    QFETCH(QString, snippet);
    QFETCH(QString, afterCaret);

    QCOMPARE(includeLine.size(), 15);
    QCOMPARE(itemSeparator.size(), 55);
    if (!before.isEmpty())
        rtf()->setText(before);
    rtf()->document()->setModified(false);
    QSignalSpy change(rtf(), &RichTextBox::Change);

    insertAction(action)->trigger();

    QCOMPARE(rtf()->Text(), before + snippet);
    QCOMPARE(change.count(), 1);
    QVERIFY(win()->mnuCut->isEnabled());
    QVERIFY(win()->mnuCopy->isEnabled());
    QVERIFY(!win()->mnuPaste->isEnabled());
    QVERIFY(rtf()->document()->isModified());
    QVERIFY(!rtf()->textCursor().hasSelection());
    QCOMPARE(textAfterCaret(), afterCaret);
}

void TestInsertCommands::sameCommandTwice()
{
    QSignalSpy change(rtf(), &RichTextBox::Change);
    win()->mnuInclude->trigger();
    win()->mnuInclude->trigger();
    QCOMPARE(rtf()->Text(), includeLine + includeLine);
    QCOMPARE(change.count(), 2);
    // The caret follows the latest insertion.
    QCOMPARE(textAfterCaret(), QStringLiteral(".vyx\""));
}

void TestInsertCommands::joinsOntoLastLine()
{
    QTest::keyClicks(rtf(), QStringLiteral("abc"));
    win()->mnuDoubleSlash->trigger();
    win()->mnuItemSeparator->trigger();
    QCOMPARE(rtf()->Text(), QStringLiteral("abc//") + itemSeparator);
    QCOMPARE(rtf()->blockCount(), 1);
}

void TestInsertCommands::caretAndSelectionDoNotMoveInsertion_data()
{
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("position");

    // "alpha\nbeta\ngamma": "beta" spans 6..10.
    QTest::newRow("caret-at-start") << 0 << 0;
    QTest::newRow("caret-mid-line") << 8 << 8;
    QTest::newRow("selection-in-middle") << 6 << 10;
    QTest::newRow("selection-backwards") << 10 << 2;
    QTest::newRow("everything-selected") << 0 << 16;
}

void TestInsertCommands::caretAndSelectionDoNotMoveInsertion()
{
    QFETCH(int, anchor);
    QFETCH(int, position);

    const QString text = QStringLiteral("alpha\r\nbeta\r\ngamma");
    rtf()->setText(text);
    QTextCursor cursor = rtf()->textCursor();
    cursor.setPosition(anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    rtf()->setTextCursor(cursor);

    win()->mnuHash->trigger();
    QCOMPARE(rtf()->Text(), text + QStringLiteral("#"));
    QCOMPARE(rtf()->textCursor().position(), rtf()->document()->characterCount() - 1);
}

void TestInsertCommands::undoRemovesExactlySnippet_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("empty") << QString();
    QTest::newRow("typed-text") << QStringLiteral("ship Alpha");
}

void TestInsertCommands::undoRemovesExactlySnippet()
{
    QFETCH(QString, typed);

    QTest::keyClicks(rtf(), typed);
    win()->mnuItemSeparator->trigger();
    QCOMPARE(rtf()->Text(), typed + itemSeparator);

    QTest::keyClick(rtf(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(rtf()->Text(), typed);
    // Undo is a change like any other: Cut and Copy follow the text.
    QCOMPARE(win()->mnuCut->isEnabled(), !typed.isEmpty());
    QCOMPARE(win()->mnuCopy->isEnabled(), !typed.isEmpty());

    rtf()->redo();
    QCOMPARE(rtf()->Text(), typed + itemSeparator);
}

void TestInsertCommands::formattedDocumentComesBackPlain()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("ships.rtf"));
    QVERIFY(TestUtil::writeBytes(path, QByteArrayLiteral("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}"
                                                          "\\f0 ship {\\b Alpha}\\par speed 4}")));
    QVERIFY(rtf()->LoadFile(path));
    if (!rtf()->hasFormatting())
        QSKIP("This build reads rich-text files as plain text.");

    const QString before = rtf()->Text();
    QSignalSpy change(rtf(), &RichTextBox::Change);
    win()->mnuHash->trigger();
    QCOMPARE(rtf()->Text(), before + QStringLiteral("#"));
    QCOMPARE(change.count(), 1);
    QVERIFY(!rtf()->hasFormatting());
    for (QTextBlock block = rtf()->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it)
            QVERIFY(!it.fragment().charFormat().hasProperty(QTextFormat::FontWeight));
    }
    QCOMPARE(textAfterCaret(), QString());
}

QTEST_MAIN(TestInsertCommands)
#include "tst_insertcommands.moc"
