#pragma once

#include <QString>

class QCommandLineParser;

// The program's command line: `vyx-editor [--line N] [FILE]` and
// `vyx-editor FILE:LINE`.
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
