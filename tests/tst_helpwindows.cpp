#include "frmabout.h"

#include "frmhowtouse.h"
#include "frmmain.h"
#include "helpmenu.h"
#include "richtextbox.h"
#include "testutil.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

namespace {

const QString about = QStringLiteral("frmAbout");
const QString help = QStringLiteral("frmHowToUse");

FrmHowToUseWindow *openHelp()
{
    TestUtil::menuItem("mnuHowToUse")->trigger();
    TestUtil::flushDeferredDeletes();
    return frmHowToUse().win();
}

// Opens `form` from the Help menu and runs `body` on its window; the modal
// About window then goes whatever `body` did.
void whileShown(const QString &form, const std::function<void(QWidget *)> &body)
{
    if (form == help)
        return body(openHelp());
    bool shown = false;
    bool done = false;
    TestUtil::whenModalShows([&](QWidget *modal) {
        if ((shown = modal == frmAbout().window()))
            body(modal);
        frmAbout().unload();
        done = true;
    });
    TestUtil::menuItem("mnuAbout")->trigger();
    QTRY_VERIFY(done);
    QVERIFY(shown);
}

} // namespace

class TestHelpWindows : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        installHelpMenu();
        QVERIFY(TestUtil::showEditor());
    }

    void cleanup()
    {
        frmHowToUse().unload();
        TestUtil::closeEditor();
    }

    // About takes the keyboard from the editor while up, and leaves its text and selection be.
    void editorBlockedThenAsItWas()
    {
        FrmMainWindow *w = frmMain().win();
        frmMain().rtfMain()->setText(QStringLiteral("first\r\nsecond"));
        frmMain().rtfMain()->moveCursor(QTextCursor::Down, QTextCursor::KeepAnchor);
        whileShown(about, [&](QWidget *window) {
            QCOMPARE(window->windowTitle(), QStringLiteral("About VYX Editor 1.0..."));
            QTest::keyClick(w->windowHandle(), 'x');
            QTest::keyClick(w->windowHandle(), Qt::Key_A, Qt::ControlModifier);
            window->close();
            QVERIFY(!frmAbout().isLoaded());
        });
        QTest::keyClick(w->windowHandle(), 'x'); // and now it takes them
        QCOMPARE(frmMain().rtfMain()->Text(), QStringLiteral("xsecond"));
    }

    void accessibleNames_data()
    {
        QTest::addColumn<QString>("form"); // empty: the editor and its search windows
        QTest::newRow("editor") << QString();
        QTest::newRow("help") << help;
        QTest::newRow("about") << about;
    }

    // Screen readers find every window and every control that takes the keyboard by its name.
    void accessibleNames()
    {
        QFETCH(QString, form);
        QStringList unnamed;
        const auto check = [&unnamed](QWidget *window) {
            const QList<QWidget *> widgets = window->findChildren<QWidget *>() << window;
            for (QWidget *w : widgets) {
                // (Qt's own overflow menu of the menu bar has no name of ours.)
                const bool menu = qobject_cast<QMenu *>(w);
                if ((!w->isWindow() && w->focusPolicy() == Qt::NoFocus)
                    || (menu && !w->objectName().startsWith(u"mnu")))
                    continue;
                QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
                if (w->objectName().isEmpty() || !a || a->text(QAccessible::Name).isEmpty())
                    unnamed << w->objectName() + u':' + w->metaObject()->className();
            }
        };
        if (form.isEmpty()) {
            FrmMainWindow *w = frmMain().win();
            for (const Qt::Key key : {Qt::Key_F, Qt::Key_H, Qt::Key_G})
                QTest::keyClick(frmMain().rtfMain(), key, Qt::ControlModifier);
            check(w);
        } else {
            whileShown(form, check);
        }
        QCOMPARE(unnamed.join(u" "), QString());
    }

    void textBoxes_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        QTest::newRow("help") << help << "txtHowToUse" << howToUseText();
        QTest::newRow("about") << about << "txtAbout" << aboutText();
        QTest::newRow("credits") << about << "txtCoders" << codersText();
    }

    // Each box shows its whole text without scrolling sideways and lets the keyboard copy it;
    // only the help page scrolls down. (Which windows resize: tst_smallscreen.)
    void textBoxes()
    {
        QFETCH(QString, form);
        QFETCH(QString, box);
        QFETCH(QString, text);
        QStringList seen;
        whileShown(form, [&](QWidget *window) {
            auto *edit = window->findChild<QPlainTextEdit *>(box);
            QTest::keyClick(edit, Qt::Key_Home, Qt::ControlModifier);
            QTest::keyClick(edit, Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
            QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier);
            seen << QGuiApplication::clipboard()->text()
                 << QString::number(edit->horizontalScrollBar()->isVisible())
                 << QString::number(edit->verticalScrollBar()->isVisible());
        });
        const QString isHelp = QString::number(form == help);
        QCOMPARE(seen, (QStringList{text.replace("\r\n", "\n"), "0", isHelp}));
    }

    void keys_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("focus"); // empty: where the window put it
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<QString>("focusAfter"); // empty: the window is gone
        // clang-format off
        QTest::newRow("help, tab") << help << "" << Qt::Key_Tab << "cmdBack";
        QTest::newRow("help, enter on the button") << help << "cmdBack" << Qt::Key_Return << "";
        QTest::newRow("about, tab") << about << "" << Qt::Key_Tab << "txtCoders";
        QTest::newRow("about, escape") << about << "cmdClose" << Qt::Key_Escape << "cmdClose";
        QTest::newRow("about, keypad enter") << about << "cmdClose" << Qt::Key_Enter << "";
        // clang-format on
    }

    // Keys as the window system delivers them, to the window's focus.
    void keys()
    {
        QFETCH(QString, form);
        QFETCH(QString, focus);
        QFETCH(Qt::Key, key);
        QFETCH(QString, focusAfter);
        QString after;
        whileShown(form, [&](QWidget *window) {
            if (!focus.isEmpty())
                window->findChild<QWidget *>(focus)->setFocus();
            const QPointer<QWidget> shown(window); // Back to Editor unloads its window
            QTest::keyClick(window->windowHandle(), key);
            if (shown && shown->isVisible())
                after = shown->focusWidget()->objectName();
        });
        QCOMPARE(after, focusAfter);
    }

    // The editor comes back new but for its last paths, asking nothing as it goes; the help
    // page starts at the top each time and its close box ends the program.
    void roundTripBringsBackFreshEditor()
    {
        frmMain().rtfMain()->setText(QStringLiteral("// ship"));
        frmMain().rtfMain()->document()->setModified(false);
        frmMain().setCaption(QStringLiteral("a.vyx"));
        frmMain().strLastopen = QStringLiteral("/data/a.vyx");
        frmMain().strLastsave = QStringLiteral("/data/b.vyx");
        bool asked = false; // a question would run its own event loop, and this timer in it
        QTimer watch;
        watch.callOnTimeout([&asked] {
            if (QWidget *question = QApplication::activeModalWidget())
                asked = question->close();
        });
        watch.start(0);
        FrmHowToUseWindow *help = openHelp();
        QVERIFY(!asked && !frmMain().isLoaded());
        QVERIFY(QTest::qWaitForWindowExposed(help));
        help->txtHowToUse->moveCursor(QTextCursor::End);
        QVERIFY(help->txtHowToUse->verticalScrollBar()->value() > 0);
        QTest::mouseClick(help->cmdBack, Qt::LeftButton);
        TestUtil::flushDeferredDeletes();
        QVERIFY(!frmHowToUse().isLoaded());
        QVERIFY(frmMain().window()->isVisible());
        QCOMPARE(frmMain().rtfMain()->Text(), QString());
        QCOMPARE(frmMain().caption(), QStringLiteral("VYX Editor 1.0"));
        QCOMPARE(frmMain().strLastopen + frmMain().strLastsave, "/data/a.vyx/data/b.vyx");

        help = openHelp();
        QVERIFY(QTest::qWaitForWindowExposed(help));
        QCOMPARE(help->txtHowToUse->verticalScrollBar()->value(), 0);
        QCOMPARE(help->txtHowToUse->textCursor().position(), 0);
        help->close(); // the close box of the last window ends the program
        QVERIFY(!frmHowToUse().isLoaded());
        for (const QWidget *w : QApplication::topLevelWidgets())
            QVERIFY(!w->isVisible());
    }
};

QTEST_MAIN(TestHelpWindows)
#include "tst_helpwindows.moc"
