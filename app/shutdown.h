#pragma once

#include <functional>

// How the program ends when the session ends it rather than the user.
// SIGTERM and SIGHUP (a logout, a shutdown, kill) run keepWork on the GUI
// thread, then end the program at once, asking nothing: there is nobody to
// answer. When the display is lost, Qt ends the program with exit(); keepWork
// runs then too, as far as the program still can. SIGXFSZ is ignored, so
// that a write past the file-size limit fails like any other write instead
// of killing the editor with its unsaved work.
void installShutdownHandlers(std::function<void()> keepWork);
// True once a signal asked the program to end: one that came while a
// question at start ran its own event loop ends the program before the main one.
bool shutdownRequested();
// The event loop has returned: the program ends as usual from here on.
void uninstallShutdownHandlers();
