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
#include <QDialog>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

const QString about = QStringLiteral("frmAbout");
const QString help = QStringLiteral("frmHowToUse");

FrmHowToUseWindow *openHelp()
{
    frmMain().win()->mnuHowToUse->trigger();
    TestUtil::flushDeferredDeletes();
    return frmHowToUse().win();
}

// Opens `form` from the editor's Help menu and runs `body` on its window; for
// the modal About window, once it is up, and then it goes whatever `body`
// asserted.
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
    frmMain().win()->mnuAbout->trigger();
    QTRY_VERIFY(done);
    QVERIFY(shown);
}

} // namespace

// The help and About windows and the moves between them and the editor.
class TestHelpWindows : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        installHelpMenu();
        frmMain().show();
        QVERIFY(QTest::qWaitForWindowExposed(frmMain().window()));
    }

    void cleanup()
    {
        frmHowToUse().unload();
        frmMain().unload();
        TestUtil::flushDeferredDeletes();
    }

    void editorBlockedThenAsItWas_data()
    {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("close-button") << false;
        QTest::newRow("close-box") << true;
    }

    // About swallows the editor's keys, and closing it leaves the editor as it was.
    void editorBlockedThenAsItWas()
    {
        QFETCH(bool, closeBox);
        FrmMainWindow *w = frmMain().win();
        w->rtfMain->setText(QStringLiteral("first line\r\nsecond line"));
        w->rtfMain->moveCursor(QTextCursor::Start);
        w->rtfMain->moveCursor(QTextCursor::Down, QTextCursor::KeepAnchor);
        frmMain().setCaption(QStringLiteral("ships.vyx"));
        w->mnuPaste->setEnabled(true);
        const auto state = [w] {
            QStringList s{w->rtfMain->Text(), frmMain().caption(),
                          w->rtfMain->textCursor().selectedText()};
            for (QAction *a : w->findChildren<QAction *>())
                s << a->objectName() + (a->isEnabled() ? " on" : " off");
            return s;
        };
        const QStringList before = state();
        whileShown(about, [&](QWidget *window) {
            QCOMPARE(window->windowTitle(), QStringLiteral("About VYX Editor 1.0..."));
            QTest::keyClick(w->windowHandle(), 'x');
            QTest::keyClick(w->windowHandle(), Qt::Key_A, Qt::ControlModifier);
            if (closeBox)
                window->close();
            else
                QTest::mouseClick(window->findChild<QWidget *>("cmdClose"), Qt::LeftButton);
            QVERIFY(!frmAbout().isLoaded());
        });
        QVERIFY(frmMain().isLoaded());
        QCOMPARE(state(), before);
        QTest::keyClick(w->windowHandle(), 'x'); // and now it takes them
        QCOMPARE(w->rtfMain->Text(), QStringLiteral("xsecond line"));
    }

    void accessibleNames_data()
    {
        QTest::addColumn<QString>("form");
        QTest::newRow("editor and its search windows") << QString();
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
                QTest::keyClick(w->rtfMain, key, Qt::ControlModifier);
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
        QTest::newRow("help-page") << help << "txtHowToUse" << howToUseText();
        QTest::newRow("about-description") << about << "txtAbout" << aboutText();
        QTest::newRow("about-credits") << about << "txtCoders" << codersText();
    }

    // Each box shows its whole text without scrolling sideways and lets the keyboard copy it;
    // only the help page scrolls down, and only its window resizes.
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
            const QSize size = window->size();
            window->resize(size + QSize(100, 100));
            seen << QGuiApplication::clipboard()->text()
                 << QString::number(edit->horizontalScrollBar()->isVisible())
                 << QString::number(edit->verticalScrollBar()->isVisible())
                 << QString::number(window->size() != size);
        });
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        const QString isHelp = QString::number(form == help);
        QCOMPARE(seen, (QStringList{text, "0", isHelp, isHelp}));
    }

    void keys_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("focus"); // empty: where the window put it
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("focusAfter"); // empty: the window is gone
        // clang-format off
        QTest::newRow("help-tab-from-start") << help << "" << int(Qt::Key_Tab) << "cmdBack";
        QTest::newRow("help-button-enter") << help << "cmdBack" << int(Qt::Key_Return) << "";
        QTest::newRow("about-tab-from-start") << about << "" << int(Qt::Key_Tab) << "txtCoders";
        QTest::newRow("about-tab-from-credits") << about << "txtCoders" << int(Qt::Key_Tab) << "cmdClose";
        QTest::newRow("about-button-escape") << about << "cmdClose" << int(Qt::Key_Escape) << "cmdClose";
        QTest::newRow("about-button-keypad-enter") << about << "cmdClose" << int(Qt::Key_Enter) << "";
        // clang-format on
    }

    // Keys as the window system delivers them, to the window's focus.
    void keys()
    {
        QFETCH(QString, form);
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(QString, focusAfter);
        QString after;
        whileShown(form, [&](QWidget *window) {
            if (!focus.isEmpty())
                window->findChild<QWidget *>(focus)->setFocus();
            // "Back to Editor" unloads its window: it may be gone after the key.
            const QPointer<QWidget> shown(window);
            QTest::keyClick(window->windowHandle(), Qt::Key(key));
            if (shown && shown->isVisible())
                after = shown->focusWidget()->objectName();
        });
        QCOMPARE(after, focusAfter);
    }

    // The editor comes back new but for its last paths; the help page starts at the top each time
    // and its close box ends the program.
    void roundTripBringsBackFreshEditor()
    {
        FrmMainWindow *editor = frmMain().win();
        editor->rtfMain->setText(QStringLiteral("// ship\r\n#include \"a.vyx\""));
        editor->rtfMain->document()->setModified(false);
        frmMain().setCaption(QStringLiteral("a.vyx"));
        editor->mnuPaste->setEnabled(true);
        frmMain().strLastopen = QStringLiteral("/data/a.vyx");
        frmMain().strLastsave = QStringLiteral("/data/b.vyx");
        bool asked = false; // a question would run its own event loop, and this timer in it
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&asked] {
            if (auto *question = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                asked = true, question->reject();
        });
        watch.start(0);
        FrmHowToUseWindow *help = openHelp();
        QVERIFY(!asked);
        QVERIFY(help && QTest::qWaitForWindowExposed(help));
        QVERIFY(!frmMain().isLoaded());
        help->txtHowToUse->moveCursor(QTextCursor::End);
        QVERIFY(help->txtHowToUse->verticalScrollBar()->value() > 0);

        QTest::mouseClick(help->cmdBack, Qt::LeftButton);
        TestUtil::flushDeferredDeletes();
        QVERIFY(!frmHowToUse().isLoaded());
        editor = frmMain().win();
        QVERIFY(editor && editor->isVisible());
        QCOMPARE(editor->rtfMain->Text(), QString());
        QCOMPARE(frmMain().caption(), QStringLiteral("VYX Editor 1.0"));
        QVERIFY(!editor->mnuCut->isEnabled() && !editor->mnuCopy->isEnabled());
        QVERIFY(!editor->mnuPaste->isEnabled());
        QCOMPARE(frmMain().strLastopen, QStringLiteral("/data/a.vyx"));
        QCOMPARE(frmMain().strLastsave, QStringLiteral("/data/b.vyx"));

        help = openHelp();
        QVERIFY(help && QTest::qWaitForWindowExposed(help));
        QCOMPARE(help->txtHowToUse->verticalScrollBar()->value(), 0);
        QCOMPARE(help->txtHowToUse->textCursor().position(), 0);
        help->close(); // the close box of the last window ends the program
        QVERIFY(!frmHowToUse().isLoaded());
        const QWidgetList windows = QApplication::topLevelWidgets();
        QVERIFY(std::none_of(windows.cbegin(), windows.cend(),
                             [](const QWidget *w) { return w->isVisible(); }));
    }
};

QTEST_MAIN(TestHelpWindows)
#include "tst_helpwindows.moc"
