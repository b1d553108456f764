#pragma once

#include <QObject>
#include <QString>
#include <functional>

class Document;
class QAction;

class QWidget;

namespace TestUtil {

// Runs `answer` on the next modal widget (message box, file dialog) that
// becomes active, from the event loop the modal widget itself runs.
void whenModalShows(std::function<void(QWidget *)> answer, int timeoutMs = 5000);
// True while the answer given to modal runs: it has been answered and is on its way out.
bool isBeingAnswered(QWidget *modal);

// Deletes the windows that unloaded forms left for the event loop.
void flushDeferredDeletes();

// In the suites of the editor window: shows it and waits until it is on screen...
bool showEditor();
// ... and closes it, its changes dropped, with what it left deleted.
void closeEditor();
// The document the editor window shows, and one of its menu items by
// object name, found as a screen reader or test tool finds them.
Document *shownDocument();
QAction *menuItem(const char *name);

// Reads a file's bytes; empty when it cannot be read.
QByteArray readBytes(const QString &path);
bool writeBytes(const QString &path, const QByteArray &bytes);

// A part of a window (a menu item, a control, a window or dock it made)
// found by its object name, as screen readers and test tools find it; null
// while there is none.
template<typename T = QAction>
T *part(const QObject *window, const char *name)
{
    return window->findChild<T *>(QLatin1String(name));
}

} // namespace TestUtil
