#include "document.h"
#include "findresults.h"
#include "findresultsmodel.h"
#include "frmfindinfiles.h"
#include "frmmain.h"

#include "richtextbox.h"
#include "testutil.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

namespace {

const auto win = [] { return frmMain().win(); };
const auto rtf = [] { return frmMain().rtfMain(); };

// Each row's cells as shown, joined by '|'; a group row names its file alone.
QStringList rowTexts(const FindResultsDock *results)
{
    QStringList rows;
    const QAbstractItemModel *model = results->tvwResults->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(); ++column)
            cells << model->index(row, column).data().toString();
        while (!cells.isEmpty() && cells.last().isEmpty())
            cells.removeLast();
        rows << cells.join(u'|');
    }
    return rows;
}

} // namespace

class TestFindInFiles : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QTemporaryDir m_many;

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
        FrmFindInFiles *find = TestUtil::part<FrmFindInFiles>(win(), "frmFindInFiles");
        QVERIFY(find && find->isVisible());
        QVERIFY(find->optFolder->isChecked()); // the folder is searched unless told otherwise
        for (QWidget *box : {find->chkMatchCase, find->chkWholeWord, find->chkSubfolders})
            QVERIFY(box->isVisible());
        find->txtFolder->setText(m_dir.path());
        find->txtFindWhat->setText(QStringLiteral("Zeta"));
        QTest::keyClick(find->txtFindWhat, Qt::Key_Return);
        FindResultsDock *results = TestUtil::part<FindResultsDock>(win(), "dckFindResults");
        QVERIFY(results);
        QTRY_COMPARE(results->lblSummary->text(), QStringLiteral("2 matches in 2 files"));
        // Docked, the panel has its own height, and the window grows by it.
        QVERIFY(!results->isFloating());
        QCOMPARE(win()->height(), heightBefore + results->height());
        QCOMPARE(QSettings().value("FindInFiles/Folder").toString(), m_dir.path());

        // A group row per file, then its lines.
        QCOMPARE(rowTexts(results),
                 QStringList({"one.vyx", "one.vyx|3|ship Zeta here", "two.vyx", "two.vyx|1|Zeta"}));
        QCOMPARE(find->lblProgress->text(), QStringLiteral("Searched 2 files."));
        QTableView *tree = results->tvwResults;
        tree->setFocus();
        tree->setCurrentIndex(results->results->index(1, 0));
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
            QCOMPARE(TestUtil::shownDocument()->filePath(), QString());
            QCOMPARE(rtf()->toPlainText(), QStringLiteral("unsaved"));
            return;
        }
        const auto compareShown = [this](const char *file, int line) {
            QCOMPARE(TestUtil::shownDocument()->filePath(), m_dir.filePath(file));
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

    void manyFiles_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("a key typed meanwhile") << false;
        QTest::newRow("cancelled") << true;
    }

    // 20,000 files of one match each: the results go on arriving in batches
    // while a key typed meanwhile is handled, and Cancel stops the search.
    void manyFiles()
    {
        QFETCH(bool, cancel);
        constexpr int files = 20000;
        if (!QFile::exists(m_many.filePath("ships/19999.vyx"))) {
            QVERIFY(QDir(m_many.path()).mkpath("ships"));
            for (int i = 0; i < files; ++i)
                QVERIFY(TestUtil::writeBytes(m_many.filePath(QString("ships/%1.vyx").arg(i)),
                                             "x\r\nZeta\r\n"));
        }
        QVERIFY(TestUtil::showEditor());
        TestUtil::menuItem("mnuFindInFiles")->trigger();
        FrmFindInFiles *find = TestUtil::part<FrmFindInFiles>(win(), "frmFindInFiles");
        find->txtFolder->setText(m_many.path());
        find->txtFindWhat->setText(QStringLiteral("Zeta"));
        find->cmdFindAll->click();
        FindResultsDock *results = TestUtil::part<FindResultsDock>(win(), "dckFindResults");
        QTRY_VERIFY(results->results->rowCount() > 0);
        QVERIFY(results->isSearching());
        if (cancel) {
            find->cmdCancel->click();
            QTRY_VERIFY(!results->isSearching());
            QVERIFY(results->lblSummary->text().endsWith("(cancelled)"));
            QVERIFY(results->results->rowCount() < 2 * files);
            QVERIFY(!find->lblProgress->text().endsWith("..."));
            return;
        }
        // Queued behind the results that have arrived, the key is handled
        // before those still to come: the window never waits for the search.
        QCoreApplication::postEvent(
            rtf(), new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a")));
        int rowsWhenTyped = -1;
        QMetaObject::invokeMethod(
            rtf(), [&] { rowsWhenTyped = results->results->rowCount(); }, Qt::QueuedConnection);
        QTRY_VERIFY(rowsWhenTyped >= 0);
        QCOMPARE(rtf()->toPlainText(), QStringLiteral("a"));
        QVERIFY(rowsWhenTyped < 2 * files);
        QTRY_VERIFY_WITH_TIMEOUT(!results->isSearching(), 120000);
        QCOMPARE(results->lblSummary->text(), QStringLiteral("20000 matches in 20000 files"));
        QCOMPARE(results->results->rowCount(), 2 * files);
        QCOMPARE(find->lblProgress->text(), QStringLiteral("Searched 20000 files."));
    }

    // While a file loads, Escape stops the load even with the focus in the
    // results, whose own Escape (back to the text) gives way meanwhile: two
    // actions on the key would leave it doing nothing.
    void escapeInResultsStopsLoad()
    {
        QVERIFY(TestUtil::showEditor());
        QTemporaryDir big;
        const QString path = big.filePath("big.vyx");
        QVERIFY(TestUtil::writeBytes(path, QByteArray("Fighter 1 2 3\r\n").repeated(300000)));
        QTest::keyClick(rtf(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        FrmFindInFiles *find = TestUtil::part<FrmFindInFiles>(win(), "frmFindInFiles");
        find->txtFolder->setText(m_dir.path());
        find->txtFindWhat->setText(QStringLiteral("Zeta"));
        QTest::keyClick(find->txtFindWhat, Qt::Key_Return);
        FindResultsDock *results = TestUtil::part<FindResultsDock>(win(), "dckFindResults");
        QTRY_VERIFY(results && !results->isSearching());
        find->close();
        win()->activateWindow();
        QTRY_VERIFY(win()->isActiveWindow());

        QVERIFY(win()->openDocument(path));
        QVERIFY(TestUtil::shownDocument()->isLoading());
        results->tvwResults->setFocus();
        QTRY_VERIFY(results->tvwResults->hasFocus());
        QTest::keyClick(results->tvwResults, Qt::Key_Escape);
        QVERIFY(!TestUtil::shownDocument()->isLoading());
        QCOMPARE(TestUtil::shownDocument()->filePath(), QString());
        // Loaded, Escape in the list goes back to the text again.
        QSignalSpy back(results, &FindResultsDock::backToTextRequested);
        QTest::keyClick(results->tvwResults, Qt::Key_Escape);
        QCOMPARE(back.count(), 1);
    }
};

QTEST_MAIN(TestFindInFiles)
#include "tst_findinfiles.moc"
