#include "frmmain.h"

#include "contrast.h"
#include "document.h"
#include "helpmenu.h"
#include "richtextbox.h"
#include "testutil.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

class TestFrmMain : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        installHelpMenu();
        QVERIFY(TestUtil::showEditor());
    }

    void cleanup() { TestUtil::closeEditor(); }

    void menuTree()
    {
        // The whole tree in display order: name, caption, shortcuts, enabled at load.
        // clang-format off
        const QStringList expected = {
            "mnuFile &File", "mnuNew New Ctrl+N on", "mnuOpen Open... Ctrl+O on", "mnuSave Save - on",
            "mnuSaveAs Save As... Ctrl+S on", "mnuRecentFiles Recent Files - on",
            "mnuReopenEncoding Reopen with Encoding - off",
            "mnuCompareFile Compare with File... - on", "mnuCompareSaved Compare with Saved - off",
            "mnuSepPrint -", "mnuPrint Print... Ctrl+P on",
            "mnuPrintPreview Print Preview... - on", "mnuExportPdf Export as PDF... - on",
            "mnuSep -", "mnuExit Exit - on",
            "mnuEdit &Edit", "mnuCut Cut Ctrl+X off", "mnuCopy Copy Ctrl+C off", "mnuPaste Paste Ctrl+V off",
            "mnuSep1 -", "mnuUndo Undo Ctrl+Z off", "mnuRedo Redo Ctrl+Y; Ctrl+Shift+Z off", "mnuSep2 -",
            "mnuFind Find... Ctrl+F on", "mnuFindNext Find Next F3 on", "mnuFindPrevious Find Previous Shift+F3 on",
            "mnuReplace Replace... Ctrl+H on",
            "mnuFindInFiles Find in Files... Ctrl+Shift+F on", "mnuGoToLine Go to Line... Ctrl+G on",
            "mnuGoToItem Go to Item... Ctrl+Shift+O on", "mnuSep3 -",
            "mnuSelectAll Select All Ctrl+A on", "mnuSepComment -", "mnuToggleComment Toggle Comment Ctrl+/ on",
            "mnuInsert &Insert", "mnuInclude Include Line - on", "mnuItemSeparator Item Separator - on",
            "mnuSep4 -", "mnuDoubleSlash // - on", "mnuHash # - on",
            "mnuView &View", "mnuWordWrap Word Wrap - on [ ]", "mnuLineNumbers Line Numbers - on [x]",
            "mnuStatusBar Status Bar - on [x]", "mnuOutline Outline - on [ ]",
            "mnuProblems Problems Ctrl+Shift+M on [ ]", "mnuSep6 -", "mnuZoomIn Zoom In Ctrl++; Ctrl+= on",
            "mnuZoomOut Zoom Out Ctrl+- on", "mnuResetZoom Reset Zoom Ctrl+0 off",
            "mnuHelp &Help", "mnuHowToUse How to use... - on", "mnuSep5 -", "mnuAbout About VYX Editor 1.0 - on",
        };
        // clang-format on
        QStringList actual;
        for (QAction *top : frmMain().win()->menuBar()->actions()) {
            actual << top->objectName() + u' ' + top->text();
            for (QAction *a : top->menu()->actions()) {
                QVERIFY(a->isVisible());
                const QString keys = QKeySequence::listToString(a->shortcuts());
                QString row = a->objectName() + u' ' + a->text() + u' ';
                row += (keys.isEmpty() ? "-" : keys) + (a->isEnabled() ? " on" : " off");
                if (a->isCheckable())
                    row += a->isChecked() ? " [x]" : " [ ]";
                actual << (a->isSeparator() ? a->objectName() + " -" : row);
            }
        }
        QCOMPARE(actual, expected);
    }

    // Title, no minimize or maximize, the text filling the client area but for the status bar, with
    // the focus.
    void windowDesign()
    {
        FrmMainWindow *w = frmMain().win();
        QCOMPARE(w->windowTitle(), QStringLiteral("VYX Editor 1.0"));
        QVERIFY(
            !(w->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        const int bar = w->statusBar()->height();
        QVERIFY(w->statusBar()->isVisible() && bar > 0);
        QCOMPARE(w->centralWidget()->size(), QSize(556, 436 - bar));
        QCOMPARE(frmMain().rtfMain()->geometry(), QRect(8, 8, 537, 417 - bar));
        QCOMPARE(frmMain().rtfMain()->font().pointSizeF(), 9.75);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(frmMain().rtfMain()));
    }

    // Cut, Copy, Undo and Redo follow the text and its history; a lone line break is text too.
    void editMenuFollowsText()
    {
        FrmMainWindow *w = frmMain().win();
        const auto state = [w] {
            QString s = frmMain().rtfMain()->Text() + u'|';
            for (QAction *a : {TestUtil::menuItem("mnuCut"), TestUtil::menuItem("mnuCopy"),
                               TestUtil::menuItem("mnuUndo"), TestUtil::menuItem("mnuRedo")})
                s += a->isEnabled() ? a->text().at(0) : u'-';
            return s;
        };
        QStringList seen{state()};
        for (const QKeyCombination key :
             {QKeyCombination(Qt::Key_X), QKeyCombination(Qt::Key_Backspace),
              QKeyCombination(Qt::Key_Return), Qt::ControlModifier | Qt::Key_Z,
              Qt::ControlModifier | Qt::Key_Y, Qt::ControlModifier | Qt::Key_Z,
              Qt::ControlModifier | Qt::ShiftModifier | Qt::Key_Z}) {
            QTest::keyClick(frmMain().rtfMain(), key.key(), key.keyboardModifiers());
            seen << state();
        }
        QCOMPARE(seen,
                 (QStringList{"|----", "x|CCU-", "|--U-", "\r\n|CCU-", "|--UR", "\r\n|CCU-",
                              "|--UR", "\r\n|CCU-"}));
        QVERIFY(!TestUtil::menuItem("mnuPaste")->isEnabled());
    }

    void altKeysOpenMenusAndNeverType_data()
    {
        QTest::addColumn<QKeyCombination>("key");
        QTest::addColumn<QString>("menu"); // empty: no menu opens
        QTest::newRow("alt+f") << (Qt::AltModifier | Qt::Key_F) << "mnuFile";
        QTest::newRow("alt+shift+x") << (Qt::AltModifier | Qt::ShiftModifier | Qt::Key_X) << "";
    }

    void altKeysOpenMenusAndNeverType()
    {
        QFETCH(QKeyCombination, key);
        QFETCH(QString, menu);
        QTest::keyClick(frmMain().rtfMain(), key.key(), key.keyboardModifiers());
        QMenu *opened = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QCOMPARE(opened ? opened->objectName() : QString(), menu);
        if (opened)
            QTest::keyClick(opened, Qt::Key_Escape);
        QCOMPARE(frmMain().rtfMain()->Text(), QString());
    }

    // File > Exit from the program's running event loop makes it return.
    void exitEndsRunningProgram()
    {
        QTimer::singleShot(0, TestUtil::menuItem("mnuExit"), &QAction::trigger);
        QTimer stuck;
        stuck.callOnTimeout([] { QCoreApplication::exit(1); });
        stuck.start(5000);
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    void definitionColours_data()
    {
        QTest::addColumn<QColor>("base"); // the text's background
        QTest::addColumn<QByteArray>("line"); // repeated to fill the file
        QTest::addColumn<int>("kinds"); // distinct formats seen at the end of the file
        const QByteArray all = "#include \"there.vyx\" // c\r\n#include "
                               "\"gone.vyx\"\r\n//***\r\n#weapon 12 \"Laser\"\r\n";
        // clang-format off
        QTest::newRow("light") << QColor(Qt::white) << all << 7;
        QTest::newRow("dark") << QColor(0x1e, 0x1e, 0x1e) << all << 7;
        QTest::newRow("mid grey, the hardest") << QColor(0x76, 0x76, 0x76) << all << 7;
        QTest::newRow("lines too long to colour") << QColor(Qt::white) << QByteArray("1 ").repeated(2049) + "\r\n" << 0;
        QTest::newRow("rich text keeps its own") << QColor(Qt::white) << QByteArray("{\\rtf1 //***\\par 12 \"a\"\\par}") << 0;
        // clang-format on
    }

    // The colours read well on the background, change nothing else, and go on the lines shown only.
    void definitionColours()
    {
        QFETCH(QColor, base);
        QFETCH(QByteArray, line);
        QFETCH(int, kinds);
        QTemporaryDir dir;
        const QString file = dir.filePath("defs.vyx");
        QVERIFY(TestUtil::writeBytes(dir.filePath("there.vyx"), "x"));
        QVERIFY(TestUtil::writeBytes(file, line.startsWith('{') ? line : line.repeated(500)));
        RichTextBox *rtf = frmMain().rtfMain();
        QPalette palette = QApplication::style()->standardPalette();
        palette.setColor(QPalette::Base, base);
        palette.setColor(QPalette::Text, base.lightness() < 128 ? Qt::white : Qt::black);
        rtf->setPalette(palette);
        QVERIFY(frmMain().win()->openDocument(file));
        QTRY_VERIFY(!TestUtil::shownDocument()->isLoading());
        const QString text = rtf->Text();
        QSignalSpy change(rtf, &RichTextBox::Change);
        QTest::keyClick(rtf, Qt::Key_End, Qt::ControlModifier);
        rtf->viewport()->repaint();
        QSet<QString> seen;
        QTextBlock b = rtf->document()->lastBlock();
        for (int i = 0; i < 100 && b.isValid(); ++i, b = b.previous()) {
            for (const QTextLayout::FormatRange &r : b.layout()->formats()) {
                const QColor fore = r.format.foreground().color();
                const QColor under = r.format.underlineColor();
                seen << fore.name() + under.name() + QString::number(r.format.fontWeight());
                QVERIFY(contrastRatio(fore, base) >= 4.5);
                QVERIFY(!under.isValid() || contrastRatio(under, base) >= 4.5);
            }
        }
        QCOMPARE(seen.size(), kinds);
        if (kinds) // far from both ends: never shown, never coloured
            QVERIFY(rtf->document()->findBlockByNumber(1000).layout()->formats().isEmpty());
        QCOMPARE(rtf->Text(), text);
        QCOMPARE(change.count(), 0);
        QVERIFY(!rtf->document()->isModified() && !rtf->document()->isUndoAvailable());
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
