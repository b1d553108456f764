#pragma once

#include <QString>
#include <functional>

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

// Reads a file's bytes; empty when it cannot be read.
QByteArray readBytes(const QString &path);
bool writeBytes(const QString &path, const QByteArray &bytes);

} // namespace TestUtil
