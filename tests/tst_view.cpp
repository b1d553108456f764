#include "frmmain.h"

#include "document.h"
#include "helpmenu.h"
#include "richtextbox.h"
#include "statusbar.h"
#include "testutil.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QSettings>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Types text as keys that bring it, any character (keyClicks takes ASCII only).
void type(QWidget *widget, const QString &text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

QByteArray utf16(const QString &text, bool bigEndian)
{
    QStringEncoder encoder(bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE,
                           QStringConverter::Flag::WriteBom);
    return encoder.encode(text);
}

// What the View menu's items and the zoom do to the window, as seen on it.
QString viewState()
{
    FrmMainWindow *w = frmMain().win();
    QStringList state;
    if (w->rtfMain->lineWrapMode() != QPlainTextEdit::NoWrap)
        state << "wrap";
    // The gutter takes its room from the text, beside it.
    const QWidget *gutter = w->rtfMain->findChild<QWidget *>("lineNumbers");
    const int margin = w->rtfMain->viewport()->x() - w->rtfMain->frameWidth();
    if (margin > 0 && gutter->isVisible() && gutter->width() == margin)
        state << "numbers";
    if (w->sbrStatus->isVisible())
        state << "bar";
    state << QString::number(w->rtfMain->font().pointSizeF());
    // The status bar, shown or not, leaves the text's margin to the window's foot.
    if (w->centralWidget()->height() - w->rtfMain->geometry().bottom() - 1 != 11)
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
        frmMain().show();
        QVERIFY(QTest::qWaitForWindowExposed(frmMain().window()));
    }

    void cleanup()
    {
        if (frmMain().isLoaded()) {
            frmMain().rtfMain()->document()->setModified(false);
            frmMain().unload();
        }
        TestUtil::flushDeferredDeletes();
    }

    void statusBarSays_data()
    {
        QTest::addColumn<QByteArray>("file"); // empty: a new document
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("position");
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("saved"); // the encoding once saved, if another
        const int shift = Qt::ShiftModifier, ctrl = Qt::ControlModifier;
        const QByteArray smiles = "a\xF0\x9F\x98\x80\nb\xF0\x9F\x98\x80\n"; // U+1F600 twice
        // clang-format off
        QTest::newRow("new") << QByteArray() << "" << QList<int>{} << "Ln 1, Col 1" << "Windows-1252" << "";
        QTest::newRow("typed, fits 1252") << QByteArray() << "caf\u00E9 \u20AC" << QList<int>{} << "Ln 1, Col 7" << "Windows-1252" << "";
        QTest::newRow("typed, needs utf-8") << QByteArray() << "\u03A9" << QList<int>{} << "Ln 1, Col 2" << "UTF-8" << "";
        QTest::newRow("typed and erased") << QByteArray() << "\u03A9" << QList<int>{Qt::Key_Backspace} << "Ln 1, Col 1" << "Windows-1252" << "";
        QTest::newRow("ascii") << QByteArray("ab\r\ncdef\r\n") << "" << QList<int>{Qt::Key_Down, Qt::Key_End} << "Ln 2, Col 5" << "Windows-1252" << "";
        QTest::newRow("utf-8: a column is a character") << QByteArray("x\xF0\x9F\x98\x80y\n") << "" << QList<int>{Qt::Key_End} << "Ln 1, Col 4" << "UTF-8" << "";
        QTest::newRow("utf-8 bom, selection") << QByteArray("\xEF\xBB\xBFh\xC3\xA9llo\r\nw") << "" << QList<int>{shift | Qt::Key_End} << "Ln 1, Col 6 (5 selected)" << "UTF-8 with BOM" << "";
        QTest::newRow("all, then less, then more") << smiles << "" << QList<int>{ctrl | shift | Qt::Key_End, shift | Qt::Key_Up, shift | Qt::Key_Right, shift | Qt::Key_Right} << "Ln 2, Col 3 (5 selected)" << "UTF-8" << "";
        QTest::newRow("selected backwards") << smiles << "" << QList<int>{ctrl | Qt::Key_End, shift | Qt::Key_Left, shift | Qt::Key_Left, shift | Qt::Key_Left} << "Ln 2, Col 1 (3 selected)" << "UTF-8" << "";
        QTest::newRow("utf-16 le") << utf16("a\nb", false) << "" << QList<int>{ctrl | shift | Qt::Key_End} << "Ln 2, Col 2 (3 selected)" << "UTF-16 LE" << "";
        QTest::newRow("utf-16 be") << utf16("\u03A9", true) << "" << QList<int>{Qt::Key_End} << "Ln 1, Col 2" << "UTF-16 BE" << "";
        QTest::newRow("windows-1252") << QByteArray("caf\xE9\n") << "" << QList<int>{Qt::Key_End} << "Ln 1, Col 5" << "Windows-1252" << "";
        QTest::newRow("windows-1252, typed what it lacks") << QByteArray("caf\xE9\n") << "\u03A9" << QList<int>{} << "Ln 1, Col 2" << "Windows-1252" << "UTF-8";
        QTest::newRow("rich text") << QByteArray("{\\rtf1 \\u937?\\par}") << "" << QList<int>{} << "Ln 1, Col 1" << "UTF-8" << "";
        // clang-format on
    }

    // Where the caret is, what is selected (in characters, a line break
    // being one) and how Save writes the document.
    void statusBarSays()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, typed);
        QFETCH(QList<int>, keys);
        QFETCH(QString, position);
        QFETCH(QString, encoding);
        QFETCH(QString, saved);
        FrmMainWindow *w = frmMain().win();
        QTemporaryDir dir;
        const QString path = dir.filePath("file.vyx");
        if (!file.isEmpty()) {
            QVERIFY(TestUtil::writeBytes(path, file));
            QVERIFY(w->openDocument(path));
        }
        type(w->rtfMain, typed);
        for (const int key : keys) {
            const QKeyCombination combined = QKeyCombination::fromCombined(key);
            QTest::keyClick(w->rtfMain, combined.key(), combined.keyboardModifiers());
        }
        QCOMPARE(w->sbrStatus->lblPosition->text(), position);
        QCOMPARE(w->sbrStatus->lblEncoding->text(), encoding);
        QCOMPARE(w->sbrStatus->lblLineEnd->text(), QStringLiteral("CR LF"));
        QVERIFY(w->document->save(path));
        QCOMPARE(w->sbrStatus->lblEncoding->text(), saved.isEmpty() ? encoding : saved);
    }

    // A big file shows its progress while it loads, then its encoding. The
    // gutter keeps its width meanwhile: a change would lay out every line anew.
    void loadProgress()
    {
        FrmMainWindow *w = frmMain().win();
        QTemporaryDir dir;
        const QString path = dir.filePath("big.vyx");
        QVERIFY(TestUtil::writeBytes(path, QByteArray("\xC3\xA9 1 2 3\n").repeated(300000)));
        QVERIFY(w->openDocument(path));
        QVERIFY(w->document->isLoading());
        const int textWidth = w->rtfMain->viewport()->width();
        QVERIFY(w->sbrStatus->lblLoading->isVisible());
        QVERIFY(!w->sbrStatus->lblEncoding->isVisible());
        QVERIFY(w->sbrStatus->lblLoading->text().startsWith(QStringLiteral("Loading... ")));
        QTRY_VERIFY(!w->document->isLoading());
        QVERIFY(!w->sbrStatus->lblLoading->isVisible());
        QCOMPARE(w->sbrStatus->lblEncoding->text(), QStringLiteral("UTF-8"));
        QCOMPARE(w->rtfMain->viewport()->width(), textWidth);
        w->mnuNew->trigger(); // a small document gives the room back
        QVERIFY(w->rtfMain->viewport()->width() > textWidth);
    }

    // Each part of the status bar is read by its text. A label with no name
    // set by hand is also what QLabel announces to screen readers on a change.
    void statusReadAloud()
    {
        const StatusBar *bar = frmMain().win()->sbrStatus;
        for (QLabel *label : {bar->lblPosition, bar->lblEncoding, bar->lblLineEnd}) {
            QVERIFY(!label->text().isEmpty());
            QVERIFY(label->accessibleName().isEmpty());
            QCOMPARE(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name),
                     label->text());
        }
    }

    void viewItems_data()
    {
        QTest::addColumn<QString>("how"); // a View item, a key, or the wheel
        QTest::addColumn<QString>("state");
        // clang-format off
        QTest::newRow("as at first") << "" << "numbers bar 9.75";
        QTest::newRow("word wrap") << "mnuWordWrap" << "wrap numbers bar 9.75";
        QTest::newRow("line numbers") << "mnuLineNumbers" << "bar 9.75";
        QTest::newRow("status bar") << "mnuStatusBar" << "numbers 9.75";
        QTest::newRow("zoom in") << "mnuZoomIn" << "numbers bar 10.75";
        QTest::newRow("ctrl+=") << "Ctrl+=" << "numbers bar 10.75";
        QTest::newRow("zoom out") << "mnuZoomOut" << "numbers bar 8.75";
        QTest::newRow("ctrl+-") << "Ctrl+-" << "numbers bar 8.75";
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
        for (const QString &step : how.split(' ', Qt::SkipEmptyParts)) {
            if (step.startsWith(QLatin1String("mnu"))) {
                w->findChild<QAction *>(step)->trigger();
            } else if (step == QLatin1String("wheel")) {
                const QPoint at = w->rtfMain->viewport()->rect().center();
                QWheelEvent wheel(at, w->rtfMain->viewport()->mapToGlobal(at), QPoint(),
                                  QPoint(0, 2 * QWheelEvent::DefaultDeltasPerStep), Qt::NoButton,
                                  Qt::ControlModifier, Qt::NoScrollPhase, false);
                QApplication::sendEvent(w->rtfMain->viewport(), &wheel);
            } else {
                QTest::keySequence(w->rtfMain, QKeySequence(step));
            }
        }
        QTRY_COMPARE(viewState(), state);
        frmMain().unload();
        TestUtil::flushDeferredDeletes();
        frmMain().show();
        QVERIFY(QTest::qWaitForWindowExposed(frmMain().window()));
        QTRY_COMPARE(viewState(), state);
        w = frmMain().win();
        QCOMPARE(w->mnuWordWrap->isChecked(), state.contains("wrap"));
        QCOMPARE(w->mnuLineNumbers->isChecked(), state.contains("numbers"));
        QCOMPARE(w->mnuStatusBar->isChecked(), state.contains("bar"));
    }
};

QTEST_MAIN(TestView)
#include "tst_view.moc"
