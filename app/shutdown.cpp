#include "shutdown.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A signal handler may do next to nothing: it writes a byte that the event
// loop picks up, where anything may be done.
int g_wakeUp[2] = {-1, -1};
std::function<void()> g_keepWork;
bool g_running = false;
bool g_requested = false;

void onSignal(int)
{
    // The interrupted code may be about to read errno.
    const int saved = errno;
    const char byte = 1;
    const ssize_t written = ::write(g_wakeUp[1], &byte, 1);
    Q_UNUSED(written);
    errno = saved;
}

void keepWorkOnce()
{
    // exit() may come from another thread (a display connection's); the
    // document belongs to the GUI thread, which may still be running.
    const QCoreApplication *app = QCoreApplication::instance();
    if (!g_running || !app || QThread::currentThread() != app->thread())
        return;
    g_running = false;
    g_keepWork();
}

} // namespace

void installShutdownHandlers(std::function<void()> keepWork)
{
    std::signal(SIGXFSZ, SIG_IGN);
    g_keepWork = std::move(keepWork);
    if (::pipe2(g_wakeUp, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_wakeUp[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [notifier] {
        notifier->setEnabled(false);
        g_requested = true;
        keepWorkOnce();
        QCoreApplication::exit(0);
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr); // Ctrl+C in the terminal it was started from
    g_running = true;
    std::atexit(keepWorkOnce);
}

bool shutdownRequested()
{
    return g_requested;
}

void uninstallShutdownHandlers()
{
    g_running = false;
}
