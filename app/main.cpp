#include "commandline.h"
#include "frmmain.h"
#include "helpmenu.h"
#include "memory.h"
#include "shutdown.h"
#include "startuptrace.h"
#include "version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

// --help and --version only print: answer them without a display, so that
// they also work on a terminal without a desktop. Anything else, including
// the toolkit's own options (-platform...), is parsed once QApplication has
// taken out what belongs to it.
bool answersOnTerminal(int argc, char *argv[])
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    describeCommandLine(parser);
    return parser.parse(args)
        && (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("version")));
}

} // namespace

int main(int argc, char *argv[])
{
    // The View settings live in ~/.config/vyx-editor/.
    QCoreApplication::setOrganizationName(QStringLiteral("vyx-editor"));
    QCoreApplication::setApplicationName(QStringLiteral(VYX_PRODUCT_NAME));
    QCoreApplication::setApplicationVersion(QStringLiteral(VYX_PRODUCT_VERSION));

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // The check of a mod runs on any terminal or build machine: no
    // application object, no display.
    if (const int status = checkFromCommandLine(arguments); status >= 0)
        return status;

    if (answersOnTerminal(argc, argv)) {
        QCoreApplication app(argc, argv);
        QCommandLineParser parser;
        describeCommandLine(parser);
        parser.process(app); // prints and exits
        return 0;
    }

    tuneAllocatorForLargeDocuments();
    QApplication app(argc, argv);
    // No application display name: on X11 Qt would append it to every window
    // title, and the About window's caption must stand as it is.
    QApplication::setDesktopFileName(QStringLiteral("vyx-editor"));

    QCommandLineParser parser;
    describeCommandLine(parser);
    parser.process(app);
    FileToOpen file;
    QString error;
    if (!fileToOpen(parser, &file, &error)) {
        std::fputs(
            qPrintable(QStringLiteral("%1: %2\n%3")
                           .arg(QCoreApplication::applicationName(), error, parser.helpText())),
            stderr);
        return 1;
    }

    installHelpMenu();
    frmMain().load();
    // Ended by the session, the editor keeps its unsaved work in its journal
    // first, for the next start to offer.
    installShutdownHandlers([] {
        if (FrmMainWindow *window = frmMain().win())
            window->keepUnsavedWork();
    });
    // Work that a crash or a kill left unsaved is offered before the editor
    // takes input; a recovered document is not opened over.
    const bool recovered = frmMain().win()->offerRecovery();
    if (shutdownRequested())
        return 0;
    frmMain().show();
    installStartupTrace(frmMain().window());
    // A file named on the command line opens as if chosen in the open
    // dialog; if it cannot be read, the user is told over an empty editor.
    if (!file.path.isEmpty() && !recovered)
        frmMain().win()->openDocument(file.path, file.line);
    const int status = QApplication::exec();
    uninstallShutdownHandlers();
    return status;
}
