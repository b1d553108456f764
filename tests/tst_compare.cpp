#include "document.h"
#include "frmcompare.h"
#include "frmmain.h"
#include "richtextbox.h"
#include "testutil.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

namespace {

const auto win = [] { return frmMain().win(); };

// The line numbers of a pane, row by row ('-' for a gap).
QString numbers(const ComparePane *pane)
{
    QStringList out;
    for (int row = 0; row < pane->blockCount(); ++row) {
        const int number = pane->lineNumber(row);
        out << (number ? QString::number(number) : QStringLiteral("-"));
    }
    return out.join(u' ');
}

} // namespace

class TestCompare : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_mod;
    QString m_game;

    // Opens the mod and compares it with the game's file, chosen in the dialog.
    FrmCompare *compareWithGame()
    {
        if (!win()->openDocument(m_mod))
            return nullptr;
        TestUtil::whenModalShows([this](QWidget *modal) {
            modal->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(m_game);
            QTest::keyClick(modal, Qt::Key_Return);
        });
        TestUtil::menuItem("mnuCompareFile")->trigger();
        FrmCompare *compare = TestUtil::part<FrmCompare>(win(), "frmCompare");
        if (!compare || !QTest::qWaitForWindowActive(compare))
            return nullptr;
        return QTest::qWaitFor([&] { return compare->comparison(); }) ? compare : nullptr;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(QStandardPaths::isTestModeEnabled());
        QSettings().clear();
        m_mod = m_dir.filePath(QStringLiteral("mod.vyx"));
        m_game = m_dir.filePath(QStringLiteral("game.vyx"));
        QVERIFY(TestUtil::writeBytes(m_game, "L1\nL2\nL3\nL4\nL5\nL6\nL7\nL8\nL9\nL10\n"));
        QVERIFY(TestUtil::writeBytes(
            m_mod, "L1\r\nX2\r\nL3\r\nL4\r\nL7\r\nL8\r\nN1\r\nN2\r\nL9\r\nL10\r\n"));
    }

    void init() { QVERIFY(TestUtil::showEditor()); }
    void cleanup() { TestUtil::closeEditor(); }

    // F8 and Shift+F8 step through the differences from the keyboard, and
    // around the ends.
    void nextPrevious_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("current");

        QTest::newRow("first") << ""
                               << "Difference 1 of 3: line 2";
        QTest::newRow("next") << "F8"
                              << "Difference 2 of 3: after line 4";
        QTest::newRow("next-next") << "F8 F8"
                                   << "Difference 3 of 3: lines 7-8";
        QTest::newRow("wrap-forward") << "F8 F8 F8"
                                      << "Difference 1 of 3: line 2";
        QTest::newRow("wrap-back") << "Shift+F8"
                                   << "Difference 3 of 3: lines 7-8";
        QTest::newRow("back-and-forth") << "F8 F8 Shift+F8"
                                        << "Difference 2 of 3: after line 4";
    }

    void nextPrevious()
    {
        QFETCH(QString, keys);
        FrmCompare *compare = compareWithGame();
        QVERIFY(compare);
        QCOMPARE(compare->windowTitle(), QStringLiteral("Compare - mod.vyx and game.vyx"));
        QCOMPARE(compare->lblSummary->text(), QStringLiteral("3 differences"));
        QTRY_COMPARE(numbers(compare->txtLeft), QStringLiteral("1 2 3 4 - - 5 6 7 8 9 10"));
        QCOMPARE(numbers(compare->txtRight), QStringLiteral("1 2 3 4 5 6 7 8 - - 9 10"));
        for (const QString &key : keys.split(u' ', Qt::SkipEmptyParts)) {
            const QKeySequence sequence(key);
            QTest::keyClick(compare, sequence[0].key(), sequence[0].keyboardModifiers());
        }
        QTEST(compare->lblCurrent->text(), "current");
        // Both panes show the difference's first row at the caret.
        const int row = compare->comparison()->differenceRows[compare->currentDifference()];
        QCOMPARE(compare->txtLeft->textCursor().blockNumber(), row);
        QCOMPARE(compare->txtRight->textCursor().blockNumber(), row);
    }

    // A double click on a line of the document's side puts the editor's
    // caret on that line; on a row the document lacks, nothing moves.
    void doubleClickGoesToLine_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("caretLine"); // from 0; -1: where it was
        QTest::newRow("a line of the document") << 6 << 4;
        QTest::newRow("a row it lacks") << 4 << -1;
    }

    void doubleClickGoesToLine()
    {
        QFETCH(int, row);
        QFETCH(int, caretLine);
        FrmCompare *compare = compareWithGame();
        QVERIFY(compare);
        QTRY_COMPARE(numbers(compare->txtLeft), QStringLiteral("1 2 3 4 - - 5 6 7 8 9 10"));
        frmMain().rtfMain()->moveCursor(QTextCursor::End);
        const int lastLine = frmMain().rtfMain()->textCursor().blockNumber();
        const QTextCursor at(compare->txtLeft->document()->findBlockByNumber(row));
        QTest::mouseDClick(compare->txtLeft->viewport(), Qt::LeftButton, {},
                           compare->txtLeft->cursorRect(at).center());
        QCOMPARE(frmMain().rtfMain()->textCursor().blockNumber(),
                 caretLine < 0 ? lastLine : caretLine);
    }

    // Copy to Document puts the game's lines in, as one step that Undo
    // takes back; the comparison follows both.
    void copyToDocument()
    {
        FrmCompare *compare = compareWithGame();
        QVERIFY(compare);
        QTest::keyClick(compare, Qt::Key_F8);
        QTest::keyClick(compare, Qt::Key_C, Qt::AltModifier);
        QTRY_COMPARE(compare->lblSummary->text(), QStringLiteral("2 differences"));
        QCOMPARE(TestUtil::shownDocument()->text(),
                 QStringLiteral("L1\r\nX2\r\nL3\r\nL4\r\nL5\r\nL6\r\nL7\r\nL8\r\nN1\r\nN2\r\nL9\r\n"
                                "L10\r\n"));
        QCOMPARE(compare->lblCurrent->text(), QStringLiteral("Difference 2 of 2: lines 9-10"));
        QCOMPARE(numbers(compare->txtRight), QStringLiteral("1 2 3 4 5 6 7 8 - - 9 10"));
        QCOMPARE(compare->txtLeft->toPlainText(),
                 QStringLiteral("L1\nX2\nL3\nL4\nL5\nL6\nL7\nL8\nN1\nN2\nL9\nL10"));
        QCOMPARE(compare->txtRight->toPlainText(),
                 QStringLiteral("L1\nL2\nL3\nL4\nL5\nL6\nL7\nL8\n\n\nL9\nL10"));
        win()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(win()));
        QTest::keyClick(frmMain().rtfMain(), Qt::Key_Z, Qt::ControlModifier);
        QTRY_COMPARE(compare->lblSummary->text(), QStringLiteral("3 differences"));
        QCOMPARE(TestUtil::shownDocument()->text(),
                 QStringLiteral("L1\r\nX2\r\nL3\r\nL4\r\nL7\r\nL8\r\nN1\r\nN2\r\nL9\r\nL10\r\n"));
        QCOMPARE(compare->txtRight->toPlainText(),
                 QStringLiteral("L1\nL2\nL3\nL4\nL5\nL6\nL7\nL8\n\n\nL9\nL10"));
        QCOMPARE(compare->txtLeft->toPlainText(),
                 QStringLiteral("L1\nX2\nL3\nL4\n\n\nL7\nL8\nN1\nN2\nL9\nL10"));

        // Ignoring blank space at line ends is remembered.
        compare->chkIgnoreBlanks->click();
        QVERIFY(QSettings().value(QStringLiteral("Compare/ignoreBlankSpaceAtLineEnds")).toBool());
        compare->chkIgnoreBlanks->click();
    }

    // Compare with Saved: the document against its own file; the window
    // goes when the document does.
    void compareWithSaved()
    {
        QVERIFY(!TestUtil::menuItem("mnuCompareSaved")->isEnabled());
        QVERIFY(win()->openDocument(m_game));
        QVERIFY(TestUtil::menuItem("mnuCompareSaved")->isEnabled());
        TestUtil::menuItem("mnuCompareSaved")->trigger();
        QPointer<FrmCompare> compare = TestUtil::part<FrmCompare>(win(), "frmCompare");
        QVERIFY(compare);
        QTRY_COMPARE(compare->lblSummary->text(), QStringLiteral("No differences"));
        QCOMPARE(compare->windowTitle(),
                 QStringLiteral("Compare - game.vyx and game.vyx (on disk)"));
        QVERIFY(!compare->cmdNext->isEnabled());
        QTest::keyClicks(frmMain().rtfMain(), "x");
        QTRY_COMPARE(compare->lblSummary->text(), QStringLiteral("1 difference"));
        QCOMPARE(compare->lblCurrent->text(), QStringLiteral("Difference 1 of 1: line 1"));
        TestUtil::shownDocument()->textDocument()->setModified(false);
        TestUtil::menuItem("mnuNew")->trigger();
        QTRY_VERIFY(!compare);
    }

    // A file read in the encoding the user chose is compared with its saved
    // bytes read the same way: no line differs that the user did not edit.
    void compareWithSavedInItsEncoding_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QByteArray>("bytes");
        // clang-format off
        QTest::newRow("KOI8-R") << "KOI8-R" << QByteArray("\xf3\xd4\xc1\xd4\xd8\xd1 = 1\r\n// \xcb\xcf\xd2\xc1\xc2\xcc\xd8\r\n");
        QTest::newRow("UTF-8 bytes read as Windows-1252") << "Windows-1252" << QByteArray("caf\xc3\xa9 = 1\r\n");
        // clang-format on
    }

    void compareWithSavedInItsEncoding()
    {
        QFETCH(QString, encoding);
        QFETCH(QByteArray, bytes);
        const QString path = m_dir.filePath(QStringLiteral("legacy.vyx"));
        QVERIFY(TestUtil::writeBytes(path, bytes));
        QVERIFY(win()->openDocument(path));
        TestUtil::menuItem(qPrintable("mnuEncoding_" + encoding))->trigger();
        QTRY_COMPARE(TestUtil::shownDocument()->encoding().name, encoding);
        TestUtil::menuItem("mnuCompareSaved")->trigger();
        FrmCompare *compare = TestUtil::part<FrmCompare>(win(), "frmCompare");
        QVERIFY(compare);
        QTRY_COMPARE(compare->lblSummary->text(), QStringLiteral("No differences"));
        compare->close();
    }
};

QTEST_MAIN(TestCompare)
#include "tst_compare.moc"
