#include "searchcommands.h"

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

FrmSearchWindow *searchWindow(FrmSearchWindow::Kind kind);

QString notFound(const QString &text)
{
    return QStringLiteral("Cannot find \"%1\"").arg(text);
}

// Selects the next or previous match in the editor, scrolled into view; the
// selection stays when there is none, and the window that asked says so.
void findAndSelect(FrmSearchWindow *asking, bool backward)
{
    RichTextBox *rtf = frmMain().rtfMain();
    if (!rtf || lastSearch.text.isEmpty())
        return;
    const QTextCursor found = findText(rtf->document(), lastSearch, rtf->textCursor(), backward);
    if (found.isNull()) {
        if (!asking)
            asking = searchWindow(FrmSearchWindow::Find);
        asking->setStatus(notFound(lastSearch.text));
        return;
    }
    rtf->setTextCursor(found);
    if (asking)
        asking->setStatus(QString());
}

void searchFrom(FrmSearchWindow *window, bool backward)
{
    lastSearch = window->query();
    findAndSelect(window, backward);
}

void cmdReplace_Click(FrmSearchWindow *window)
{
    lastSearch = window->query();
    RichTextBox *rtf = frmMain().rtfMain();
    QTextCursor selection = rtf->textCursor();
    if (isMatch(selection, lastSearch)) {
        selection.insertText(window->txtReplace->text());
        rtf->setTextCursor(selection);
    }
    findAndSelect(window, false);
}

void cmdReplaceAll_Click(FrmSearchWindow *window)
{
    lastSearch = window->query();
    if (lastSearch.text.isEmpty())
        return;
    RichTextBox *rtf = frmMain().rtfMain();
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
    if (replace.longestLine() > RichTextBox::maxLineLength) {
        progress.reset();
        rtf->refuseLongLine();
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

FrmSearchWindow *searchWindow(FrmSearchWindow::Kind kind)
{
    FrmMainWindow *w = frmMain().win();
    FrmSearchWindow *&window = kind == FrmSearchWindow::Find ? w->frmFind : w->frmReplace;
    if (!window) {
        // A child of the editor window: it closes and goes with it.
        window = new FrmSearchWindow(kind, w);
        FrmSearchWindow *win = window;
        QObject::connect(win->cmdFindNext, &QPushButton::clicked, win,
                         [win] { searchFrom(win, false); });
        if (win->cmdFindPrevious)
            QObject::connect(win->cmdFindPrevious, &QPushButton::clicked, win,
                             [win] { searchFrom(win, true); });
        if (win->cmdReplace) {
            QObject::connect(win->cmdReplace, &QPushButton::clicked, win,
                             [win] { cmdReplace_Click(win); });
            QObject::connect(win->cmdReplaceAll, &QPushButton::clicked, win,
                             [win] { cmdReplaceAll_Click(win); });
        }
        // F3 and Shift+F3 go on working while the window has the focus.
        win->addActions({w->mnuFindNext, w->mnuFindPrevious});
    }
    if (!window->isVisible())
        window->setQuery(lastSearch);
    window->show();
    return window;
}

void openSearchWindow(FrmSearchWindow::Kind kind)
{
    RichTextBox *rtf = frmMain().rtfMain();
    if (!rtf)
        return;
    FrmSearchWindow *window = searchWindow(kind);
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

void findAgain(bool backward)
{
    // Pressed in a search window, the keys search for what its fields say now.
    FrmMainWindow *w = frmMain().win();
    for (FrmSearchWindow *window : {w->frmFind, w->frmReplace}) {
        if (window && window->isActiveWindow()) {
            searchFrom(window, backward);
            return;
        }
    }
    if (lastSearch.text.isEmpty())
        openSearchWindow(FrmSearchWindow::Find);
    else
        findAndSelect(nullptr, backward);
}

void goToLine(FrmGoToLineWindow *window)
{
    RichTextBox *rtf = frmMain().rtfMain();
    const QTextBlock block = rtf->document()->findBlockByNumber(window->line() - 1);
    if (!block.isValid())
        return;
    rtf->setTextCursor(QTextCursor(block));
    rtf->setFocus();
}

} // namespace

void mnuFind_Click()
{
    openSearchWindow(FrmSearchWindow::Find);
}

void mnuFindNext_Click()
{
    findAgain(false);
}

void mnuFindPrevious_Click()
{
    findAgain(true);
}

void mnuReplace_Click()
{
    openSearchWindow(FrmSearchWindow::Replace);
}

void mnuGoToLine_Click()
{
    FrmMainWindow *w = frmMain().win();
    if (!w)
        return;
    if (!w->frmGoToLine) {
        w->frmGoToLine = new FrmGoToLineWindow(w);
        // Modal to the editor alone and without a nested event loop, so that
        // nothing waits on it when the editor goes.
        w->frmGoToLine->setWindowModality(Qt::WindowModal);
        FrmGoToLineWindow *window = w->frmGoToLine;
        QObject::connect(window, &QDialog::accepted, window, [window] { goToLine(window); });
    }
    w->frmGoToLine->setLineCount(w->rtfMain->blockCount());
    w->frmGoToLine->show();
    w->frmGoToLine->txtLine->setFocus();
}
