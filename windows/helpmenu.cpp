#include "helpmenu.h"

#include "frmabout.h"
#include "frmhowtouse.h"
#include "frmmain.h"

#include <QPushButton>

// The help window takes the editor's place: the editor is unloaded and its
// text goes with it, so unsaved changes get their question first.
void mnuHowToUse_Click()
{
    if (!frmMain().win()->confirmDiscardChanges())
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

// Application-modal through Qt's own modality: the other windows take no
// input while it is up, and nothing waits in a nested event loop.
void mnuAbout_Click()
{
    frmAbout().load();
    frmAbout().window()->setWindowModality(Qt::ApplicationModal);
    frmAbout().show();
}

void installHelpMenu()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    // Each load of a window builds it anew: its items and buttons are
    // connected every time.
    QObject::connect(&frmMain(), &Form::loaded, &frmMain(), [] {
        FrmMainWindow *w = frmMain().win();
        QObject::connect(w, &FrmMainWindow::howToUseRequested, w, mnuHowToUse_Click);
        QObject::connect(w, &FrmMainWindow::aboutRequested, w, mnuAbout_Click);
    });
    QObject::connect(&frmHowToUse(), &Form::loaded, &frmHowToUse(), [] {
        FrmHowToUseWindow *w = frmHowToUse().win();
        QObject::connect(w->cmdBack, &QPushButton::clicked, w, cmdBack_Click);
    });
}
