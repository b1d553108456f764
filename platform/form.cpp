#include "form.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QWidget>

namespace {
int s_loadedCount = 0;
}

Form::Form(QObject *parent)
    : QObject(parent)
{
}

Form::~Form()
{
    if (m_window) {
        --s_loadedCount;
        delete m_window.data();
    }
}

int Form::loadedCount()
{
    return s_loadedCount;
}

void Form::load()
{
    if (m_window)
        return;
    QWidget *w = createWindow();
    Q_ASSERT(w);
    // The form, not Qt, decides when the window goes away.
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    w->installEventFilter(this);
    m_window = w;
    ++s_loadedCount;
    Q_EMIT loaded();
}

void Form::show()
{
    load();
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void Form::showModal()
{
    load();
    m_window->setWindowModality(Qt::ApplicationModal);
    m_window->show();
    m_window->activateWindow();
    if (!m_window)
        return;
    QEventLoop loop;
    connect(this, &Form::unloaded, &loop, &QEventLoop::quit);
    connect(RuntimeEvents::instance(), &RuntimeEvents::endRequested, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::DialogExec);
}

void Form::unload()
{
    if (!m_window)
        return;
    QWidget *w = m_window.data();
    m_window.clear();
    w->removeEventFilter(this);
    w->hide();
    // The caller may be one of this window's own handlers, still running on
    // the stack: delete the widgets once control is back in the event loop.
    w->deleteLater();
    --s_loadedCount;
    Q_EMIT unloaded();
    if (s_loadedCount == 0) {
        Q_EMIT RuntimeEvents::instance()->lastFormUnloaded();
        QCoreApplication::quit();
    }
}

void Form::setCaption(const QString &caption)
{
    if (m_window)
        m_window->setWindowTitle(caption);
}

QString Form::caption() const
{
    return m_window ? m_window->windowTitle() : QString();
}

bool Form::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Close) {
        event->ignore();
        if (queryClose())
            unload();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

RuntimeEvents *RuntimeEvents::instance()
{
    static RuntimeEvents events;
    return &events;
}

void Runtime::endProgram()
{
    Q_EMIT RuntimeEvents::instance()->endRequested();
    // Without a running event loop (a test driving the forms) there is nothing
    // to stop, and a pending exit would make every later loop return at once.
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}
