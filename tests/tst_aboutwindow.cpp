#include "frmabout.h"

#include "frmhowtouse.h"
#include "frmmain.h"
#include "helpmenu.h"
#include "richtextbox.h"
#include "testutil.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QTest>

namespace {

const QString about = QStringLiteral("frmAbout");
const QString help = QStringLiteral("frmHowToUse");

// Opens `form` from the editor's Help menu and runs `body` on its window; for
// the modal About window, in its event loop, which ends whatever `body` asserted.
void whileShown(const QString &form, const std::function<void(QWidget *)> &body)
{
    if (form == help) {
        frmMain().win()->mnuHowToUse->trigger();
        return body(frmHowToUse().window());
    }
    bool shown = false;
    TestUtil::whenModalShows([&](QWidget *modal) {
        if ((shown = modal == frmAbout().window()))
            body(modal);
        frmAbout().unload();
    });
    frmMain().win()->mnuAbout->trigger();
    QVERIFY(shown);
}

} // namespace

// The About window, and what it has in common with the help window.
class TestAboutWindow : public QObject
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

    // Keys for the editor are lost while About is shown; closing About leaves
    // the editor's text, caption, selection and menus as they were.
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
            QTest::keyClick(w->windowHandle(), 'x');
            QTest::keyClick(w->windowHandle(), Qt::Key_A, Qt::ControlModifier);
            if (closeBox)
                window->close();
            else
                QTest::mouseClick(window->findChild<QWidget *>("cmdClose"), Qt::LeftButton);
            QVERIFY(!frmAbout().isLoaded());
        });
        QCOMPARE(Form::loadedCount(), 1);
        QCOMPARE(state(), before);
        QTest::keyClick(w->windowHandle(), 'x'); // and now it takes them
        QCOMPARE(w->rtfMain->Text(), QStringLiteral("xsecond line"));
    }

    void textBoxes_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shape");
        const auto sized = [](int n) { return QStringLiteral("(?=[\\s\\S]{%1}\\z)").arg(n); };
        // Broken by hand to fit the box; only the last section's line wraps.
        const QString fits = QStringLiteral("(?:[^\r\n]{1,77}\r\n){%1}");
        const QString heading = QStringLiteral("\r\n\"%1\" Menu\\.\r\n\r\n");
        QTest::newRow("help-page") << help << "txtHowToUse" << howToUseText()
                                   << sized(1625) + fits.arg(2) + heading.arg("File") + fits.arg(7)
                + heading.arg("Edit") + fits.arg(5) + heading.arg("Insert") + fits.arg(7)
                + heading.arg("Help") + "[^\r\n]{100}\r\n";
        QTest::newRow("about-one-paragraph")
            << about << "txtAbout" << aboutText() << sized(292) + "[^\r\n]+\\.\\.\\.\r\n";
        QTest::newRow("about-two-names")
            << about << "txtCoders" << codersText() << "[^\r\n]+\r\n[^\r\n]+\r\n";
    }

    // Each box shows its text, CR LF line ends and all, ignores typing and
    // pasting, and lets the keyboard select and copy.
    void textBoxes()
    {
        QFETCH(QString, form);
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(QString, shape);
        QVERIFY(QRegularExpression("\\A" + shape + "\\z").match(text).hasMatch());
        QStringList seen;
        whileShown(form, [&](QWidget *window) {
            auto *edit = window->findChild<QPlainTextEdit *>(box);
            QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
            QTest::keyClicks(edit, QStringLiteral("typed"));
            QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
            seen << edit->toPlainText();
            QTest::keyClick(edit, Qt::Key_Home, Qt::ControlModifier);
            QTest::keyClick(edit, Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
            QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier);
            seen << QGuiApplication::clipboard()->text();
        });
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        QCOMPARE(seen, (QStringList{text, text}));
    }

    void keys_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("focus"); // empty: where the window put it
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("focusAfter"); // empty: the window is gone
        QTest::newRow("help-tab-from-start") << help << "" << int(Qt::Key_Tab) << "cmdBack";
        QTest::newRow("help-page-enter")
            << help << "txtHowToUse" << int(Qt::Key_Return) << "txtHowToUse";
        QTest::newRow("help-button-enter") << help << "cmdBack" << int(Qt::Key_Return) << "";
        QTest::newRow("about-tab-from-start") << about << "" << int(Qt::Key_Tab) << "txtCoders";
        QTest::newRow("about-tab-from-credits")
            << about << "txtCoders" << int(Qt::Key_Tab) << "cmdClose";
        QTest::newRow("about-tab-from-button")
            << about << "cmdClose" << int(Qt::Key_Tab) << "txtAbout";
        QTest::newRow("about-description-enter")
            << about << "txtAbout" << int(Qt::Key_Return) << "txtAbout";
        QTest::newRow("about-credits-escape")
            << about << "txtCoders" << int(Qt::Key_Escape) << "txtCoders";
        QTest::newRow("about-button-escape")
            << about << "cmdClose" << int(Qt::Key_Escape) << "cmdClose";
        QTest::newRow("about-button-keypad-enter")
            << about << "cmdClose" << int(Qt::Key_Enter) << "";
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

    void design_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QStringList>("shown"); // the window, then its controls, after a resize
        QTest::newRow("help-sizable")
            << help
            << QStringList{
                   "QRect(134,116 556x455) Qt::Window sizable",
                   "txtHowToUse QRect(16,8 521x369) Verdana 9.75 false How to use this program...",
                   "cmdBack QRect(432,400 105x33) Verdana 9.75 false"};
        QTest::newRow("about-fixed-tool")
            << about
            << QStringList{"QRect(176,256 467x173) Qt::Tool fixed",
                           "Label1 QRect(16,120 57x17) Verdana 9.75 true",
                           "txtAbout QRect(16,8 433x97) Verdana 9.75 false About the Program...",
                           "txtCoders QRect(88,120 105x41) Verdana 9.75 false",
                           "cmdClose QRect(360,136 81x33) Verdana 9.75 false Close Window..."};
    }

    void design()
    {
        QFETCH(QString, form);
        QFETCH(QStringList, shown);
        QStringList seen;
        const auto describe = [](const auto &...parts) {
            QString s;
            (QDebug(&s).noquote() << ... << parts);
            return s.trimmed();
        };
        whileShown(form, [&](QWidget *w) {
            const QRect client = w->geometry();
            w->resize(900, 700);
            seen << describe(client, w->windowType(),
                             w->size() == client.size() ? "fixed" : "sizable");
            for (QWidget *c : w->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
                const QFont f = c->font();
                seen << describe(c->objectName(), c->geometry(), f.family(), f.pointSizeF(),
                                 f.bold(), c->toolTip());
            }
        });
        QCOMPARE(seen, shown);
    }
};

QTEST_MAIN(TestAboutWindow)
#include "tst_aboutwindow.moc"
