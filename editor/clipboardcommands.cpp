#include "clipboardcommands.h"

#include "clipboard.h"
#include "frmmain.h"
#include "richtextbox.h"
#include "sendmessage.h"

#include <QAction>

namespace {

// Cut and Paste are the control's own work: they reach it as window
// messages, with a zero second parameter the control ignores.
void sendToEditor(quint32 msg)
{
    RichTextBox *rtf = frmMain().rtfMain();
    if (!rtf)
        return;
    qint32 zero = 0;
    SendMessageA(rtf->hWnd(), msg, 0, &zero);
}

void enablePaste()
{
    if (FrmMainWindow *w = frmMain().win())
        w->mnuPaste->setEnabled(true);
}

} // namespace

void mnuCut_Click()
{
    sendToEditor(WM_CUT);
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
    sendToEditor(WM_PASTE);
}
