#include "startuptrace.h"

#include "memory.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>
#include <sys/resource.h>

namespace {

class FirstPaintProbe : public QObject
{
public:
    FirstPaintProbe(QWidget *window)
        : QObject(window)
        , m_window(window)
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (event->type() == QEvent::Paint && !m_seen && widget && widget->window() == m_window) {
            m_seen = true;
            // Report once the paint event has been handled in full.
            QTimer::singleShot(0, this, [] {
                timespec ts{};
                clock_gettime(CLOCK_MONOTONIC, &ts);
                rusage usage{};
                getrusage(RUSAGE_SELF, &usage);
                std::fprintf(stderr,
                             "vyx-startup first-paint-ns %lld rss-kb %ld minor-faults %ld\n",
                             static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec,
                             residentMemoryKb(), usage.ru_minflt);
                std::fflush(stderr);
                QCoreApplication::exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget *m_window;
    bool m_seen = false;
};

} // namespace

void installStartupTrace(QWidget *window)
{
    if (qEnvironmentVariableIsEmpty("VYX_STARTUP_TRACE") || !window)
        return;
    qApp->installEventFilter(new FirstPaintProbe(window));
}
