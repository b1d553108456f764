#include "document.h"
#include "findresults.h"
#include "frmfindinfiles.h"
#include "frmmain.h"

#include "richtextbox.h"
#include "testutil.h"

#include <QAbstractButton>
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
        QStandardPaths::setTestModeEnabled(true);
        QSettings().clear();
        QVERIFY(m_dir.isValid());
        QVERIFY(TestUtil::writeBytes(m_dir.filePath("one.vyx"), "a\r\nb\r\nship Zeta here\r\n"));
        QVERIFY(TestUtil::writeBytes(m_dir.filePath("two.vyx"), "Zeta\r\n"));
    }

    void cleanup()
    {
        if (frmMain().isLoaded()) {
            rtf()->document()->setModified(false);
            frmMain().unload();
        }
        TestUtil::flushDeferredDeletes();
        // The place left in a file would be restored in the next case.
        QSettings().clear();
    }

    // Enter on a row opens its file at the match, after "Save Changes?" for
    // the unsaved text shown; F4 then goes on to the next file's match.
    void rowOpensFileAtLine_data()
    {
        QTest::addColumn<QString>("answer"); // to "Save Changes?"; empty: not asked
        QTest::addColumn<QString>("file"); // the document's file afterwards
        QTest::addColumn<QString>("selected");
        QTest::addColumn<int>("line"); // from 0

        QTest::newRow("no") << "No"
                            << "one.vyx"
                            << "Zeta" << 2;
        QTest::newRow("cancel") << "Cancel"
                                << ""
                                << "" << 0;
        // The row is in the document open, changed: selected there, no question.
        QTest::newRow("open-changed") << ""
                                      << "one.vyx"
                                      << "Zeta" << 2;
    }

    void rowOpensFileAtLine()
    {
        QFETCH(QString, answer);
        QFETCH(QString, file);
        QFETCH(QString, selected);
        QFETCH(int, line);

        frmMain().show();
        QVERIFY(QTest::qWaitForWindowExposed(frmMain().window()));
        const int heightBefore = win()->height();
        if (QTest::currentDataTag() == QLatin1String("open-changed"))
            QVERIFY(win()->openDocument(m_dir.filePath("one.vyx")));
        QTest::keyClicks(rtf(), QStringLiteral("unsaved"));

        QTest::keyClick(rtf(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        FrmFindInFiles *find = win()->frmFindInFiles;
        QVERIFY(find && find->isVisible());
        QVERIFY(find->optFolder->isChecked()); // the folder is searched unless told otherwise
        find->txtFolder->setText(m_dir.path());
        find->txtFindWhat->setText(QStringLiteral("Zeta"));
        QTest::keyClick(find->txtFindWhat, Qt::Key_Return);
        FindResultsDock *results = win()->dckFindResults;
        QVERIFY(results);
        QTRY_COMPARE(results->lblSummary->text(), QStringLiteral("2 matches in 2 files"));
        QVERIFY(!results->isFloating());
        // The text keeps its size: the window grew by the panel under it.
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
                auto *box = qobject_cast<QMessageBox *>(modal);
                asked << modal->findChild<QLabel *>("qt_msgbox_label")->text();
                box->button(answer == QLatin1String("No") ? QMessageBox::No : QMessageBox::Cancel)
                    ->click();
            });
        }
        QTest::keyClick(tree, Qt::Key_Return);
        QTRY_COMPARE(asked.size(), answer.isEmpty() ? 0 : 1);
        if (!answer.isEmpty())
            QCOMPARE(asked.first(), QStringLiteral("Save Changes?"));

        const QString path = file.isEmpty() ? QString() : m_dir.filePath(file);
        QCOMPARE(win()->document->filePath(), path);
        QCOMPARE(rtf()->textCursor().selectedText(), selected);
        QCOMPARE(rtf()->textCursor().blockNumber(), line);
        if (file.isEmpty()) {
            QCOMPARE(rtf()->toPlainText(), QStringLiteral("unsaved"));
            return;
        }

        // F4 in the text: the next row, in another file.
        rtf()->document()->setModified(false);
        win()->activateWindow();
        QTRY_VERIFY(win()->isActiveWindow());
        rtf()->setFocus();
        QTest::keyClick(rtf(), Qt::Key_F4);
        QCOMPARE(win()->document->filePath(), m_dir.filePath("two.vyx"));
        QCOMPARE(rtf()->textCursor().selectedText(), QStringLiteral("Zeta"));
        QCOMPARE(rtf()->textCursor().blockNumber(), 0);
        QTest::keyClick(rtf(), Qt::Key_F4, Qt::ShiftModifier);
        QCOMPARE(win()->document->filePath(), m_dir.filePath("one.vyx"));
        QCOMPARE(rtf()->textCursor().blockNumber(), 2);

        // Closed, the panel gives its room back.
        results->close();
        QCOMPARE(win()->height(), heightBefore);
    }
};

QTEST_MAIN(TestFindInFiles)
#include "tst_findinfiles.moc"
