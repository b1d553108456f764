#include "form.h"

#include "metrics.h"

#include <QCloseEvent>
#include <QWidget>

Form::Form(QObject *parent)
    : QObject(parent)
{
}

Form::~Form()
{
    delete m_window.data();
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
    Q_EMIT loaded();
}

void Form::show()
{
    load();
    if (!m_window->isVisible())
        fitOnScreen(m_window);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void Form::unload()
{
    if (!m_window)
        return;
    m_unloading = true;
    m_window->close();
    m_unloading = false;
    // A window that was never shown may not see a close event.
    if (m_window) {
        m_window->hide();
        release();
    }
}

void Form::release()
{
    if (!m_window)
        return;
    QWidget *w = m_window.data();
    m_window.clear();
    w->removeEventFilter(this);
    // The caller may be one of this window's own handlers, still running on
    // the stack: delete the widgets once control is back in the event loop.
    w->deleteLater();
    Q_EMIT unloaded();
}

void Form::setCaption(const QString &caption)
{
    // Qt shows "[*][*]" as "[*]" and drops a lone "[*]".
    if (m_window)
        m_window->setWindowTitle(
            QString(caption).replace(QLatin1String("[*]"), QLatin1String("[*][*]")));
}

QString Form::caption() const
{
    return m_window ? m_window->windowTitle().replace(QLatin1String("[*][*]"), QLatin1String("[*]"))
                    : QString();
}

bool Form::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Close) {
        if (!m_unloading && !queryClose()) {
            event->ignore();
            return true;
        }
        // The window closes as usual, so that Qt ends the program when it was
        // the last one; the form lets go of it at the same time.
        release();
        return false;
    }
    return QObject::eventFilter(watched, event);
}
