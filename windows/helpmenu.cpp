#include "helpmenu.h"

#include "frmmain.h"

#include <QAction>

void mnuHowToUse_Click() {}
void mnuAbout_Click() {}

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
