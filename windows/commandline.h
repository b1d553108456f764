#pragma once

#include <QString>
#include <QStringList>

class QCommandLineParser;

// The program's command line: `vyx-editor [--line N] [FILE]`,
// `vyx-editor FILE:LINE` and `vyx-editor --check PATH...`.
void describeCommandLine(QCommandLineParser &parser);

// The file the command line names and the line to put the caret on (from
// 1; 0 for none).
struct FileToOpen
{
    QString path;
    int line = 0;
};
// Reads what a parsed command line asks to open. FILE:LINE takes a trailing
// colon and digits as the line, unless a file of the whole name exists;
// --line N gives the line outright. False, with *error saying why, for more
// than one file or a line that is not a number from 1.
bool fileToOpen(const QCommandLineParser &parser, FileToOpen *file, QString *error);

// `vyx-editor --check PATH...`: checks the files and folders named and
// prints their problems, without a window or a display. Returns the exit
// status (0 without errors, 1 with errors, 2 for a usage error), or -1 when
// the command line asks for no check.
int checkFromCommandLine(const QStringList &arguments);
