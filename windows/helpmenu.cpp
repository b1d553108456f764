#include "helpmenu.h"

#include "filecommands.h"
#include "frmabout.h"
#include "frmhowtouse.h"
#include "frmmain.h"

#include <QAction>

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
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    const auto wire = [] {
        FrmMainWindow *w = frmMain().win();
        QObject::connect(w->mnuHowToUse, &QAction::triggered, w, [] { mnuHowToUse_Click(); });
        QObject::connect(w->mnuAbout, &QAction::triggered, w, [] { mnuAbout_Click(); });
    };
    QObject::connect(&frmMain(), &Form::loaded, &frmMain(), wire);
    if (frmMain().isLoaded())
        wire();
}
