#include "frmmain.h"

#include "document.h"
#include "helpmenu.h"
#include "richtextbox.h"
#include "statusbar.h"
#include "testutil.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// What the View menu's items and the zoom do to the window, as seen on it.
QString viewState()
{
    FrmMainWindow *w = frmMain().win();
    QStringList state;
    if (frmMain().rtfMain()->lineWrapMode() != QPlainTextEdit::NoWrap)
        state << "wrap";
    // The gutter takes its room from the text, beside it.
    const QWidget *gutter = frmMain().rtfMain()->findChild<QWidget *>("lineNumbers");
    const int margin = frmMain().rtfMain()->viewport()->x() - frmMain().rtfMain()->frameWidth();
    if (margin > 0 && gutter->isVisible() && gutter->width() == margin)
        state << "numbers";
    if (TestUtil::part<StatusBar>(w, "sbrStatus")->isVisible())
        state << "bar";
    state << QString::number(frmMain().rtfMain()->font().pointSizeF());
    // The status bar, shown or not, leaves the text's margin to the window's foot.
    if (w->centralWidget()->height() - frmMain().rtfMain()->geometry().bottom() - 1 != 11)
        state << "misplaced";
    return state.join(' ');
}

} // namespace

class TestView : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("vyx-editor"));
        QVERIFY(QStandardPaths::isTestModeEnabled());
        installHelpMenu();
    }

    void init()
    {
        QSettings().clear();
        QVERIFY(TestUtil::showEditor());
    }

    void cleanup() { TestUtil::closeEditor(); }

    void statusBarSays_data()
    {
        QTest::addColumn<QByteArray>("file"); // empty: a new document
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("position");
        QTest::addColumn<QString>("encoding"); // "A > B": B once saved
        const QByteArray smiles = "a\xF0\x9F\x98\x80\nb\xF0\x9F\x98\x80\n"; // U+1F600 twice
        // clang-format off
        QTest::newRow("typed, fits 1252") << QByteArray() << "caf\u00E9 \u20AC" << "" << "Ln 1, Col 7" << "Windows-1252";
        QTest::newRow("typed, needs utf-8") << QByteArray() << "\u03A9" << "" << "Ln 1, Col 2" << "UTF-8";
        QTest::newRow("typed and erased") << QByteArray() << "\u03A9" << "Backspace" << "Ln 1, Col 1" << "Windows-1252";
        QTest::newRow("ascii") << QByteArray("ab\r\ncdef\r\n") << "" << "Down, End" << "Ln 2, Col 5" << "Windows-1252";
        QTest::newRow("utf-8, a column a character") << QByteArray("x\xF0\x9F\x98\x80y\n") << "" << "End" << "Ln 1, Col 4" << "UTF-8";
        QTest::newRow("utf-8 bom, selection") << QByteArray("\xEF\xBB\xBFh\xC3\xA9llo\r\nw") << "" << "Shift+End" << "Ln 1, Col 6 (5 selected)" << "UTF-8 with BOM";
        QTest::newRow("all, then less, then more") << smiles << "" << "Ctrl+Shift+End, Shift+Up, Shift+Right, Shift+Right" << "Ln 2, Col 3 (5 selected)" << "UTF-8";
        QTest::newRow("selected backwards") << smiles << "" << "Ctrl+End, Shift+Left, Shift+Left, Shift+Left" << "Ln 2, Col 1 (3 selected)" << "UTF-8";
        QTest::newRow("utf-16 le") << QByteArray("\xFF\xFE" "a\0\n\0b\0", 8) << "" << "Ctrl+Shift+End" << "Ln 2, Col 2 (3 selected)" << "UTF-16 LE";
        QTest::newRow("utf-16 be") << QByteArray("\xFE\xFF\x03\xA9", 4) << "" << "End" << "Ln 1, Col 2" << "UTF-16 BE";
        QTest::newRow("1252, typed what it lacks") << QByteArray("caf\xE9\n") << "\u03A9" << "" << "Ln 1, Col 2" << "Windows-1252 > UTF-8";
        QTest::newRow("rich text") << QByteArray("{\\rtf1 \\u937?\\par}") << "" << "" << "Ln 1, Col 1" << "UTF-8";
        // clang-format on
    }

    // Where the caret is, what is selected (in characters, a line break
    // being one) and how Save writes the document.
    void statusBarSays()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, typed);
        QFETCH(QString, keys);
        QFETCH(QString, position);
        QFETCH(QString, encoding);
        FrmMainWindow *w = frmMain().win();
        QTemporaryDir dir;
        const QString path = dir.filePath("file.vyx");
        if (!file.isEmpty()) {
            QVERIFY(TestUtil::writeBytes(path, file));
            QVERIFY(w->openDocument(path));
        }
        QTest::sendKeyEvent(QTest::Click, frmMain().rtfMain(), Qt::Key_unknown, typed,
                            Qt::NoModifier);
        QTest::keySequence(frmMain().rtfMain(), QKeySequence(keys));
        QCOMPARE(TestUtil::part<QLabel>(w, "lblPosition")->text(), position);
        QCOMPARE(TestUtil::part<QLabel>(w, "lblEncoding")->text(), encoding.section(" > ", 0, 0));
        QCOMPARE(TestUtil::part<QLabel>(w, "lblLineEnd")->text(), QStringLiteral("CR LF"));
        QVERIFY(TestUtil::shownDocument()->save(path));
        QCOMPARE(TestUtil::part<QLabel>(w, "lblEncoding")->text(), encoding.section(" > ", -1));
    }

    // A big file shows its progress in the loading panel while it loads,
    // then its encoding in the status bar. The
    // gutter keeps its width meanwhile: a change would lay out every line anew.
    void loadProgress()
    {
        FrmMainWindow *w = frmMain().win();
        QTemporaryDir dir;
        const QString path = dir.filePath("big.vyx");
        QVERIFY(TestUtil::writeBytes(path, QByteArray("\xC3\xA9 1 2 3\n").repeated(300000)));
        QVERIFY(w->openDocument(path));
        const int textWidth = frmMain().rtfMain()->viewport()->width();
        QVERIFY(!TestUtil::part<QLabel>(w, "lblEncoding")->isVisible());
        QVERIFY(TestUtil::part<QProgressBar>(w, "prgLoading")
                    ->text()
                    .startsWith(QStringLiteral("Loading... ")));
        QTRY_VERIFY(!TestUtil::shownDocument()->isLoading());
        QVERIFY(!TestUtil::part<QFrame>(w, "fraLoading")->isVisible());
        QCOMPARE(TestUtil::part<QLabel>(w, "lblEncoding")->text(), QStringLiteral("UTF-8"));
        QCOMPARE(frmMain().rtfMain()->viewport()->width(), textWidth);
        TestUtil::menuItem("mnuNew")->trigger(); // a small document gives the room back
        QVERIFY(frmMain().rtfMain()->viewport()->width() > textWidth);
    }

    void viewItems_data()
    {
        QTest::addColumn<QString>("how"); // View items, or the wheel
        QTest::addColumn<QString>("state");
        // clang-format off
        QTest::newRow("as at first") << "" << "numbers bar 9.75";
        QTest::newRow("word wrap") << "mnuWordWrap" << "wrap numbers bar 9.75";
        QTest::newRow("line numbers") << "mnuLineNumbers" << "bar 9.75";
        QTest::newRow("status bar") << "mnuStatusBar" << "numbers 9.75";
        QTest::newRow("zoom in") << "mnuZoomIn" << "numbers bar 10.75";
        QTest::newRow("zoom out") << "mnuZoomOut" << "numbers bar 8.75";
        QTest::newRow("ctrl+wheel") << "wheel" << "numbers bar 11.75";
        QTest::newRow("reset zoom") << "mnuZoomIn mnuResetZoom" << "numbers bar 9.75";
        // clang-format on
    }

    // The View items change the window and stay so at the next start.
    void viewItems()
    {
        QFETCH(QString, how);
        QFETCH(QString, state);
        FrmMainWindow *w = frmMain().win();
        QWidget *viewport = frmMain().rtfMain()->viewport();
        const QPoint at = viewport->rect().center();
        QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(),
                          QPoint(0, 2 * QWheelEvent::DefaultDeltasPerStep), Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
        for (const QString &step : how.split(' ', Qt::SkipEmptyParts)) {
            if (step == QLatin1String("wheel"))
                QApplication::sendEvent(viewport, &wheel);
            else
                w->findChild<QAction *>(step)->trigger();
        }
        QTRY_COMPARE(viewState(), state);
        frmMain().unload();
        TestUtil::flushDeferredDeletes();
        QVERIFY(TestUtil::showEditor());
        QTRY_COMPARE(viewState(), state);
    }
};

QTEST_MAIN(TestView)
#include "tst_view.moc"
