#pragma once

class QWidget;

// When VYX_STARTUP_TRACE is set, prints the monotonic time of the window's
// first paint and the process's resident memory, then ends the program.
// The benchmark uses it to measure start-up from outside the process.
void installStartupTrace(QWidget *window);
