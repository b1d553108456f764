#include "document.h"
#include "findresults.h"
#include "frmfindinfiles.h"
#include "frmmain.h"

#include "richtextbox.h"
#include "testutil.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

namespace {

const auto win = [] { return frmMain().win(); };
const auto rtf = [] { return frmMain().rtfMain(); };

} // namespace

class TestFindInFiles : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        QSettings().clear();
        QVERIFY(TestUtil::writeBytes(m_dir.filePath("one.vyx"), "a\r\nb\r\nship Zeta here\r\n"));
        QVERIFY(TestUtil::writeBytes(m_dir.filePath("two.vyx"), "Zeta\r\n"));
    }

    void cleanup()
    {
        TestUtil::closeEditor();
        QSettings().clear(); // or the place left in a file comes back in the next case
    }

    void rowOpensFileAtLine_data()
    {
        QTest::addColumn<QString>("answer"); // to "Save Changes?"; empty: not asked
        QTest::addColumn<bool>("opens");
        QTest::newRow("no") << "No" << true;
        QTest::newRow("cancel") << "Cancel" << false;
        // The row is in the changed document open: no question.
        QTest::newRow("open-changed") << "" << true;
    }

    // Enter on a row opens its file at the match, after "Save Changes?" for
    // the unsaved text; F4 and Shift+F4 then go from file to file.
    void rowOpensFileAtLine()
    {
        QFETCH(QString, answer);
        QFETCH(bool, opens);
        QVERIFY(TestUtil::showEditor());
        const int heightBefore = win()->height();
        if (answer.isEmpty())
            QVERIFY(win()->openDocument(m_dir.filePath("one.vyx")));
        QTest::keyClicks(rtf(), QStringLiteral("unsaved"));

        QTest::keyClick(rtf(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        FrmFindInFiles *find = win()->frmFindInFiles;
        QVERIFY(find && find->isVisible());
        QVERIFY(find->optFolder->isChecked()); // the folder is searched unless told otherwise
        for (QWidget *box : {find->chkMatchCase, find->chkWholeWord, find->chkSubfolders})
            QVERIFY(box->isVisible());
        find->txtFolder->setText(m_dir.path());
        find->txtFindWhat->setText(QStringLiteral("Zeta"));
        QTest::keyClick(find->txtFindWhat, Qt::Key_Return);
        FindResultsDock *results = win()->dckFindResults;
        QVERIFY(results);
        QTRY_COMPARE(results->lblSummary->text(), QStringLiteral("2 matches in 2 files"));
        // Docked, the panel has its own height, and the window grows by it.
        QVERIFY(!results->isFloating());
        QCOMPARE(win()->height(), heightBefore + results->height());
        QCOMPARE(QSettings().value("FindInFiles/Folder").toString(), m_dir.path());

        QTreeWidget *tree = results->tvwResults;
        QCOMPARE(tree->topLevelItemCount(), 2);
        QTreeWidgetItem *row = tree->topLevelItem(0)->child(0);
        QCOMPARE(row->text(0), QStringLiteral("one.vyx"));
        QCOMPARE(row->text(1), QStringLiteral("3"));
        QCOMPARE(row->text(2), QStringLiteral("ship Zeta here"));
        tree->setFocus();
        tree->setCurrentItem(row);
        QStringList asked;
        if (!answer.isEmpty()) {
            TestUtil::whenModalShows([&asked, answer](QWidget *modal) {
                asked << modal->findChild<QLabel *>("qt_msgbox_label")->text();
                qobject_cast<QMessageBox *>(modal)
                    ->button(answer == "No" ? QMessageBox::No : QMessageBox::Cancel)
                    ->click();
            });
        }
        QTest::keyClick(tree, Qt::Key_Return);
        QTRY_COMPARE(asked, answer.isEmpty() ? QStringList() : QStringList{"Save Changes?"});
        if (!opens) {
            QCOMPARE(win()->document->filePath(), QString());
            QCOMPARE(rtf()->toPlainText(), QStringLiteral("unsaved"));
            return;
        }
        const auto compareShown = [this](const char *file, int line) {
            QCOMPARE(win()->document->filePath(), m_dir.filePath(file));
            QCOMPARE(rtf()->textCursor().selectedText(), QStringLiteral("Zeta"));
            QCOMPARE(rtf()->textCursor().blockNumber(), line);
        };
        compareShown("one.vyx", 2);
        rtf()->document()->setModified(false);
        win()->activateWindow();
        QTRY_VERIFY(win()->isActiveWindow());
        rtf()->setFocus();
        QTest::keyClick(rtf(), Qt::Key_F4);
        compareShown("two.vyx", 0);
        QTest::keyClick(rtf(), Qt::Key_F4, Qt::ShiftModifier);
        compareShown("one.vyx", 2);

        // Closed, the panel gives its room back.
        results->close();
        QCOMPARE(win()->height(), heightBefore);
    }
};

QTEST_MAIN(TestFindInFiles)
#include "tst_findinfiles.moc"
