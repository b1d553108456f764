// The Outline and Go to Item: the document's items at the left of the text,
// to reach any of them by name from the keyboard.

#include "frmmain.h"

#include "document.h"
#include "metrics.h"
#include "outlinedock.h"
#include "outlinemodel.h"
#include "richtextbox.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QStyle>
#include <QTextBlock>

void FrmMainWindow::buildOutline()
{
    // Go to Item reads the text and moves the caret only: it stays
    // available while a file loads, on the items read so far.
    connect(document, &Document::loadStarted, mnuGoToItem,
            [this] { mnuGoToItem->setEnabled(true); });
    if (mnuOutline->isChecked())
        showOutline(false);
}

OutlineDock *FrmMainWindow::outlineDock()
{
    if (dckOutline)
        return dckOutline;
    auto *model = new OutlineModel(document, this);
    model->setObjectName(QStringLiteral("outlineModel"));
    dckOutline = new OutlineDock(model, this);
    dckOutline->hide();
    // Docked, the Outline has a set width which the window adds to its own;
    // floating, it is a window of its own and may take any size.
    const int dockedWidth = twips(2400);
    dckOutline->setFixedWidth(dockedWidth);
    addDockWidget(Qt::LeftDockWidgetArea, dckOutline);
    connect(dckOutline, &QDockWidget::topLevelChanged, this, [this, dockedWidth](bool floating) {
        if (floating) {
            dckOutline->setMinimumWidth(0);
            dckOutline->setMaximumWidth(QWIDGETSIZE_MAX);
        } else {
            dckOutline->setFixedWidth(dockedWidth);
        }
        fitOutline();
    });
    connect(dckOutline, &QDockWidget::visibilityChanged, this, [this, model] {
        // Hidden, it reads nothing.
        model->setActive(!dckOutline->isHidden());
        fitOutline();
        dckOutline->followLine(rtfMain->textCursor().blockNumber());
    });
    connect(rtfMain, &QPlainTextEdit::cursorPositionChanged, dckOutline, [this] {
        if (!dckOutline->isHidden())
            dckOutline->followLine(rtfMain->textCursor().blockNumber());
    });
    connect(dckOutline, &OutlineDock::itemTaken, this, &FrmMainWindow::takeOutlineItem);
    connect(dckOutline, &OutlineDock::backToTextRequested, this, [this] {
        focusText();
        if (m_outlineOnce)
            hideOutline();
    });
    connect(dckOutline, &OutlineDock::closed, this, [this] {
        m_outlineOnce = false;
        mnuOutline->setChecked(false);
        saveView();
    });
    // Escape during a load cancels the load, as everywhere in the window.
    connect(document, &Document::loadStarted, dckOutline,
            [this] { dckOutline->setEscapeGoesBack(false); });
    connect(document, &Document::loadEnded, dckOutline,
            [this] { dckOutline->setEscapeGoesBack(true); });
    dckOutline->setEscapeGoesBack(!document->isLoading());
    // Shown by Go to Item, the Outline goes once the focus leaves it for
    // another part of the program (not when the user turns to another).
    connect(qApp, &QApplication::focusChanged, dckOutline, [this](QWidget *, QWidget *now) {
        if (m_outlineOnce && now && now != dckOutline && !dckOutline->isAncestorOf(now))
            hideOutline();
    });
    return dckOutline;
}

void FrmMainWindow::showOutline(bool once)
{
    OutlineDock *dock = outlineDock();
    m_outlineOnce = once;
    dock->show();
    fitOutline();
}

void FrmMainWindow::hideOutline()
{
    m_outlineOnce = false;
    if (dckOutline)
        dckOutline->hide();
    fitOutline();
}

// The window is of fixed size: it grows by the Outline's width while the
// Outline is docked at the left, so that the text keeps its size, and its
// top-left corner stays where it is.
void FrmMainWindow::fitOutline()
{
    const bool docked = dckOutline && !dckOutline->isHidden() && !dckOutline->isFloating();
    const int added = docked
        ? dckOutline->maximumWidth() + style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent)
        : 0;
    if (added == m_outlineWidth)
        return;
    setFixedSize(width() - m_outlineWidth + added, height());
    m_outlineWidth = added;
}

// From a floating Outline too, which is a window of its own.
void FrmMainWindow::focusText()
{
    activateWindow();
    rtfMain->setFocus();
}

void FrmMainWindow::takeOutlineItem(int line, bool byClick)
{
    const QTextBlock block = rtfMain->document()->findBlockByNumber(line);
    if (!block.isValid())
        return;
    rtfMain->setTextCursor(QTextCursor(block));
    rtfMain->centerCursor();
    if (!byClick || m_outlineOnce)
        focusText();
    if (m_outlineOnce)
        hideOutline();
}

void FrmMainWindow::mnuOutline_Click()
{
    if (mnuOutline->isChecked())
        showOutline(false);
    else
        hideOutline();
    saveView();
}

void FrmMainWindow::mnuGoToItem_Click()
{
    if (!dckOutline || dckOutline->isHidden())
        showOutline(true);
    dckOutline->focusFilter();
}
