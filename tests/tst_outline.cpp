#include "document.h"
#include "frmmain.h"
#include "itemoutline.h"
#include "outlinedock.h"

#include "richtextbox.h"
#include "testutil.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const auto win = [] { return frmMain().win(); };

// Items on lines 0, 3, 7 and 10.
const char fleet[]
    = "// Fleet\r\n#include \"a.vyx\"\r\n//*****\r\nShip Arrow\r\nHull 5\r\n//*****\r\n"
      "\r\n// Laser turret\r\nDamage 9\r\n//*****\r\nShip Kestrel\r\n";

void openFleetAtLine(const QTemporaryDir &dir, int line)
{
    const QString path = dir.filePath("fleet.vyx");
    QVERIFY(TestUtil::writeBytes(path, fleet));
    QVERIFY(win()->openDocument(path, line + 1));
    frmMain().rtfMain()->setFocus();
}

// Keys for the focus, "|" between them: Return, Escape, Up or Down, text to
// type, or "@text" for a click in the text.
void press(const QString &keys)
{
    for (const QString &key : keys.split(u'|')) {
        if (key == QLatin1String("@text"))
            frmMain().rtfMain()->setFocus();
        else if (QStringList({"Return", "Escape", "Up", "Down"}).contains(key))
            QTest::keySequence(QApplication::focusWidget(), QKeySequence(key));
        else
            QTest::keyClicks(QApplication::focusWidget(), key);
    }
}

QStringList labels(const QAbstractItemModel *rows, const QItemSelectionModel *selected = nullptr)
{
    QStringList out;
    for (int row = 0; row < rows->rowCount(); ++row) {
        if (!selected || selected->isRowSelected(row))
            out << rows->index(row, 0).data().toString();
    }
    return out;
}

} // namespace

class TestOutline : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("vyx-editor"));
        QVERIFY(QStandardPaths::isTestModeEnabled());
    }

    void init()
    {
        QSettings().clear();
        QVERIFY(TestUtil::showEditor());
    }

    void cleanup() { TestUtil::closeEditor(); }

    void goToItem_data()
    {
        QTest::addColumn<bool>("outlineOn"); // View > Outline checked before
        QTest::addColumn<QString>("keys"); // after Ctrl+Shift+O; "@text" clicks the text
        QTest::addColumn<QString>("count"); // before the last key
        QTest::addColumn<int>("line"); // the caret's line afterwards
        QTest::addColumn<bool>("shown"); // the Outline afterwards
        // clang-format off
        QTest::newRow("filter, Enter") << false << "kes|Return" << "1 of 4 items" << 10 << false;
        QTest::newRow("filter, Down, Enter") << false << "SHIP|Down|Return" << "2 of 4 items" << 10 << false;
        QTest::newRow("caret's row, Up, Enter") << false << "Up|Return" << "4 items" << 3 << false;
        QTest::newRow("no row shown, Enter") << false << "zz|Return" << "0 of 4 items" << 8 << true;
        QTest::newRow("Escape") << false << "kes|Escape" << "1 of 4 items" << 8 << false;
        QTest::newRow("focus leaves") << false << "kes|@text" << "1 of 4 items" << 8 << false;
        QTest::newRow("Outline on, Enter") << true << "las|Return" << "1 of 4 items" << 7 << true;
        QTest::newRow("Outline on, Escape") << true << "las|Escape" << "1 of 4 items" << 8 << true;
        // clang-format on
    }

    // Go to Item from the keyboard alone: Ctrl+Shift+O, a part of the name,
    // the arrows, Enter. The Outline it showed goes again; View > Outline's stays.
    void goToItem()
    {
        QFETCH(bool, outlineOn);
        QFETCH(QString, keys);
        QFETCH(int, line);
        QFETCH(bool, shown);
        QTemporaryDir dir;
        openFleetAtLine(dir, 8);
        if (outlineOn)
            TestUtil::menuItem("mnuOutline")->trigger();
        QTest::keySequence(frmMain().rtfMain(), QKeySequence(QStringLiteral("Ctrl+Shift+O")));
        OutlineDock *dock = TestUtil::part<OutlineDock>(win(), "dckOutline");
        QVERIFY(dock && dock->isVisible());
        QCOMPARE(QApplication::focusWidget(), dock->txtFilter);
        const QListView *list = dock->lstItems;
        QCOMPARE(labels(list->model(), list->selectionModel()), QStringList("Laser turret"));
        press(keys.section(u'|', 0, -2));
        QTEST(dock->lblCount->text(), "count");
        press(keys.section(u'|', -1));
        QCOMPARE(frmMain().rtfMain()->textCursor().blockNumber(), line);
        QCOMPARE(dock->isVisible(), shown);
        QCOMPARE(TestUtil::menuItem("mnuOutline")->isChecked(), outlineOn);
        if (line != 8)
            QCOMPARE(QApplication::focusWidget(), frmMain().rtfMain());
    }

    void selectionFollowsCaret_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("typed"); // keys at the caret (see press)
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("count");
        // clang-format off
        QTest::newRow("on a label") << 3 << "" << "Ship Arrow" << "4 items";
        QTest::newRow("under a label") << 4 << "" << "Ship Arrow" << "4 items";
        QTest::newRow("on a separator") << 5 << "" << "Ship Arrow" << "4 items";
        QTest::newRow("above the label") << 6 << "" << "Laser turret" << "4 items";
        QTest::newRow("before the first separator") << 1 << "" << "Fleet" << "4 items";
        QTest::newRow("typed a new item") << 6 << "Ship Zed|Return|//***" << "Ship Zed" << "5 items";
        QTest::newRow("typed into a label") << 10 << "Big " << "Big Ship Kestrel" << "4 items";
        QTest::newRow("typed over a separator") << 9 << "x" << "Laser turret" << "3 items";
        QTest::newRow("line end typed before a label") << 3 << "Return" << "Ship Arrow" << "4 items";
        // clang-format on
    }

    // With View > Outline on, the window grows by the Outline at its left,
    // the text keeping its size; the row of the caret's item is selected.
    void selectionFollowsCaret()
    {
        QFETCH(int, line);
        QFETCH(QString, typed);
        QTemporaryDir dir;
        openFleetAtLine(dir, line);
        const QRect frame = win()->geometry();
        const QSize text = frmMain().rtfMain()->size();
        TestUtil::menuItem("mnuOutline")->trigger();
        OutlineDock *dock = TestUtil::part<OutlineDock>(win(), "dckOutline");
        QVERIFY(dock->isVisible());
        QCOMPARE(win()->geometry().topLeft(), frame.topLeft());
        QCOMPARE(win()->width(), frame.width() + dock->width() + 6);
        QCOMPARE(frmMain().rtfMain()->size(), text);
        QVERIFY(dock->x() < win()->centralWidget()->x());

        if (!typed.isEmpty())
            press(typed);
        const QListView *list = dock->lstItems;
        QTEST(labels(list->model(), list->selectionModel()).join(u'|'), "selected");
        QTEST(dock->lblCount->text(), "count");

        // Kept for the next start.
        TestUtil::closeEditor();
        QVERIFY(TestUtil::showEditor());
        QVERIFY(TestUtil::menuItem("mnuOutline")->isChecked()
                && TestUtil::part<OutlineDock>(win(), "dckOutline")->isVisible());
        TestUtil::menuItem("mnuOutline")->trigger();
        QVERIFY(!TestUtil::part<OutlineDock>(win(), "dckOutline")->isVisible());
        QCOMPARE(win()->width(), frame.width());
    }

    // While a big file loads, the Outline lists the items read so far; once
    // it is in, they are those of the whole text, whatever line its pieces
    // ended in.
    void followsALoad()
    {
        QByteArray text;
        for (int i = 0; text.size() < 3 * 1024 * 1024; ++i) {
            text += "//*****\r\n\r\n// Ship " + QByteArray::number(i) + "\r\nHull 5 6 7 8 9\r\n";
            text += i % 3 ? "Speed 1 2 3\r" : "Speed 1 2 3\n";
        }
        QTemporaryDir dir;
        const QString path = dir.filePath("big.vyx");
        QVERIFY(TestUtil::writeBytes(path, text));
        TestUtil::menuItem("mnuOutline")->trigger();
        QVERIFY(win()->openDocument(path));
        QVERIFY(TestUtil::shownDocument()->isLoading());
        const QListView *list = TestUtil::part<OutlineDock>(win(), "dckOutline")->lstItems;
        QVERIFY(list->model()->rowCount() > 0);
        QTRY_VERIFY_WITH_TIMEOUT(!TestUtil::shownDocument()->isLoading(), 60000);
        QStringList expected;
        for (const OutlineItem &item : outlineItems(TestUtil::shownDocument()->text()))
            expected << item.label;
        QTRY_COMPARE(list->model()->rowCount(), int(expected.size()));
        QCOMPARE(labels(list->model()), expected);
    }
};

QTEST_MAIN(TestOutline)
#include "tst_outline.moc"
