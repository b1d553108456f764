#include "document.h"
#include "frmmain.h"

#include "richtextbox.h"
#include "searchwindows.h"

#include <QAction>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTextBlock>

namespace {

// The last search run from either window, for Find Next and Find Previous;
// it outlives the editor window, as the paths of the last files do.
SearchQuery lastSearch;

QString notFound(const QString &text)
{
    return QStringLiteral("Cannot find \"%1\"").arg(text);
}

} // namespace

void FrmMainWindow::findAndSelect(FrmSearchWindow *asking, bool backward)
{
    RichTextBox *rtf = rtfMain;
    if (lastSearch.text.isEmpty())
        return;
    const QTextCursor found = findText(rtf->document(), lastSearch, rtf->textCursor(), backward);
    if (found.isNull()) {
        if (!asking)
            asking = searchWindow(false);
        asking->setStatus(notFound(lastSearch.text));
        return;
    }
    rtf->setTextCursor(found);
    if (asking)
        asking->setStatus(QString());
}

void FrmMainWindow::searchFrom(FrmSearchWindow *window, bool backward)
{
    lastSearch = window->query();
    findAndSelect(window, backward);
}

void FrmMainWindow::cmdReplace_Click(FrmSearchWindow *window)
{
    lastSearch = window->query();
    RichTextBox *rtf = rtfMain;
    QTextCursor selection = rtf->textCursor();
    if (isMatch(selection, lastSearch)) {
        if (!Document::lineLimitAllows(selection, window->txtReplace->text())) {
            refuseLongLine();
            return;
        }
        selection.insertText(window->txtReplace->text());
        rtf->setTextCursor(selection);
    }
    findAndSelect(window, false);
}

void FrmMainWindow::cmdReplaceAll_Click(FrmSearchWindow *window)
{
    lastSearch = window->query();
    if (lastSearch.text.isEmpty())
        return;
    RichTextBox *rtf = rtfMain;
    // Shown once the work looks like lasting longer than the minimum
    // duration; modal, so that nothing edits the text meanwhile.
    QProgressDialog progress(QStringLiteral("Replacing..."), QStringLiteral("Cancel"), 0, 100,
                             window);
    progress.setObjectName(QStringLiteral("dlgReplaceAllProgress"));
    progress.setWindowTitle(QStringLiteral("Replace All"));
    progress.setAccessibleName(progress.windowTitle());
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    progress.setValue(0);
    const auto report = [&progress](int percent) {
        progress.setValue(percent);
        return !progress.wasCanceled();
    };
    ReplaceAll replace(rtf->document(), lastSearch, window->txtReplace->text(),
                       rtf->hasFormatting());
    if (!replace.prepare(report))
        return;
    if (!Document::lineLimitAllows(replace.longestLine())) {
        progress.reset();
        refuseLongLine();
        return;
    }
    if (!replace.apply(report))
        return;
    const int count = replace.count();
    if (count == 0)
        window->setStatus(notFound(lastSearch.text));
    else if (count == 1)
        window->setStatus(QStringLiteral("Replaced 1 occurrence."));
    else
        window->setStatus(QStringLiteral("Replaced %1 occurrences.").arg(count));
}

FrmSearchWindow *FrmMainWindow::searchWindow(bool replace)
{
    FrmSearchWindow *&window = replace ? frmReplace : frmFind;
    if (!window) {
        // A child of the editor window: it closes and goes with it.
        window
            = new FrmSearchWindow(replace ? FrmSearchWindow::Replace : FrmSearchWindow::Find, this);
        FrmSearchWindow *win = window;
        connect(win->cmdFindNext, &QPushButton::clicked, win,
                [this, win] { searchFrom(win, false); });
        if (win->cmdFindPrevious)
            connect(win->cmdFindPrevious, &QPushButton::clicked, win,
                    [this, win] { searchFrom(win, true); });
        if (win->cmdReplace) {
            connect(win->cmdReplace, &QPushButton::clicked, win,
                    [this, win] { cmdReplace_Click(win); });
            connect(win->cmdReplaceAll, &QPushButton::clicked, win,
                    [this, win] { cmdReplaceAll_Click(win); });
        }
        // F3 and Shift+F3 go on working while the window has the focus.
        win->addActions({mnuFindNext, mnuFindPrevious});
    }
    if (!window->isVisible())
        window->setQuery(lastSearch);
    window->show();
    return window;
}

void FrmMainWindow::openSearchWindow(bool replace)
{
    RichTextBox *rtf = rtfMain;
    FrmSearchWindow *window = searchWindow(replace);
    // A selection within one line is what the user wants to look for.
    const QString selected = rtf->textCursor().selectedText();
    if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator)
        && !selected.contains(QChar::LineSeparator))
        window->txtFind->setText(selected);
    window->setStatus(QString());
    window->raise();
    window->activateWindow();
    window->txtFind->setFocus();
    window->txtFind->selectAll();
}

void FrmMainWindow::findAgain(bool backward)
{
    // Pressed in a search window, the keys search for what its fields say now.
    for (FrmSearchWindow *window : {frmFind, frmReplace}) {
        if (window && window->isActiveWindow()) {
            searchFrom(window, backward);
            return;
        }
    }
    if (lastSearch.text.isEmpty())
        openSearchWindow(false);
    else
        findAndSelect(nullptr, backward);
}

void FrmMainWindow::goToLine(FrmGoToLineWindow *window)
{
    RichTextBox *rtf = rtfMain;
    const QTextBlock block = rtf->document()->findBlockByNumber(window->line() - 1);
    if (!block.isValid())
        return;
    rtf->setTextCursor(QTextCursor(block));
    rtf->setFocus();
}

void FrmMainWindow::mnuFind_Click()
{
    openSearchWindow(false);
}

void FrmMainWindow::mnuFindNext_Click()
{
    findAgain(false);
}

void FrmMainWindow::mnuFindPrevious_Click()
{
    findAgain(true);
}

void FrmMainWindow::mnuReplace_Click()
{
    openSearchWindow(true);
}

void FrmMainWindow::mnuGoToLine_Click()
{
    if (!frmGoToLine) {
        frmGoToLine = new FrmGoToLineWindow(this);
        // Modal to the editor alone and without a nested event loop, so that
        // nothing waits on it when the editor goes.
        frmGoToLine->setWindowModality(Qt::WindowModal);
        FrmGoToLineWindow *window = frmGoToLine;
        connect(window, &QDialog::accepted, window, [this, window] { goToLine(window); });
    }
    frmGoToLine->setLineCount(rtfMain->blockCount());
    frmGoToLine->show();
    frmGoToLine->txtLine->setFocus();
}
