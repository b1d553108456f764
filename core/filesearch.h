#pragma once

#include <QFileInfo>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

// What Find in Files looks for, and where.
struct FileSearchOptions
{
    enum class Scope {
        Folder, // the files of a folder whose names match the patterns
        Includes, // the open document and what its #include lines reach, once each
    };
    QString text;
    bool matchCase = false;
    bool wholeWord = false;
    Scope scope = Scope::Folder;
    QString folder;
    QString patterns = QStringLiteral("*.vyx"); // separated by ';'
    bool subfolders = true;
    // The document open in the editor: its file (empty while untitled) and
    // its text as it stands, which is searched instead of that file's bytes.
    QString documentPath;
    QString documentText;
    // Files larger than this are skipped, as Open would refuse them.
    qint64 maxFileSize = qint64(512) << 20;
    // Past this many lines with matches the search stops: a list of millions
    // of rows helps nobody and would take the memory of the machine.
    int maxLines = 100000;
};

// One line with matches. A line may be megabytes long (a file of one
// line, or longer lines than Open takes): a hit keeps only a piece of it
// around its first match, and the places of its first matches.
struct FileSearchHit
{
    static constexpr int maxShown = 500; // characters of the line kept in lineText
    static constexpr int maxColumns = 1000; // matches whose place is kept

    QString path; // absolute
    QString displayPath; // relative to the folder searched (or the document's folder)
    int line = 0; // from 1
    QString lineText; // the line without its line end, or a piece of it
    int textStart = 0; // where lineText starts in the line
    int lineLength = 0; // the whole line's
    QList<int> columns; // where the first matches start in the line, in order
    int moreMatches = 0; // matches on the line past those in columns
    int length = 0; // the length of each match
};

struct FileSearchSummary
{
    int matches = 0;
    int files = 0; // files with matches
    int matchLines = 0; // lines with matches
    int filesSearched = 0;
    int binarySkipped = 0;
    int tooLargeSkipped = 0;
    int unreadableFiles = 0;
    int missingFiles = 0; // included files that are not there
    // Names the editor cannot open either: not valid in the file system's
    // encoding (UTF-8), or whose path is longer than the system takes.
    int undecodableNames = 0;
    int pathsTooLong = 0;
    QStringList unreadableFolders;
    bool cancelled = false;
    bool truncated = false; // stopped at maxLines
};

// "5 matches in 4 files (1 binary file skipped)": what was found, and what
// was passed over and why.
QString summaryLine(const FileSearchSummary &summary);

// "*.vyx; *.txt" as its patterns; "*" when there is none.
QStringList splitFilePatterns(const QString &patterns);

// What a walk of folders passed over, to be told: folders that cannot be
// read, names whose bytes are not UTF-8 (which name nothing the editor can
// open) and paths longer than the system takes.
struct FolderWalkSkips
{
    QStringList unreadableFolders;
    int undecodableNames = 0;
    int pathsTooLong = 0;
};

// Walks the folder root, and its subfolders when asked, depth first in name
// order, files before folders, calling file(path, size) for each file (or
// link to one) whose name matches one of the patterns (letter case aside);
// pipes, devices and sockets are passed over, and a folder reached twice
// through symlinks is walked once. The folder is listed by its bytes, so
// that nothing is passed over without a word. Stops, returning false, as
// soon as file returns false or stopped() is true, which is asked before
// each entry.
bool walkFolder(const QString &root, const QStringList &patterns, bool subfolders,
                const std::function<bool(const QString &path, qint64 size)> &file,
                FolderWalkSkips *skips, const std::function<bool()> &stopped);

// Searches on the calling thread. After each file, report gets that file's
// hits in line order (often none) and how many files have been searched;
// the search stops soon after cancel turns true.
FileSearchSummary searchFiles(
    const FileSearchOptions &options, const std::atomic<bool> &cancel,
    const std::function<void(const QList<FileSearchHit> &, int filesSearched)> &report);

// searchFiles on a thread of its own. Hits arrive in batches through queued
// signals on the thread this object lives in, a few times a second at most,
// so that the window stays free to take input. cancel() stops the search
// soon; what it found is delivered, then finished() with cancelled set.
// Starting a new search or destroying the object drops the one running:
// nothing of it arrives any more.
class FileSearch : public QObject
{
    Q_OBJECT
public:
    explicit FileSearch(QObject *parent = nullptr);
    ~FileSearch() override;

    void start(const FileSearchOptions &options);
    void cancel();
    bool isRunning() const { return m_running; }

Q_SIGNALS:
    void found(const QList<FileSearchHit> &hits);
    void progress(int filesSearched);
    void finished(const FileSearchSummary &summary);

private:
    struct Run;
    QList<std::shared_ptr<Run>> m_runs; // every thread not yet ended
    quint64 m_current = 0; // the run whose results are wanted
    bool m_running = false;
};
