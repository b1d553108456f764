#include "commandline.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>

#include <limits>

namespace {

const QString lineOption = QStringLiteral("line");

// A line from 1, 0 for none. Digits beyond any line a file can have still
// name a line: past the end, which goes to the last line.
int lineNumber(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    if (!digits.match(text).hasMatch())
        return 0;
    bool ok = false;
    const qlonglong line = text.toLongLong(&ok);
    if (!ok || line > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    return int(line);
}

} // namespace

void describeCommandLine(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral("Editor for VYX object definition files."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(QCommandLineOption(
        lineOption, QStringLiteral("Put the caret at the start of line <N> of FILE."),
        QStringLiteral("N")));
    parser.addPositionalArgument(
        QStringLiteral("file"),
        QStringLiteral("The file to open; FILE:LINE opens it at that line (a file whose whole "
                       "name ends in :LINE opens as itself)."),
        QStringLiteral("[FILE]"));
}

bool fileToOpen(const QCommandLineParser &parser, FileToOpen *file, QString *error)
{
    *file = FileToOpen();
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        *error = QStringLiteral("one file at a time, please.");
        return false;
    }
    if (!files.isEmpty()) {
        file->path = files.first();
        static const QRegularExpression withLine(QStringLiteral("^(.+):([0-9]+)$"));
        const QRegularExpressionMatch match = withLine.match(file->path);
        if (match.hasMatch() && !QFileInfo::exists(file->path)) {
            file->path = match.captured(1);
            file->line = lineNumber(match.captured(2));
        }
    }
    if (parser.isSet(lineOption)) {
        file->line = lineNumber(parser.value(lineOption));
        if (file->line == 0) {
            *error = QStringLiteral("--line takes a line number from 1.");
            return false;
        }
        if (file->path.isEmpty()) {
            *error = QStringLiteral("--line needs a FILE.");
            return false;
        }
    }
    return true;
}
