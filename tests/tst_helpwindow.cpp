#include "frmhowtouse.h"

#include "frmmain.h"
#include "helpmenu.h"
#include "richtextbox.h"
#include "testutil.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

namespace {

QString withLf(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

// The help text split at its CR LF line ends; the empty piece after the last
// line end is dropped.
QStringList helpLines()
{
    QStringList lines = howToUseText().split(QLatin1String("\r\n"));
    lines.removeLast();
    return lines;
}

} // namespace

class TestHelpWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void roundTripBringsBackFreshEditor_data();
    void roundTripBringsBackFreshEditor();
    void closeBoxEndsProgram();
    void opensAtTopEveryVisit();
    void helpTextShape();
    void helpTextSections_data();
    void helpTextSections();
    void textBoxShowsHelpText();
    void handBrokenLinesFitTheBox();
    void textBoxRejectsTypingAllowsCopy();
    void keys_data();
    void keys();
    void design_data();
    void design();
    void resizingMovesNothing();

private:
    FrmHowToUseWindow *openHelp();
};

void TestHelpWindow::init()
{
    installHelpMenu();
    frmMain().show();
    QVERIFY(QTest::qWaitForWindowExposed(frmMain().window()));
}

void TestHelpWindow::cleanup()
{
    frmHowToUse().unload();
    if (frmMain().isLoaded()) {
        frmMain().rtfMain()->document()->setModified(false);
        frmMain().unload();
    }
    frmMain().strLastopen.clear();
    frmMain().strLastsave.clear();
    TestUtil::flushDeferredDeletes();
}

FrmHowToUseWindow *TestHelpWindow::openHelp()
{
    frmMain().win()->mnuHowToUse->trigger();
    TestUtil::flushDeferredDeletes();
    return frmHowToUse().win();
}

void TestHelpWindow::roundTripBringsBackFreshEditor_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("lastOpen");
    QTest::addColumn<QString>("lastSave");

    QTest::newRow("empty-document") << QString() << QString() << QString();
    QTest::newRow("saved-text-and-paths")
        << QStringLiteral("// ship\r\n#include \"a.vyx\"") << QStringLiteral("/data/a.vyx")
        << QStringLiteral("/data/b.vyx");
}

void TestHelpWindow::roundTripBringsBackFreshEditor()
{
    QFETCH(QString, text);
    QFETCH(QString, lastOpen);
    QFETCH(QString, lastSave);

    FrmMainWindow *editor = frmMain().win();
    editor->rtfMain->setText(text);
    // What was typed has been saved: the editor has nothing to ask.
    editor->rtfMain->document()->setModified(false);
    frmMain().setCaption(QStringLiteral("a.vyx"));
    editor->mnuPaste->setEnabled(true);
    frmMain().strLastopen = lastOpen;
    frmMain().strLastsave = lastSave;

    FrmHowToUseWindow *help = openHelp();
    QVERIFY(help);
    QVERIFY(help->isVisible());
    QVERIFY(!frmMain().isLoaded());
    QCOMPARE(Form::loadedCount(), 1);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);

    QTest::mouseClick(help->cmdBack, Qt::LeftButton);
    TestUtil::flushDeferredDeletes();
    QVERIFY(!frmHowToUse().isLoaded());
    QVERIFY(frmMain().isLoaded());
    QCOMPARE(Form::loadedCount(), 1);

    editor = frmMain().win();
    QVERIFY(editor->isVisible());
    QCOMPARE(editor->rtfMain->Text(), QString());
    QCOMPARE(frmMain().caption(), QStringLiteral("VYX Editor 1.0"));
    QVERIFY(!editor->mnuCut->isEnabled());
    QVERIFY(!editor->mnuCopy->isEnabled());
    QVERIFY(!editor->mnuPaste->isEnabled());
    QCOMPARE(frmMain().strLastopen, lastOpen);
    QCOMPARE(frmMain().strLastsave, lastSave);

    // The Help menu still works in the editor that came back.
    QVERIFY(openHelp());
    QVERIFY(!frmMain().isLoaded());
}

void TestHelpWindow::closeBoxEndsProgram()
{
    FrmHowToUseWindow *help = openHelp();
    QSignalSpy ended(RuntimeEvents::instance(), &RuntimeEvents::lastFormUnloaded);
    help->close();
    QVERIFY(!frmHowToUse().isLoaded());
    QVERIFY(!frmMain().isLoaded());
    QCOMPARE(Form::loadedCount(), 0);
    QCOMPARE(ended.count(), 1);
}

void TestHelpWindow::opensAtTopEveryVisit()
{
    FrmHowToUseWindow *help = openHelp();
    QVERIFY(QTest::qWaitForWindowExposed(help));
    QScrollBar *bar = help->txtHowToUse->verticalScrollBar();
    // The page is longer than the box, so there is somewhere to scroll to.
    QVERIFY(bar->maximum() > 0);
    help->txtHowToUse->moveCursor(QTextCursor::End);
    bar->setValue(bar->maximum());

    QTest::mouseClick(help->cmdBack, Qt::LeftButton);
    TestUtil::flushDeferredDeletes();
    help = openHelp();
    QVERIFY(QTest::qWaitForWindowExposed(help));
    QCOMPARE(help->txtHowToUse->verticalScrollBar()->value(), 0);
    QCOMPARE(help->txtHowToUse->textCursor().position(), 0);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(help->txtHowToUse));
}

void TestHelpWindow::helpTextShape()
{
    const QString text = howToUseText();
    QCOMPARE(text.size(), 1625);
    QVERIFY(text.endsWith(QLatin1String("\r\n")));
    QCOMPARE(text.count(QLatin1Char('\r')), 34);
    QCOMPARE(text.count(QLatin1Char('\n')), 34);

    const QStringList lines = helpLines();
    QCOMPARE(lines.size(), 34);
    int longLines = 0;
    for (const QString &line : lines) {
        QVERIFY2(!line.contains(QLatin1Char('\r')) && !line.contains(QLatin1Char('\n')), qPrintable(line));
        if (line.size() > 77) {
            ++longLines;
            QCOMPARE(line.size(), 100);
        }
    }
    QCOMPARE(longLines, 1);
    QCOMPARE(lines.last().size(), 100);

    // Two lines of introduction, then each heading between blank lines.
    QVERIFY(!lines.at(0).isEmpty() && !lines.at(1).isEmpty());
    const QStringList headings{"\"File\" Menu.", "\"Edit\" Menu.", "\"Insert\" Menu.", "\"Help\" Menu."};
    int previous = 1;
    for (const QString &heading : headings) {
        const int at = lines.indexOf(heading);
        QVERIFY2(at > previous, qPrintable(heading));
        QVERIFY(lines.at(at - 1).isEmpty());
        QVERIFY(lines.at(at + 1).isEmpty());
        QVERIFY(!lines.at(at + 2).isEmpty());
        previous = at;
    }
    QCOMPARE(lines.indexOf(headings.first()), 3);
    QCOMPARE(lines.indexOf(headings.last()), 31);
    // Blank lines only around headings.
    QCOMPARE(lines.count(QString()), 8);
}

void TestHelpWindow::helpTextSections_data()
{
    QTest::addColumn<QString>("heading");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("File") << "\"File\" Menu." << "5 options"
                          << QStringList{"\"New\"", "\"Open\"", "\"Save\"", "\"Save As\"", "\"Exit\""};
    QTest::newRow("Edit") << "\"Edit\" Menu." << "3 options" << QStringList{"\"Cut\"", "\"Copy\"", "\"Paste\""};
    QTest::newRow("Insert") << "\"Insert\" Menu." << "4 options"
                            << QStringList{"\"Include Line\"", "\"Item Separator\"", "\"//\"", "\"#\""};
    QTest::newRow("Help") << "\"Help\" Menu." << QString() << QStringList();
}

void TestHelpWindow::helpTextSections()
{
    QFETCH(QString, heading);
    QFETCH(QString, count);
    QFETCH(QStringList, items);

    const QStringList lines = helpLines();
    const int start = lines.indexOf(heading) + 2;
    QVERIFY(start > 2);
    int end = start;
    while (end < lines.size() && !lines.at(end).isEmpty())
        ++end;
    const QString body = lines.mid(start, end - start).join(QLatin1Char(' '));
    if (!count.isEmpty())
        QVERIFY2(body.startsWith(QStringLiteral("There are ") + count), qPrintable(body));
    for (const QString &item : items)
        QVERIFY2(body.contains(item), qPrintable(item));
    // The files are "vyx" files in lower case; the program's name is only in
    // the introduction.
    QVERIFY(!body.contains(QLatin1String("VYX")));
    if (heading.startsWith(QLatin1String("\"File\"")) || heading.startsWith(QLatin1String("\"Insert\"")))
        QVERIFY(body.contains(QLatin1String("vyx")));
}

void TestHelpWindow::textBoxShowsHelpText()
{
    FrmHowToUseWindow *help = openHelp();
    QCOMPARE(help->txtHowToUse->toPlainText(), withLf(howToUseText()));
    // Each CR LF is one line break: 34 lines and the empty one after the last.
    QCOMPARE(help->txtHowToUse->document()->blockCount(), 35);
}

void TestHelpWindow::handBrokenLinesFitTheBox()
{
    FrmHowToUseWindow *help = openHelp();
    QVERIFY(QTest::qWaitForWindowExposed(help));
    const QString family = QFontInfo(help->txtHowToUse->font()).family();
    if (family != QLatin1String("Verdana") && family != QLatin1String("DejaVu Sans"))
        QSKIP("neither Verdana nor its substitute is installed");
    // A line broken by hand that the box wraps again shows as a stray short
    // line; only the long line of the last section is meant to wrap.
    int wrapped = 0;
    for (QTextBlock block = help->txtHowToUse->document()->firstBlock(); block.isValid(); block = block.next()) {
        if (block.layout()->lineCount() > 1) {
            ++wrapped;
            QCOMPARE(block.text().size(), 100);
        }
    }
    QCOMPARE(wrapped, 1);
}

void TestHelpWindow::textBoxRejectsTypingAllowsCopy()
{
    FrmHowToUseWindow *help = openHelp();
    QPlainTextEdit *box = help->txtHowToUse;
    QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
    QTest::keyClicks(box, QStringLiteral("typed"));
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(box->toPlainText(), withLf(howToUseText()));

    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), withLf(howToUseText()));

    QTest::keyClick(box, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(box, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(box, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("VYX"));
}

void TestHelpWindow::keys_data()
{
    QTest::addColumn<bool>("onButton");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("backToEditor");

    QTest::newRow("text-box-enter") << false << int(Qt::Key_Return) << false;
    QTest::newRow("text-box-keypad-enter") << false << int(Qt::Key_Enter) << false;
    QTest::newRow("text-box-escape") << false << int(Qt::Key_Escape) << false;
    QTest::newRow("button-escape") << true << int(Qt::Key_Escape) << false;
    QTest::newRow("button-enter") << true << int(Qt::Key_Return) << true;
    QTest::newRow("button-space") << true << int(Qt::Key_Space) << true;
}

void TestHelpWindow::keys()
{
    QFETCH(bool, onButton);
    QFETCH(int, key);
    QFETCH(bool, backToEditor);

    FrmHowToUseWindow *help = openHelp();
    QVERIFY(QTest::qWaitForWindowActive(help));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(help->txtHowToUse));
    if (onButton) {
        QTest::keyClick(help->txtHowToUse, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(help->cmdBack));
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    QCOMPARE(frmMain().isLoaded(), backToEditor);
    QCOMPARE(frmHowToUse().isLoaded(), !backToEditor);
}

void TestHelpWindow::design_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("txtHowToUse") << "txtHowToUse" << QRect(16, 8, 521, 369) << "How to use this program...";
    QTest::newRow("cmdBack") << "cmdBack" << QRect(432, 400, 105, 33) << QString();
}

void TestHelpWindow::design()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, toolTip);

    FrmHowToUseWindow *help = openHelp();
    QCOMPARE(help->objectName(), QStringLiteral("frmHowToUse"));
    QCOMPARE(help->windowTitle(), QStringLiteral("VYX Editor 1.0"));
    QVERIFY(!help->windowIcon().isNull());
    QCOMPARE(help->windowType(), Qt::Window);
    QVERIFY(help->windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(help->windowFlags() & Qt::WindowMaximizeButtonHint);
    QVERIFY(help->windowFlags() & Qt::WindowCloseButtonHint);
    QCOMPARE(help->geometry(), QRect(134, 116, 556, 455));
    QVERIFY(help->minimumSize() != help->maximumSize());

    auto *control = help->findChild<QWidget *>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), geometry);
    QCOMPARE(control->toolTip(), toolTip);
    QCOMPARE(control->font().family(), QStringLiteral("Verdana"));
    QCOMPARE(control->font().pointSizeF(), 9.75);
    QVERIFY(!control->font().bold());
    QVERIFY(!control->accessibleName().isEmpty());
    // The button's right edge lines up with the text box's.
    QCOMPARE(help->cmdBack->geometry().right(), help->txtHowToUse->geometry().right());
    QVERIFY(!help->cmdBack->isDefault());
    QCOMPARE(help->cmdBack->text(), QStringLiteral("Back to Editor"));
}

void TestHelpWindow::resizingMovesNothing()
{
    FrmHowToUseWindow *help = openHelp();
    const QRect text = help->txtHowToUse->geometry();
    const QRect button = help->cmdBack->geometry();
    for (const QSize &size : {QSize(900, 700), QSize(200, 150)}) {
        help->resize(size);
        QCOMPARE(help->size(), size);
        QCOMPARE(help->txtHowToUse->geometry(), text);
        QCOMPARE(help->cmdBack->geometry(), button);
    }
}

QTEST_MAIN(TestHelpWindow)
#include "tst_helpwindow.moc"
