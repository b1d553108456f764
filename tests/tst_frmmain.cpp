#include "frmmain.h"

#include "helpmenu.h"
#include "metrics.h"
#include "richtextbox.h"
#include "testutil.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

class TestFrmMain : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void menuTree();
    void windowDesign();
    void cutCopyFollowText();
    void altKeysOpenMenusAndNeverType_data();
    void altKeysOpenMenusAndNeverType();
    void pathsSurviveReloadWindowStartsAfresh();
    void closeBoxOnUnmodifiedDocumentEndsProgram();
    void exitEndsRunningProgram();
};

void TestFrmMain::init()
{
    installHelpMenu();
    frmMain().show();
    QVERIFY(QTest::qWaitForWindowExposed(frmMain().window()));
}

void TestFrmMain::cleanup()
{
    if (frmMain().isLoaded()) {
        frmMain().rtfMain()->document()->setModified(false);
        frmMain().unload();
    }
    TestUtil::flushDeferredDeletes();
}

void TestFrmMain::menuTree()
{
    // The whole tree in display order: name, caption, shortcut, enabled at load.
    const QStringList expected = {
        "mnuFile &File",
        "mnuNew New Ctrl+N on",
        "mnuOpen Open... Ctrl+O on",
        "mnuSave Save - on",
        "mnuSaveAs Save As... Ctrl+S on",
        "mnuSep -",
        "mnuExit Exit - on",
        "mnuEdit &Edit",
        "mnuCut Cut Ctrl+X off",
        "mnuCopy Copy Ctrl+C off",
        "mnuPaste Paste Ctrl+V off",
        "mnuSep1 -",
        "mnuUndo Undo Ctrl+Z off",
        "mnuRedo Redo Ctrl+Y, Ctrl+Shift+Z off",
        "mnuSep2 -",
        "mnuFind Find... Ctrl+F on",
        "mnuFindNext Find Next F3 on",
        "mnuFindPrevious Find Previous Shift+F3 on",
        "mnuReplace Replace... Ctrl+H on",
        "mnuGoToLine Go to Line... Ctrl+G on",
        "mnuSep3 -",
        "mnuSelectAll Select All Ctrl+A on",
        "mnuInsert &Insert",
        "mnuInclude Include Line - on",
        "mnuItemSeparator Item Separator - on",
        "mnuSep4 -",
        "mnuDoubleSlash // - on",
        "mnuHash # - on",
        "mnuHelp &Help",
        "mnuHowToUse How to use... - on",
        "mnuSep5 -",
        "mnuAbout About VYX Editor 1.0 - on",
    };
    QStringList actual;
    for (QAction *top : frmMain().win()->menuBar()->actions()) {
        actual << top->objectName() + QLatin1Char(' ') + top->text();
        for (QAction *a : top->menu()->actions()) {
            QVERIFY(!a->isCheckable() && a->isVisible());
            if (a->isSeparator()) {
                actual << a->objectName() + QStringLiteral(" -");
                continue;
            }
            QStringList keys;
            for (const QKeySequence &key : a->shortcuts())
                keys << key.toString();
            if (keys.isEmpty())
                keys << QStringLiteral("-");
            actual << QStringList{a->objectName(), a->text(), keys.join(QStringLiteral(", ")),
                                  a->isEnabled() ? "on" : "off"}
                          .join(' ');
        }
    }
    QCOMPARE(actual, expected);
}

void TestFrmMain::windowDesign()
{
    FrmMainWindow *w = frmMain().win();
    QCOMPARE(w->objectName(), QStringLiteral("frmMain"));
    QCOMPARE(w->windowTitle(), QStringLiteral("VYX Editor 1.0"));
    QVERIFY(!w->windowIcon().isNull());
    // Fixed dialog frame: close box only, not resizable.
    const Qt::WindowFlags flags = w->windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QCOMPARE(w->minimumSize(), w->maximumSize());
    // Client area 556 x 436 below the menu bar.
    QCOMPARE(w->centralWidget()->size(), QSize(556, 436));
    QCOMPARE(w->rtfMain->geometry(), QRect(8, 8, 537, 417));
    QCOMPARE(w->rtfMain->toolTip(),
             QStringLiteral("Enter/Change the VYX Code which appears here..."));
    QCOMPARE(w->rtfMain->font().family(), QStringLiteral("Verdana"));
    QCOMPARE(w->rtfMain->font().pointSizeF(), 9.75);
    QCOMPARE(QFontInfo(w->rtfMain->font()).family().isEmpty(), false);
    QVERIFY(!w->rtfMain->accessibleName().isEmpty());
    // The only stop in the tab order, focused at start, and empty.
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w->rtfMain));
    QTest::keyClick(w->rtfMain, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w->rtfMain));
    QCOMPARE(w->rtfMain->Text(), QString());
    QVERIFY(w->findChild<QObject *>(QStringLiteral("cdl1")));
}

void TestFrmMain::cutCopyFollowText()
{
    FrmMainWindow *w = frmMain().win();
    QVERIFY(!w->mnuCut->isEnabled());
    QVERIFY(!w->mnuCopy->isEnabled());
    QTest::keyClicks(w->rtfMain, QStringLiteral("x"));
    QVERIFY(w->mnuCut->isEnabled());
    QVERIFY(w->mnuCopy->isEnabled());
    QVERIFY(!w->mnuPaste->isEnabled());
    QTest::keyClick(w->rtfMain, Qt::Key_Backspace);
    QVERIFY(!w->mnuCut->isEnabled());
    QVERIFY(!w->mnuCopy->isEnabled());
    // A lone line break is text too.
    QTest::keyClick(w->rtfMain, Qt::Key_Return);
    QVERIFY(w->mnuCopy->isEnabled());
}

void TestFrmMain::altKeysOpenMenusAndNeverType_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("shift");
    QTest::addColumn<QString>("menu"); // empty: no menu opens
    QTest::newRow("alt+f") << int(Qt::Key_F) << false << "mnuFile";
    QTest::newRow("alt+e") << int(Qt::Key_E) << false << "mnuEdit";
    QTest::newRow("alt+i") << int(Qt::Key_I) << false << "mnuInsert";
    QTest::newRow("alt+h") << int(Qt::Key_H) << false << "mnuHelp";
    QTest::newRow("alt+q") << int(Qt::Key_Q) << false << "";
    QTest::newRow("alt+shift+x") << int(Qt::Key_X) << true << "";
}

void TestFrmMain::altKeysOpenMenusAndNeverType()
{
    QFETCH(int, key);
    QFETCH(bool, shift);
    QFETCH(QString, menu);
    FrmMainWindow *w = frmMain().win();
    QTest::keyClick(w->rtfMain, Qt::Key(key),
                    shift ? Qt::AltModifier | Qt::ShiftModifier : Qt::AltModifier);
    QMenu *opened = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    QCOMPARE(opened ? opened->objectName() : QString(), menu);
    if (opened)
        QTest::keyClick(opened, Qt::Key_Escape);
    QCOMPARE(w->rtfMain->Text(), QString());
}

void TestFrmMain::pathsSurviveReloadWindowStartsAfresh()
{
    frmMain().strLastopen = QStringLiteral("/tmp/a.vyx");
    frmMain().strLastsave = QStringLiteral("/tmp/b.vyx");
    frmMain().rtfMain()->setText(QStringLiteral("text"));
    frmMain().setCaption(QStringLiteral("a.vyx"));
    frmMain().win()->mnuPaste->setEnabled(true);
    frmMain().rtfMain()->document()->setModified(false);
    frmMain().unload();
    TestUtil::flushDeferredDeletes();
    frmMain().show();
    QCOMPARE(frmMain().strLastopen, QStringLiteral("/tmp/a.vyx"));
    QCOMPARE(frmMain().strLastsave, QStringLiteral("/tmp/b.vyx"));
    QCOMPARE(frmMain().rtfMain()->Text(), QString());
    QCOMPARE(frmMain().caption(), QStringLiteral("VYX Editor 1.0"));
    QVERIFY(!frmMain().win()->mnuPaste->isEnabled());
    QVERIFY(!frmMain().win()->mnuCut->isEnabled());
    frmMain().strLastopen.clear();
    frmMain().strLastsave.clear();
}

void TestFrmMain::closeBoxOnUnmodifiedDocumentEndsProgram()
{
    QSignalSpy ended(RuntimeEvents::instance(), &RuntimeEvents::lastFormUnloaded);
    frmMain().window()->close();
    QVERIFY(!frmMain().isLoaded());
    QCOMPARE(ended.count(), 1);
}

// File > Exit from the program's running event loop makes it return.
void TestFrmMain::exitEndsRunningProgram()
{
    QTimer::singleShot(0, frmMain().win()->mnuExit, &QAction::trigger);
    QTimer stuck; // Exit that ends nothing would leave the loop running
    stuck.callOnTimeout([] { QCoreApplication::exit(1); });
    stuck.start(5000);
    QCOMPARE(QCoreApplication::exec(), 0);
}

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
