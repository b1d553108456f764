#include "clipboardcommands.h"

#include "clipboard.h"
#include "frmmain.h"
#include "richtextbox.h"

#include <QAction>

namespace {

void enablePaste()
{
    if (FrmMainWindow *w = frmMain().win())
        w->mnuPaste->setEnabled(true);
}

} // namespace

// Cut and Paste are the control's own work, on its selection and caret.
void mnuCut_Click()
{
    if (RichTextBox *rtf = frmMain().rtfMain())
        rtf->cut();
    enablePaste();
}

// Copy takes the whole definition file, whatever is selected: users copy a
// file's entire content to paste it elsewhere in one go.
void mnuCopy_Click()
{
    RichTextBox *rtf = frmMain().rtfMain();
    if (!rtf)
        return;
    Clipboard::clear();
    Clipboard::setText(rtf->textWithLineEnds(QLatin1String("\n")));
    enablePaste();
}

void mnuPaste_Click()
{
    if (RichTextBox *rtf = frmMain().rtfMain())
        rtf->paste();
}

void mnuUndo_Click()
{
    if (RichTextBox *rtf = frmMain().rtfMain())
        rtf->undo();
}

void mnuRedo_Click()
{
    if (RichTextBox *rtf = frmMain().rtfMain())
        rtf->redo();
}

void mnuSelectAll_Click()
{
    if (RichTextBox *rtf = frmMain().rtfMain())
        rtf->selectAll();
}
