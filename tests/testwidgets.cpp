#include "testutil.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>

namespace {

// The editor window keeps its View settings with QSettings: every widget
// test reads and writes a test location, never the user's own.
void useTestLocations()
{
    QStandardPaths::setTestModeEnabled(true);
}
Q_CONSTRUCTOR_FUNCTION(useTestLocations)

} // namespace

namespace TestUtil {

namespace {

// The modal widgets whose answer is running, innermost last. An answer can bring up a modal
// window of its own before it returns (Enter in a file dialog asks whether to replace the file);
// once that is answered, the outer widget is still on screen, and the active modal one, until the
// first answer returns. It has its answer, so nothing may take it for a new window.
QList<QPointer<QWidget>> &answering()
{
    static QList<QPointer<QWidget>> modals;
    return modals;
}

} // namespace

bool isBeingAnswered(QWidget *modal)
{
    return answering().contains(modal);
}

void whenModalShows(std::function<void(QWidget *)> answer, int timeoutMs)
{
    auto *timer = new QTimer(qApp);
    auto *elapsed = new QElapsedTimer;
    elapsed->start();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, qApp, [timer, elapsed, answer, timeoutMs] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible() && !isBeingAnswered(modal)) {
            timer->stop();
            timer->deleteLater();
            delete elapsed;
            answering().append(modal);
            const auto answered = qScopeGuard([] { answering().removeLast(); });
            answer(modal);
            return;
        }
        if (elapsed->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            delete elapsed;
            qWarning("whenModalShows: no modal widget appeared");
        }
    });
    timer->start();
}

void flushDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace TestUtil
