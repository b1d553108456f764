#include "frmmain.h"
#include "helpmenu.h"
#include "startuptrace.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral(VYX_PRODUCT_NAME));
    QApplication::setApplicationVersion(QStringLiteral(VYX_PRODUCT_VERSION));
    // No application display name: on X11 Qt would append it to every window
    // title, and the About window's caption must stand as it is.
    QApplication::setDesktopFileName(QStringLiteral("vyx-editor"));
    // Forms decide when the program ends: when none is loaded any more.
    QApplication::setQuitOnLastWindowClosed(false);

    installHelpMenu();
    frmMain().show();
    installStartupTrace(frmMain().window());
    return QApplication::exec();
}
