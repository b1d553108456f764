#include "frmmain.h"

#include "document.h"
#include "findresults.h"
#include "frmfindinfiles.h"
#include "metrics.h"
#include "problems.h"
#include "richtextbox.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QTextBlock>

namespace {

// The word a search most likely wants: the selection when it lies on one
// line, otherwise the word at the caret.
QString wordAtCaret(const RichTextBox *rtf)
{
    QTextCursor cursor = rtf->textCursor();
    if (!cursor.hasSelection())
        cursor.select(QTextCursor::WordUnderCursor);
    const QString text = cursor.selectedText();
    return text.contains(QChar::ParagraphSeparator) ? QString() : text;
}

bool isSameFile(const QString &a, const QString &b)
{
    if (a == b)
        return true;
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

// Selects the match at column of line (from 1) of the text shown, or the
// line's start when the line has changed since the search.
void selectMatch(RichTextBox *rtf, int line, int column, int length)
{
    const QTextBlock block = rtf->document()->findBlockByNumber(line - 1);
    if (!block.isValid())
        return;
    const int lineLength = block.length() - 1;
    const int start = qBound(0, column, lineLength);
    QTextCursor cursor(block);
    cursor.setPosition(block.position() + start);
    cursor.setPosition(block.position() + qMin(lineLength, start + length),
                       QTextCursor::KeepAnchor);
    rtf->setTextCursor(cursor);
    rtf->centerCursor();
}

} // namespace

void FrmMainWindow::buildFindInFiles()
{
    actNextResult = new QAction(QStringLiteral("Next Result"), this);
    actNextResult->setObjectName(QStringLiteral("actNextResult"));
    actNextResult->setShortcut(QKeySequence(Qt::Key_F4));
    actPreviousResult = new QAction(QStringLiteral("Previous Result"), this);
    actPreviousResult->setObjectName(QStringLiteral("actPreviousResult"));
    actPreviousResult->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F4));
    addActions({actNextResult, actPreviousResult});
    connect(actNextResult, &QAction::triggered, this, [this] {
        if (dckFindResults)
            dckFindResults->goToResult(1);
    });
    connect(actPreviousResult, &QAction::triggered, this, [this] {
        if (dckFindResults)
            dckFindResults->goToResult(-1);
    });
}

void FrmMainWindow::mnuFindInFiles_Click()
{
    if (!frmFindInFiles) {
        frmFindInFiles = new FrmFindInFiles(this);
        const QString documentFolder = document->filePath().isEmpty()
            ? QDir::homePath()
            : QFileInfo(document->filePath()).absolutePath();
        frmFindInFiles->restoreSettings(documentFolder);
        // F4 goes on through the results while this window has the focus.
        frmFindInFiles->addActions({actNextResult, actPreviousResult});
        connect(frmFindInFiles, &FrmFindInFiles::findAllRequested, this,
                &FrmMainWindow::findInFiles);
        connect(frmFindInFiles, &FrmFindInFiles::cancelRequested, this, [this] {
            if (dckFindResults)
                dckFindResults->cancel();
        });
    }
    const QString word = wordAtCaret(rtfMain);
    if (!word.isEmpty())
        frmFindInFiles->txtFindWhat->setText(word);
    frmFindInFiles->show();
    frmFindInFiles->raise();
    frmFindInFiles->activateWindow();
    frmFindInFiles->txtFindWhat->setFocus();
    frmFindInFiles->txtFindWhat->selectAll();
}

void FrmMainWindow::findInFiles()
{
    FileSearchOptions options = frmFindInFiles->options();
    if (options.text.isEmpty() || document->isLoading())
        return;
    frmFindInFiles->saveSettings();
    options.documentPath = document->filePath();
    options.documentText = document->text();
    options.maxFileSize = Document::maxFileSize();

    if (!dckFindResults) {
        dckFindResults = new FindResultsDock(this);
        // Docked, the panel has a set height which the window adds to its
        // own; floating, it is a window of its own and may take any size.
        const int dockedHeight = twips(2400);
        dckFindResults->setFixedHeight(dockedHeight);
        dckFindResults->addActions({actNextResult, actPreviousResult});
        addDockWidget(Qt::BottomDockWidgetArea, dckFindResults);
        if (dckProblems)
            tabifyDockWidget(dckProblems, dckFindResults);
        connect(dckFindResults, &QDockWidget::topLevelChanged, this,
                [this, dockedHeight](bool floating) {
                    if (floating) {
                        dckFindResults->setMinimumHeight(0);
                        dckFindResults->setMaximumHeight(QWIDGETSIZE_MAX);
                    } else {
                        dckFindResults->setFixedHeight(dockedHeight);
                    }
                    fitFindResults();
                });
        connect(dckFindResults, &QDockWidget::visibilityChanged, this,
                &FrmMainWindow::fitFindResults);
        connect(dckFindResults, &FindResultsDock::resultActivated, this,
                &FrmMainWindow::showFindResult);
        connect(dckFindResults, &FindResultsDock::backToTextRequested, rtfMain,
                [this] { rtfMain->setFocus(); });
        connect(dckFindResults, &FindResultsDock::searchingChanged, frmFindInFiles,
                &FrmFindInFiles::setSearching);
        connect(dckFindResults, &FindResultsDock::progress, frmFindInFiles,
                &FrmFindInFiles::setProgress);
    }
    dckFindResults->show();
    fitFindResults();
    dckFindResults->start(options);
}

void FrmMainWindow::fitFindResults()
{
    // The results and the Problems panel share one area under the text, as
    // tabs when both are shown.
    const auto docked
        = [](const QDockWidget *dock) { return dock && !dock->isHidden() && !dock->isFloating(); };
    const int height = m_heightWithoutResults
        + (docked(dckFindResults) || docked(dckProblems) ? twips(2400) : 0);
    if (height != this->height())
        setFixedSize(width(), height);
}

void FrmMainWindow::showFindResult(const QString &path, int line, int column, int length)
{
    if (document->isLoading())
        return;
    if (!path.isEmpty() && !isSameFile(path, document->filePath())) {
        if (!confirmDiscardChanges() || !openDocument(path))
            return;
    }
    // A big file goes on loading after openDocument: the match is selected
    // once it is all in.
    document->whenLoaded(this, [this, line, column, length](bool completed) {
        if (completed)
            selectMatch(rtfMain, line, column, length);
    });
}
