#include "commandline.h"

#include "modcheck.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <limits>

namespace {

const QString lineOption = QStringLiteral("line");
const QString checkOption = QStringLiteral("check");

int usageError(const QString &message)
{
    std::fputs(qPrintable(QStringLiteral("vyx-editor: %1\nTry 'vyx-editor --help' for more "
                                         "information.\n")
                              .arg(message)),
               stderr);
    return 2;
}

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
    parser.addOption(QCommandLineOption(
        checkOption,
        QStringLiteral("Check the files and folders given instead of FILE (folders with their "
                       "subfolders, for *.vyx files) and every file their includes reach, "
                       "without a window: print each problem as PATH:LINE:COLUMN: error: "
                       "MESSAGE (or warning:), then a count, and exit with 0 without errors, 1 "
                       "with errors, 2 for a usage error.")));
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

int checkFromCommandLine(const QStringList &arguments)
{
    const auto asksForCheck = [](const QString &argument) {
        return argument == u"--check" || argument.startsWith(u"--check=");
    };
    if (std::none_of(arguments.cbegin(), arguments.cend(), asksForCheck))
        return -1;
    QCommandLineParser parser;
    describeCommandLine(parser);
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (!parser.isSet(checkOption) || parser.isSet(QStringLiteral("help"))
        || parser.isSet(QStringLiteral("version")))
        return -1;
    if (parser.isSet(lineOption))
        return usageError(QStringLiteral("--line does not go with --check."));
    ModCheckOptions options;
    options.paths = parser.positionalArguments();
    if (options.paths.isEmpty())
        return usageError(QStringLiteral("--check needs a file or folder to check."));
    for (const QString &path : std::as_const(options.paths)) {
        if (!QFileInfo::exists(path))
            return usageError(QStringLiteral("%1: no such file or folder.").arg(path));
    }
    const std::atomic<bool> cancel{false};
    const ModCheckResult result = checkMod(options, cancel);
    QString out;
    for (const CheckProblem &problem : result.problems)
        out += problemLine(problem) + u'\n';
    out += checkSummaryLine(result) + u'\n';
    const QByteArray bytes = out.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
    return result.errors ? 1 : 0;
}
