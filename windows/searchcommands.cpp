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

FrmSearchWindow *searchWindow(FrmMainWindow *w, FrmSearchWindow::Kind kind);

QString notFound(const QString &text)
{
    return QStringLiteral("Cannot find \"%1\"").arg(text);
}

// Selects the next or previous match in the editor, scrolled into view; the
// selection stays when there is none, and the window that asked says so.
void findAndSelect(FrmMainWindow *w, FrmSearchWindow *asking, bool backward)
{
    RichTextBox *rtf = w->rtfMain;
    if (lastSearch.text.isEmpty())
        return;
    const QTextCursor found = findText(rtf->document(), lastSearch, rtf->textCursor(), backward);
    if (found.isNull()) {
        if (!asking)
            asking = searchWindow(w, FrmSearchWindow::Find);
        asking->setStatus(notFound(lastSearch.text));
        return;
    }
    rtf->setTextCursor(found);
    if (asking)
        asking->setStatus(QString());
}

// The editor window a search window belongs to.
FrmMainWindow *editorOf(FrmSearchWindow *window)
{
    return static_cast<FrmMainWindow *>(window->parentWidget());
}

void searchFrom(FrmSearchWindow *window, bool backward)
{
    lastSearch = window->query();
    findAndSelect(editorOf(window), window, backward);
}

void cmdReplace_Click(FrmSearchWindow *window)
{
    lastSearch = window->query();
    RichTextBox *rtf = editorOf(window)->rtfMain;
    QTextCursor selection = rtf->textCursor();
    if (isMatch(selection, lastSearch)) {
        if (!Document::lineLimitAllows(selection, window->txtReplace->text())) {
            editorOf(window)->refuseLongLine();
            return;
        }
        selection.insertText(window->txtReplace->text());
        rtf->setTextCursor(selection);
    }
    findAndSelect(editorOf(window), window, false);
}

void cmdReplaceAll_Click(FrmSearchWindow *window)
{
    lastSearch = window->query();
    if (lastSearch.text.isEmpty())
        return;
    FrmMainWindow *w = editorOf(window);
    RichTextBox *rtf = w->rtfMain;
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
        w->refuseLongLine();
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

FrmSearchWindow *searchWindow(FrmMainWindow *w, FrmSearchWindow::Kind kind)
{
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

void openSearchWindow(FrmMainWindow *w, FrmSearchWindow::Kind kind)
{
    RichTextBox *rtf = w->rtfMain;
    FrmSearchWindow *window = searchWindow(w, kind);
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

void findAgain(FrmMainWindow *w, bool backward)
{
    // Pressed in a search window, the keys search for what its fields say now.
    for (FrmSearchWindow *window : {w->frmFind, w->frmReplace}) {
        if (window && window->isActiveWindow()) {
            searchFrom(window, backward);
            return;
        }
    }
    if (lastSearch.text.isEmpty())
        openSearchWindow(w, FrmSearchWindow::Find);
    else
        findAndSelect(w, nullptr, backward);
}

void goToLine(FrmGoToLineWindow *window)
{
    RichTextBox *rtf = static_cast<FrmMainWindow *>(window->parentWidget())->rtfMain;
    const QTextBlock block = rtf->document()->findBlockByNumber(window->line() - 1);
    if (!block.isValid())
        return;
    rtf->setTextCursor(QTextCursor(block));
    rtf->setFocus();
}

} // namespace

void FrmMainWindow::mnuFind_Click()
{
    openSearchWindow(this, FrmSearchWindow::Find);
}

void FrmMainWindow::mnuFindNext_Click()
{
    findAgain(this, false);
}

void FrmMainWindow::mnuFindPrevious_Click()
{
    findAgain(this, true);
}

void FrmMainWindow::mnuReplace_Click()
{
    openSearchWindow(this, FrmSearchWindow::Replace);
}

void FrmMainWindow::mnuGoToLine_Click()
{
    FrmMainWindow *w = this;
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
