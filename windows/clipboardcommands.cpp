#include "clipboard.h"
#include "document.h"
#include "frmmain.h"
#include "richtextbox.h"

#include <QAction>

// Cut and Paste are the control's own work, on its selection and caret.
void FrmMainWindow::mnuCut_Click()
{
    rtfMain->cut();
    mnuPaste->setEnabled(true);
}

// Copy takes the whole definition file, whatever is selected: users copy a
// file's entire content to paste it elsewhere in one go.
void FrmMainWindow::mnuCopy_Click()
{
    Clipboard::setText(document->text(QLatin1String("\n")));
    mnuPaste->setEnabled(true);
}

void FrmMainWindow::mnuPaste_Click()
{
    rtfMain->paste();
}

void FrmMainWindow::mnuUndo_Click()
{
    rtfMain->undo();
}

void FrmMainWindow::mnuRedo_Click()
{
    rtfMain->redo();
}

void FrmMainWindow::mnuSelectAll_Click()
{
    rtfMain->selectAll();
}
