#include "helpmenu.h"

#include "filecommands.h"
#include "frmabout.h"
#include "frmhowtouse.h"
#include "frmmain.h"

// The help window takes the editor's place: the editor is unloaded and its
// text goes with it, so unsaved changes get their question first.
void mnuHowToUse_Click()
{
    if (!confirmDiscardChanges())
        return;
    frmHowToUse().load();
    frmHowToUse().show();
    frmMain().unload();
}

// The editor comes back afresh; only its state object's fields survived.
void cmdBack_Click()
{
    frmMain().load();
    frmMain().show();
    frmHowToUse().unload();
}

void mnuAbout_Click()
{
    frmAbout().showModal();
}

void cmdClose_Click()
{
    frmAbout().unload();
}

void installHelpMenu()
{
    frmMain().setHelpCommands(mnuHowToUse_Click, mnuAbout_Click);
}
