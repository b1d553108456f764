// The View menu: how the text is shown (wrapping, line numbers, the status
// bar, the size of the text), remembered from one start to the next.

#include "frmmain.h"

#include "metrics.h"
#include "richtextbox.h"
#include "statusbar.h"

#include <QAction>
#include <QFrame>
#include <QMenu>
#include <QSettings>

namespace {

// The text's size goes from 5.75 to 29.75 points, a point a step.
constexpr int zoomOutMost = -4;
constexpr int zoomInMost = 20;

const QString wordWrapKey = QStringLiteral("View/WordWrap");
const QString lineNumbersKey = QStringLiteral("View/LineNumbers");
const QString statusBarKey = QStringLiteral("View/StatusBar");
const QString outlineKey = QStringLiteral("View/Outline");
const QString zoomKey = QStringLiteral("View/Zoom");

} // namespace

void FrmMainWindow::buildViewMenu()
{
    const QSettings settings;
    const auto addCheck
        = [this, &settings](const char *name, const QString &caption, const QString &key, bool on,
                            void (FrmMainWindow::*handler)()) {
              QAction *item = addItem(mnuView, name, caption, QKeySequence(), handler);
              item->setCheckable(true);
              item->setChecked(settings.value(key, on).toBool());
              return item;
          };
    // Definition files are line-oriented: long lines are shown whole, with a
    // scroll bar, unless the user asks for them wrapped.
    mnuWordWrap = addCheck("mnuWordWrap", QStringLiteral("Word Wrap"), wordWrapKey, false,
                           &FrmMainWindow::mnuWordWrap_Click);
    mnuLineNumbers = addCheck("mnuLineNumbers", QStringLiteral("Line Numbers"), lineNumbersKey,
                              true, &FrmMainWindow::mnuLineNumbers_Click);
    mnuStatusBar = addCheck("mnuStatusBar", QStringLiteral("Status Bar"), statusBarKey, true,
                            &FrmMainWindow::mnuStatusBar_Click);
    mnuOutline = addCheck("mnuOutline", QStringLiteral("Outline"), outlineKey, false,
                          &FrmMainWindow::mnuOutline_Click);
    mnuProblems
        = addCheck("mnuProblems", QStringLiteral("Problems"), QStringLiteral("View/Problems"),
                   false, &FrmMainWindow::mnuProblems_Click);
    mnuSep6 = mnuView->addSeparator();
    mnuSep6->setObjectName(QStringLiteral("mnuSep6"));
    mnuZoomIn = addItem(mnuView, "mnuZoomIn", QStringLiteral("Zoom In"), QKeySequence(),
                        &FrmMainWindow::mnuZoomIn_Click);
    mnuZoomIn->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    mnuZoomOut = addItem(mnuView, "mnuZoomOut", QStringLiteral("Zoom Out"),
                         QKeySequence(Qt::CTRL | Qt::Key_Minus), &FrmMainWindow::mnuZoomOut_Click);
    mnuResetZoom = addItem(mnuView, "mnuResetZoom", QStringLiteral("Reset Zoom"),
                           QKeySequence(Qt::CTRL | Qt::Key_0), &FrmMainWindow::mnuResetZoom_Click);
    m_zoom = qBound(zoomOutMost, settings.value(zoomKey, 0).toInt(), zoomInMost);
    connect(rtfMain, &RichTextBox::zoomRequested, this, &FrmMainWindow::zoomBy);
    buildProblems();
}

void FrmMainWindow::applyView()
{
    rtfMain->setLineWrapMode(mnuWordWrap->isChecked() ? QPlainTextEdit::WidgetWidth
                                                      : QPlainTextEdit::NoWrap);
    rtfMain->setLineNumbersVisible(mnuLineNumbers->isChecked());
    sbrStatus->setVisible(mnuStatusBar->isChecked());
    QFont font = standardFont();
    font.setPointSizeF(font.pointSizeF() + m_zoom);
    rtfMain->setFont(font);
    mnuZoomIn->setEnabled(m_zoom < zoomInMost);
    mnuZoomOut->setEnabled(m_zoom > zoomOutMost);
    mnuResetZoom->setEnabled(m_zoom != 0);
    layOutText();
}

void FrmMainWindow::saveView() const
{
    QSettings settings;
    settings.setValue(wordWrapKey, mnuWordWrap->isChecked());
    settings.setValue(lineNumbersKey, mnuLineNumbers->isChecked());
    settings.setValue(statusBarKey, mnuStatusBar->isChecked());
    settings.setValue(outlineKey, mnuOutline->isChecked());
    settings.setValue(zoomKey, m_zoom);
}

void FrmMainWindow::layOutText()
{
    // The window keeps its size: the status bar takes its room from the text.
    const int bar = sbrStatus->isVisibleTo(this) ? sbrStatus->sizeHint().height() : 0;
    rtfMain->setGeometry(twipsRect(120, 120, 8055, 6255).adjusted(0, 0, 0, -bar));
    const QRect text = rtfMain->geometry();
    const int height = twips(375);
    fraLoading->setGeometry(text.left() + 1, text.bottom() - height, text.width() - 2, height);
}

void FrmMainWindow::zoomBy(int steps)
{
    const int zoom = qBound(zoomOutMost, m_zoom + steps, zoomInMost);
    if (zoom == m_zoom)
        return;
    m_zoom = zoom;
    applyView();
    saveView();
}

void FrmMainWindow::mnuWordWrap_Click()
{
    applyView();
    saveView();
}

void FrmMainWindow::mnuLineNumbers_Click()
{
    applyView();
    saveView();
}

void FrmMainWindow::mnuStatusBar_Click()
{
    applyView();
    saveView();
}

void FrmMainWindow::mnuZoomIn_Click()
{
    zoomBy(1);
}

void FrmMainWindow::mnuZoomOut_Click()
{
    zoomBy(-1);
}

void FrmMainWindow::mnuResetZoom_Click()
{
    zoomBy(-m_zoom);
}
