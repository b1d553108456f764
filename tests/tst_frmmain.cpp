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

class TestFrmMain : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void menuTree_data();
    void menuTree();
    void menuOrder();
    void windowDesign();
    void cutCopyFollowText();
    void textWriteRaisesOneChange();
    void pathsSurviveReloadWindowStartsAfresh();
    void closeBoxOnUnmodifiedDocumentEndsProgram();
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

void TestFrmMain::menuTree_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::addColumn<bool>("enabled");

    const QKeySequence none;
    QTest::newRow("mnuNew") << "mnuNew" << "mnuFile" << "New" << QKeySequence(QStringLiteral("Ctrl+N")) << true;
    QTest::newRow("mnuOpen") << "mnuOpen" << "mnuFile" << "Open..." << QKeySequence(QStringLiteral("Ctrl+O")) << true;
    QTest::newRow("mnuSave") << "mnuSave" << "mnuFile" << "Save" << none << true;
    QTest::newRow("mnuSaveAs") << "mnuSaveAs" << "mnuFile" << "Save As..." << QKeySequence(QStringLiteral("Ctrl+S"))
                               << true;
    QTest::newRow("mnuExit") << "mnuExit" << "mnuFile" << "Exit" << none << true;
    QTest::newRow("mnuCut") << "mnuCut" << "mnuEdit" << "Cut" << QKeySequence(QStringLiteral("Ctrl+X")) << false;
    QTest::newRow("mnuCopy") << "mnuCopy" << "mnuEdit" << "Copy" << QKeySequence(QStringLiteral("Ctrl+C")) << false;
    QTest::newRow("mnuPaste") << "mnuPaste" << "mnuEdit" << "Paste" << QKeySequence(QStringLiteral("Ctrl+V")) << false;
    QTest::newRow("mnuInclude") << "mnuInclude" << "mnuInsert" << "Include Line" << none << true;
    QTest::newRow("mnuItemSeparator") << "mnuItemSeparator" << "mnuInsert" << "Item Separator" << none << true;
    QTest::newRow("mnuDoubleSlash") << "mnuDoubleSlash" << "mnuInsert" << "//" << none << true;
    QTest::newRow("mnuHash") << "mnuHash" << "mnuInsert" << "#" << none << true;
    QTest::newRow("mnuHowToUse") << "mnuHowToUse" << "mnuHelp" << "How to use..." << none << true;
    QTest::newRow("mnuAbout") << "mnuAbout" << "mnuHelp" << "About VYX Editor 1.0" << none << true;
}

void TestFrmMain::menuTree()
{
    QFETCH(QString, name);
    QFETCH(QString, menu);
    QFETCH(QString, caption);
    QFETCH(QKeySequence, shortcut);
    QFETCH(bool, enabled);

    QWidget *w = frmMain().window();
    auto *parentMenu = w->findChild<QMenu *>(menu);
    QVERIFY(parentMenu);
    QAction *action = nullptr;
    for (QAction *a : parentMenu->actions()) {
        if (a->objectName() == name)
            action = a;
    }
    QVERIFY2(action, qPrintable(name));
    QCOMPARE(action->text(), caption);
    QCOMPARE(action->shortcut(), shortcut);
    QCOMPARE(action->isEnabled(), enabled);
    QVERIFY(!action->isCheckable());
    QVERIFY(action->isVisible());
}

void TestFrmMain::menuOrder()
{
    QMenuBar *bar = frmMain().win()->menuBar();
    QStringList top;
    for (QAction *a : bar->actions())
        top << a->text();
    QCOMPARE(top, (QStringList{"File", "Edit", "Insert", "Help"}));

    const auto names = [](QMenu *menu) {
        QStringList out;
        for (QAction *a : menu->actions())
            out << a->objectName();
        return out;
    };
    FrmMainWindow *w = frmMain().win();
    QCOMPARE(names(w->mnuFile), (QStringList{"mnuNew", "mnuOpen", "mnuSave", "mnuSaveAs", "mnuSep", "mnuExit"}));
    QCOMPARE(names(w->mnuEdit), (QStringList{"mnuCut", "mnuCopy", "mnuPaste"}));
    QCOMPARE(names(w->mnuInsert),
             (QStringList{"mnuInclude", "mnuItemSeparator", "mnuSep4", "mnuDoubleSlash", "mnuHash"}));
    QCOMPARE(names(w->mnuHelp), (QStringList{"mnuHowToUse", "mnuSep5", "mnuAbout"}));
    QVERIFY(w->mnuSep->isSeparator() && w->mnuSep4->isSeparator() && w->mnuSep5->isSeparator());
    // No access keys in any caption.
    for (QMenu *menu : {w->mnuFile, w->mnuEdit, w->mnuInsert, w->mnuHelp}) {
        QVERIFY(!menu->title().contains(QLatin1Char('&')));
        for (QAction *a : menu->actions())
            QVERIFY(!a->text().contains(QLatin1Char('&')));
    }
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
    QCOMPARE(w->rtfMain->toolTip(), QStringLiteral("Enter/Change the VYX Code which appears here..."));
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

void TestFrmMain::textWriteRaisesOneChange()
{
    RichTextBox *rtf = frmMain().rtfMain();
    QSignalSpy change(rtf, &RichTextBox::Change);
    rtf->setText(QStringLiteral("a\r\nb"));
    QCOMPARE(change.count(), 1);
    QVERIFY(frmMain().win()->mnuCut->isEnabled());
    rtf->setText(QString());
    QCOMPARE(change.count(), 2);
    QVERIFY(!frmMain().win()->mnuCut->isEnabled());
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

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
