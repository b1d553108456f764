#include "document.h"
#include "frmmain.h"
#include "problems.h"

#include "richtextbox.h"
#include "testutil.h"

#include <QAction>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

namespace {

const auto win = [] { return frmMain().win(); };
const auto rtf = [] { return frmMain().rtfMain(); };

} // namespace

class TestProblems : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        QSettings().clear();
        QVERIFY(TestUtil::writeBytes(m_dir.filePath("hull.vyx"), "hull 1\r\n"));
        QVERIFY(TestUtil::writeBytes(
            m_dir.filePath("ship.vyx"),
            "name Zeta\r\n#include \"hull.vyx\"\r\n  #include \"gone.vyx\"\r\n"));
    }

    void cleanupTestCase()
    {
        TestUtil::closeEditor();
        QSettings().clear();
    }

    // Ctrl+Shift+M lists the missing include of the document; Enter on its
    // row puts the caret on the include's quote; an edit that removes the
    // include removes the row; Ctrl+Shift+M in the list hides the panel.
    void missingIncludeRow()
    {
        QVERIFY(TestUtil::showEditor());
        QVERIFY(win()->openDocument(m_dir.filePath("ship.vyx")));
        const int heightBefore = win()->height();
        rtf()->setFocus();
        QTest::keyClick(rtf(), Qt::Key_M, Qt::ControlModifier | Qt::ShiftModifier);
        ProblemsDock *dock = TestUtil::part<ProblemsDock>(win(), "dckProblems");
        QVERIFY(dock && dock->isVisible());
        QVERIFY(TestUtil::menuItem("mnuProblems")->isChecked());
        QCOMPARE(win()->height(), heightBefore + dock->height());
        QTRY_COMPARE(dock->lblSummary->text(), QStringLiteral("1 error, 0 warnings in 2 files"));
        QTreeWidget *tree = dock->tvwProblems;
        QVERIFY(tree->hasFocus());
        QCOMPARE(tree->topLevelItemCount(), 1);
        QTreeWidgetItem *row = tree->topLevelItem(0)->child(0);
        QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("ship.vyx"));
        QCOMPARE((QStringList{row->text(0), row->text(1), row->text(2)}),
                 (QStringList{"3", "error", "missing include \"gone.vyx\""}));

        tree->setCurrentItem(row);
        QTest::keyClick(tree, Qt::Key_Return);
        QCOMPARE(rtf()->textCursor().blockNumber(), 2);
        QCOMPARE(rtf()->textCursor().positionInBlock(), 11);

        QTextCursor cursor = rtf()->textCursor();
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        rtf()->setTextCursor(cursor);
        QTest::keyClicks(rtf(), QStringLiteral("\"hull.vyx\""));
        QTRY_COMPARE(dock->lblSummary->text(), QStringLiteral("0 errors, 1 warning in 2 files"));
        QCOMPARE(tree->topLevelItem(0)->child(0)->text(2),
                 QStringLiteral("\"hull.vyx\" is included twice"));
        QTest::keyClick(rtf(), Qt::Key_Home);
        QTest::keyClick(rtf(), Qt::Key_End, Qt::ShiftModifier);
        QTest::keyClicks(rtf(), QStringLiteral("// no hull"));
        QTRY_COMPARE(dock->lblSummary->text(), QStringLiteral("0 errors, 0 warnings in 2 files"));
        QCOMPARE(tree->topLevelItemCount(), 0);

        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_M, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(dock->isHidden());
        QVERIFY(!TestUtil::menuItem("mnuProblems")->isChecked());
        QCOMPARE(win()->height(), heightBefore);
        QCOMPARE(QSettings().value("View/Problems").toBool(), false);
    }
};

QTEST_MAIN(TestProblems)
#include "tst_problems.moc"
