#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

// The check of a mod: every file of the folders and files named, and every
// file their #include lines reach, read as Open reads them, for what would
// break or quietly drop items when the game loads the mod.
struct CheckProblem
{
    enum class Severity { Error, Warning };
    QString path; // as the check reached the file, like a compiler's messages
    QString filePath; // absolute
    int line = 1; // from 1
    int column = 1; // in characters from 1
    Severity severity = Severity::Error;
    QString message;
};

struct ModCheckOptions
{
    // Files and folders to check, as the user wrote them; folders with their
    // subfolders, for the files named *.vyx in any letter case.
    QStringList paths;
    // Files larger than this cannot be opened.
    qint64 maxFileSize = qint64(512) << 20;
    // False to check only the files named (or the document), looking their
    // includes up without checking the files they reach.
    bool followIncludes = true;
    // Files read at once; 0 for as many as the machine has cores.
    int threads = 0;
    // The document open in the editor, checked as it stands instead of its
    // file's bytes, with kept bytes named after its encoding. Without paths
    // it is what is checked, with what its includes reach; untitled
    // (documentPath empty), it is checked alone.
    bool hasDocument = false;
    QString documentPath;
    QString documentText;
    QString documentEncoding;
};

struct ModCheckResult
{
    QList<CheckProblem> problems; // sorted by path, then line and column
    int files = 0; // files checked
    int errors = 0;
    int warnings = 0;
    bool cancelled = false;
};

// Checks on the calling thread and threads of its own; progress gets the
// number of files checked so far now and then, from any of them. Stops
// soon after cancel turns true.
ModCheckResult checkMod(const ModCheckOptions &options, const std::atomic<bool> &cancel,
                        const std::function<void(int filesChecked)> &progress = {});

// "mod/ships.vyx:12:10: error: missing include "hull.vyx"".
QString problemLine(const CheckProblem &problem);
// "2 errors, 1 warning in 5 files".
QString checkSummaryLine(const ModCheckResult &result);
