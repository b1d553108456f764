#include "frmabout.h"

#include "frmmain.h"
#include "helpmenu.h"
#include "richtextbox.h"
#include "testutil.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

namespace {

QString withLf(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

// What a user sees of the editor and its menus.
struct EditorState
{
    QString text;
    QString caption;
    int anchor = -1;
    int position = -1;
    QList<bool> enabled;

    static EditorState read()
    {
        FrmMainWindow *w = frmMain().win();
        EditorState s;
        s.text = w->rtfMain->Text();
        s.caption = frmMain().caption();
        s.anchor = w->rtfMain->textCursor().anchor();
        s.position = w->rtfMain->textCursor().position();
        for (QMenu *menu : {w->mnuFile, w->mnuEdit, w->mnuInsert, w->mnuHelp}) {
            for (QAction *a : menu->actions())
                s.enabled << a->isEnabled();
        }
        return s;
    }
    bool operator==(const EditorState &o) const
    {
        return text == o.text && caption == o.caption && anchor == o.anchor && position == o.position
            && enabled == o.enabled;
    }
};

// Keys as the window system delivers them to a window, so that modality applies.
void typeInto(QWindow *window, const char *keys)
{
    for (const char *k = keys; *k; ++k)
        QTest::keyClick(window, *k);
}

} // namespace

class TestAboutWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void modalOverEditor();
    void closingLeavesEditorAsItWas_data();
    void closingLeavesEditorAsItWas();
    void keys_data();
    void keys();
    void tabOrder();
    void texts();
    void descriptionIsCentred();
    void textBoxesRejectTypingAllowCopy_data();
    void textBoxesRejectTypingAllowCopy();
    void design_data();
    void design();

private:
    // Opens the About window through the editor's menu, runs `body` while it
    // is shown, and makes sure it is gone afterwards.
    void whileShown(const std::function<void(FrmAboutWindow *)> &body);
};

void TestAboutWindow::init()
{
    installHelpMenu();
    frmMain().show();
    QVERIFY(QTest::qWaitForWindowExposed(frmMain().window()));
}

void TestAboutWindow::cleanup()
{
    frmAbout().unload();
    if (frmMain().isLoaded()) {
        frmMain().rtfMain()->document()->setModified(false);
        frmMain().unload();
    }
    TestUtil::flushDeferredDeletes();
}

void TestAboutWindow::whileShown(const std::function<void(FrmAboutWindow *)> &body)
{
    QWidget *shown = nullptr;
    TestUtil::whenModalShows([&](QWidget *modal) {
        shown = modal;
        if (modal == frmAbout().window())
            body(frmAbout().win());
        // Whatever the body asserted, the modal loop must end.
        frmAbout().unload();
    });
    frmMain().win()->mnuAbout->trigger();
    QVERIFY(shown);
    QCOMPARE(shown->objectName(), QStringLiteral("frmAbout"));
    QVERIFY(!frmAbout().isLoaded());
    TestUtil::flushDeferredDeletes();
}

void TestAboutWindow::modalOverEditor()
{
    QWidget *editor = frmMain().window();
    bool typedThrough = true;
    Qt::WindowModality modality = Qt::NonModal;
    whileShown([&](FrmAboutWindow *about) {
        modality = about->windowModality();
        // Keys sent to the editor's window, as the window system would, and a
        // shortcut of its menu: both are blocked by the modal window.
        typeInto(editor->windowHandle(), "abc");
        QTest::keyClick(editor->windowHandle(), Qt::Key_A, Qt::ControlModifier);
        typedThrough = !frmMain().rtfMain()->Text().isEmpty();
    });
    QCOMPARE(modality, Qt::ApplicationModal);
    QVERIFY(!typedThrough);
    // Once it is closed the editor takes input again.
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    typeInto(editor->windowHandle(), "abc");
    QCOMPARE(frmMain().rtfMain()->Text(), QStringLiteral("abc"));
}

void TestAboutWindow::closingLeavesEditorAsItWas_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("close-button") << false;
    QTest::newRow("close-box") << true;
}

void TestAboutWindow::closingLeavesEditorAsItWas()
{
    QFETCH(bool, closeBox);

    FrmMainWindow *w = frmMain().win();
    w->rtfMain->setText(QStringLiteral("first line\r\nsecond line"));
    QTextCursor cursor = w->rtfMain->textCursor();
    cursor.setPosition(14);
    cursor.setPosition(3, QTextCursor::KeepAnchor);
    w->rtfMain->setTextCursor(cursor);
    frmMain().setCaption(QStringLiteral("ships.vyx"));
    w->mnuPaste->setEnabled(true);
    const EditorState before = EditorState::read();
    QSignalSpy ended(RuntimeEvents::instance(), &RuntimeEvents::lastFormUnloaded);

    whileShown([&](FrmAboutWindow *about) {
        if (closeBox)
            about->close();
        else
            QTest::mouseClick(about->cmdClose, Qt::LeftButton);
        QVERIFY(!frmAbout().isLoaded());
    });
    QVERIFY(frmMain().isLoaded());
    QCOMPARE(ended.count(), 0);
    QVERIFY(EditorState::read() == before);
    QVERIFY(w->rtfMain->document()->isModified());
}

void TestAboutWindow::keys_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("closes");

    QTest::newRow("description-enter") << "txtAbout" << int(Qt::Key_Return) << false;
    QTest::newRow("description-escape") << "txtAbout" << int(Qt::Key_Escape) << false;
    QTest::newRow("credits-keypad-enter") << "txtCoders" << int(Qt::Key_Enter) << false;
    QTest::newRow("credits-escape") << "txtCoders" << int(Qt::Key_Escape) << false;
    QTest::newRow("button-escape") << "cmdClose" << int(Qt::Key_Escape) << false;
    QTest::newRow("button-enter") << "cmdClose" << int(Qt::Key_Return) << true;
    QTest::newRow("button-space") << "cmdClose" << int(Qt::Key_Space) << true;
}

void TestAboutWindow::keys()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(bool, closes);

    bool stillShown = true;
    whileShown([&](FrmAboutWindow *about) {
        auto *target = about->findChild<QWidget *>(focus);
        target->setFocus();
        QTest::keyClick(target, Qt::Key(key));
        stillShown = frmAbout().isLoaded();
    });
    QCOMPARE(stillShown, !closes);
}

void TestAboutWindow::tabOrder()
{
    QStringList visited;
    whileShown([&](FrmAboutWindow *) {
        for (int i = 0; i < 4; ++i) {
            QWidget *focused = QApplication::focusWidget();
            visited << (focused ? focused->objectName() : QString());
            if (focused)
                QTest::keyClick(focused, Qt::Key_Tab);
        }
    });
    QCOMPARE(visited, (QStringList{"txtAbout", "txtCoders", "cmdClose", "txtAbout"}));
}

void TestAboutWindow::texts()
{
    const QString about = aboutText();
    QCOMPARE(about.size(), 292);
    QVERIFY(about.endsWith(QLatin1String("...\r\n")));
    QCOMPARE(about.count(QLatin1Char('\r')), 1);
    QCOMPARE(about.count(QLatin1Char('\n')), 1);

    QCOMPARE(codersText().split(QLatin1String("\r\n")),
             (QStringList{"Lead Coder", "Helper Crew", QString()}));
    QCOMPARE(codersText().count(QLatin1Char('\n')), 2);

    QString shownAbout, shownCoders;
    whileShown([&](FrmAboutWindow *w) {
        shownAbout = w->txtAbout->toPlainText();
        shownCoders = w->txtCoders->toPlainText();
    });
    QCOMPARE(shownAbout, withLf(about));
    QCOMPARE(shownCoders, withLf(codersText()));
}

void TestAboutWindow::descriptionIsCentred()
{
    qreal leftGap = -1, rightGap = -1;
    int lines = 0;
    whileShown([&](FrmAboutWindow *w) {
        QTextLayout *layout = w->txtAbout->document()->firstBlock().layout();
        lines = layout->lineCount();
        // The paragraph's last line is the shortest; centred, it has as much
        // room on its left as on its right.
        const QTextLine last = layout->lineAt(lines - 1);
        leftGap = last.naturalTextRect().left() - last.x();
        rightGap = last.x() + last.width() - last.naturalTextRect().right();
    });
    QVERIFY(lines > 1);
    QVERIFY(leftGap > 20);
    QVERIFY(qAbs(leftGap - rightGap) <= 2);
}

void TestAboutWindow::textBoxesRejectTypingAllowCopy_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("txtAbout") << "txtAbout";
    QTest::newRow("txtCoders") << "txtCoders";
}

void TestAboutWindow::textBoxesRejectTypingAllowCopy()
{
    QFETCH(QString, name);

    QString before, afterTyping, copied;
    whileShown([&](FrmAboutWindow *w) {
        auto *box = w->findChild<QPlainTextEdit *>(name);
        box->setFocus();
        before = box->toPlainText();
        QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
        QTest::keyClicks(box, QStringLiteral("typed"));
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        afterTyping = box->toPlainText();
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
        copied = QGuiApplication::clipboard()->text();
    });
    QVERIFY(!before.isEmpty());
    QCOMPARE(afterTyping, before);
    QCOMPARE(copied, before);
}

void TestAboutWindow::design_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("takesFocus");

    QTest::newRow("Label1") << "Label1" << QRect(16, 120, 57, 17) << QString() << true << false;
    QTest::newRow("txtAbout") << "txtAbout" << QRect(16, 8, 433, 97) << "About the Program..." << false << true;
    QTest::newRow("txtCoders") << "txtCoders" << QRect(88, 120, 105, 41) << QString() << false << true;
    QTest::newRow("cmdClose") << "cmdClose" << QRect(360, 136, 81, 33) << "Close Window..." << false << true;
}

void TestAboutWindow::design()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, toolTip);
    QFETCH(bool, bold);
    QFETCH(bool, takesFocus);

    whileShown([&](FrmAboutWindow *about) {
        QCOMPARE(about->objectName(), QStringLiteral("frmAbout"));
        QCOMPARE(about->windowTitle(), QStringLiteral("About VYX Editor 1.0..."));
        QVERIFY(about->windowIcon().isNull());
        // A fixed tool window: close box only, no taskbar button.
        QCOMPARE(about->windowType(), Qt::Tool);
        QVERIFY(about->windowFlags() & Qt::WindowCloseButtonHint);
        QVERIFY(!(about->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(about->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(about->geometry(), QRect(176, 256, 467, 173));
        QCOMPARE(about->minimumSize(), QSize(467, 173));
        QCOMPARE(about->maximumSize(), QSize(467, 173));

        auto *control = about->findChild<QWidget *>(name);
        QVERIFY(control);
        QCOMPARE(control->geometry(), geometry);
        QCOMPARE(control->toolTip(), toolTip);
        QCOMPARE(control->font().family(), QStringLiteral("Verdana"));
        QCOMPARE(control->font().pointSizeF(), 9.75);
        QCOMPARE(control->font().bold(), bold);
        QCOMPARE(control->focusPolicy() != Qt::NoFocus, takesFocus);
        if (auto *box = qobject_cast<QPlainTextEdit *>(control)) {
            QCOMPARE(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
            QCOMPARE(box->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        }
        QCOMPARE(about->Label1->text(), QStringLiteral("Coders:"));
        QCOMPARE(about->cmdClose->text(), QStringLiteral("Close."));
        QVERIFY(!about->cmdClose->isDefault());
    });
}

QTEST_MAIN(TestAboutWindow)
#include "tst_aboutwindow.moc"
