#include "filesearch.h"
#include "workerrun.h"

#include "definitionsyntax.h"
#include "textcodec.h"
#include "textfile.h"
#include "textsearch.h"

#include <QByteArrayMatcher>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStringMatcher>
#include <QThread>

#include <algorithm>
#include <climits>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>
#include <vector>

namespace {

bool isLineEnd(QChar c)
{
    return c == u'\n' || c == u'\r';
}

// Calls line for each line of text (CR, LF and CR LF end lines), without its end.
template<typename F>
void forEachLine(QStringView text, F line)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isLineEnd(text[i]))
            continue;
        line(text.mid(start, i - start));
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        line(text.mid(start));
}

class Searcher
{
public:
    Searcher(const FileSearchOptions &options, const std::atomic<bool> &cancel,
             const std::function<void(const QList<FileSearchHit> &, int)> &report)
        : m_options(options)
        , m_cancel(cancel)
        , m_report(report)
        , m_matcher(options.text, options.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive)
    {
        // Where the text is ASCII and its case matters, a file in a one-byte
        // encoding (or UTF-8) can only match if its bytes hold the text's
        // bytes: a quick look at the bytes spares decoding most files.
        bool ascii = true;
        for (const QChar c : options.text)
            ascii = ascii && c.unicode() < 0x80;
        if (ascii && options.matchCase)
            m_bytes.setPattern(options.text.toLatin1());
        m_prefilter = ascii && options.matchCase;
        if (!options.documentPath.isEmpty())
            m_documentFile = QFileInfo(options.documentPath).canonicalFilePath();
    }

    FileSearchSummary run()
    {
        const QString &text = m_options.text;
        if (text.isEmpty() || text.contains(u'\n') || text.contains(u'\r'))
            return m_summary;
        if (m_options.scope == FileSearchOptions::Scope::Folder)
            searchFolder();
        else
            searchIncludes();
        m_summary.cancelled = m_cancel.load();
        return m_summary;
    }

private:
    bool stopped() const { return m_cancel.load(std::memory_order_relaxed) || m_summary.truncated; }

    void searchFolder()
    {
        const QString root = QDir::cleanPath(QDir(m_options.folder).absolutePath());
        m_base = QDir(root);
        FolderWalkSkips skips;
        walkFolder(
            root, splitFilePatterns(m_options.patterns), m_options.subfolders,
            [this](const QString &path, qint64 size) {
                searchFile(path, size, nullptr);
                return true;
            },
            &skips, [this] { return stopped(); });
        m_summary.unreadableFolders += skips.unreadableFolders;
        m_summary.undecodableNames += skips.undecodableNames;
        m_summary.pathsTooLong += skips.pathsTooLong;
    }

    void searchIncludes()
    {
        const QString &document = m_options.documentPath;
        m_base = document.isEmpty() ? QDir() : QFileInfo(document).absoluteDir();
        QSet<QString> seen;
        if (!m_documentFile.isEmpty())
            seen.insert(m_documentFile);
        // Depth first in the order of the include lines, as the game reads
        // them; each file once, so that files including each other end.
        std::vector<QString> pending;
        const auto follow = [&](const QString &from, QStringView text) {
            QStringList targets;
            forEachLine(text, [&](QStringView line) {
                const DefinitionSyntax::Include include = DefinitionSyntax::include(line);
                if (!include.isValid())
                    return;
                const QString path = DefinitionSyntax::resolveInclude(from, include.name);
                if (path.isEmpty())
                    return;
                const QString canonical = QFileInfo(path).canonicalFilePath();
                const QString key = canonical.isEmpty() ? path : canonical;
                if (seen.contains(key))
                    return;
                seen.insert(key);
                targets.append(path);
            });
            pending.insert(pending.end(), targets.rbegin(), targets.rend());
        };
        searchText(document.isEmpty() ? QString() : QFileInfo(document).absoluteFilePath(),
                   m_options.documentText);
        follow(document, m_options.documentText);
        while (!pending.empty() && !stopped()) {
            const QString path = pending.back();
            pending.pop_back();
            const QFileInfo info(path);
            if (!info.exists()) {
                ++m_summary.missingFiles;
                continue;
            }
            QString text;
            if (searchFile(path, info.size(), &text))
                follow(path, text);
        }
    }

    // Searches one file; with text, decodes it whole even without a match
    // and hands the text back. False when the file was skipped.
    bool searchFile(const QString &path, qint64 size, QString *text)
    {
        if (!m_documentFile.isEmpty() && QFileInfo(path).fileName() == documentFileName()
            && QFileInfo(path).canonicalFilePath() == m_documentFile) {
            searchText(path, m_options.documentText);
            if (text)
                *text = m_options.documentText;
            return true;
        }
        if (size > m_options.maxFileSize) {
            ++m_summary.tooLargeSkipped;
            return false;
        }
        TextFile file;
        if (!file.read(path, m_options.maxFileSize)) {
            ++m_summary.unreadableFiles;
            return false;
        }
        const QByteArray &bytes = file.bytes();
        const bool utf16Bom = bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
        const bool hasZero = !bytes.isEmpty() && memchr(bytes.constData(), 0, size_t(bytes.size()));
        if (!utf16Bom && !hasZero && m_prefilter && !text && m_bytes.indexIn(bytes) < 0) {
            finishFile({});
            return true;
        }
        const TextFormat format = detectTextFormat(bytes);
        const bool utf16
            = format.encoding == TextEncoding::Utf16LE || format.encoding == TextEncoding::Utf16BE;
        if (hasZero && !utf16) {
            ++m_summary.binarySkipped;
            return false;
        }
        QString decoded;
        TextPieces pieces(bytes, format, bytes.size());
        pieces.next(&decoded);
        file.releaseBytes();
        searchText(path, decoded);
        if (text)
            *text = std::move(decoded);
        return true;
    }

    const QString &documentFileName()
    {
        if (m_documentFileName.isNull())
            m_documentFileName = QFileInfo(m_documentFile).fileName();
        return m_documentFileName;
    }

    void searchText(const QString &path, QStringView text)
    {
        QList<FileSearchHit> hits;
        const qsizetype length = m_options.text.size();
        int line = 1;
        qsizetype lineStart = 0;
        qsizetype counted = 0; // line ends before this are counted
        for (qsizetype at = m_matcher.indexIn(text, 0); at >= 0; at = m_matcher.indexIn(text, at)) {
            // Find's own rule: whole characters, and whole words when asked.
            if (!isAcceptableMatch(text, at, length, m_options.wholeWord)) {
                ++at;
                continue;
            }
            for (; counted < at; ++counted) {
                const QChar c = text[counted];
                if (c == u'\n'
                    || (c == u'\r' && !(counted + 1 < text.size() && text[counted + 1] == u'\n'))) {
                    ++line;
                    lineStart = counted + 1;
                }
            }
            ++m_summary.matches;
            if (hits.isEmpty() || hits.last().line != line) {
                if (m_summary.matchLines >= m_options.maxLines) {
                    m_summary.truncated = true;
                    --m_summary.matches;
                    break;
                }
                ++m_summary.matchLines;
                qsizetype lineEnd = at + length;
                while (lineEnd < text.size() && !isLineEnd(text[lineEnd]))
                    ++lineEnd;
                hits.append(hitAt(path, line, text.mid(lineStart, lineEnd - lineStart),
                                  at - lineStart, length));
            }
            FileSearchHit &hit = hits.last();
            if (hit.columns.size() < FileSearchHit::maxColumns)
                hit.columns.append(int(at - lineStart));
            else
                ++hit.moreMatches;
            at += length;
        }
        if (!hits.isEmpty()) {
            const QString shown = path.isEmpty()
                ? QStringLiteral("(untitled)")
                : QDir::toNativeSeparators(m_base.relativeFilePath(path));
            for (FileSearchHit &hit : hits)
                hit.displayPath = shown;
            ++m_summary.files;
        }
        finishFile(hits);
    }

    // A hit on line, its text cut to a piece around the first match at column.
    static FileSearchHit hitAt(const QString &path, int line, QStringView lineText,
                               qsizetype column, qsizetype length)
    {
        FileSearchHit hit;
        hit.path = path;
        hit.line = line;
        hit.length = int(length);
        hit.lineLength = int(lineText.size());
        qsizetype start = 0;
        qsizetype end = lineText.size();
        if (end > FileSearchHit::maxShown) {
            // The match in the middle, as far as the line's ends allow, and
            // no surrogate pair cut in two.
            start = qBound(qsizetype(0), column - (FileSearchHit::maxShown - length) / 2,
                           end - FileSearchHit::maxShown);
            end = start + FileSearchHit::maxShown;
            if (start > 0 && lineText[start].isLowSurrogate())
                ++start;
            if (end < lineText.size() && lineText[end - 1].isHighSurrogate())
                --end;
        }
        hit.textStart = int(start);
        hit.lineText = lineText.mid(start, end - start).toString();
        return hit;
    }

    void finishFile(const QList<FileSearchHit> &hits)
    {
        ++m_summary.filesSearched;
        m_report(hits, m_summary.filesSearched);
    }

    const FileSearchOptions &m_options;
    const std::atomic<bool> &m_cancel;
    const std::function<void(const QList<FileSearchHit> &, int)> &m_report;
    QStringMatcher m_matcher;
    QByteArrayMatcher m_bytes;
    bool m_prefilter = false;
    QString m_documentFile; // canonical
    QString m_documentFileName;
    QDir m_base;
    FileSearchSummary m_summary;
};

} // namespace

namespace {

QString count(int n, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

} // namespace

QString summaryLine(const FileSearchSummary &summary)
{
    QString line = count(summary.matches, "match", "matches") + QStringLiteral(" in ")
        + count(summary.files, "file", "files");
    QStringList notes;
    if (summary.binarySkipped)
        notes << count(summary.binarySkipped, "binary file", "binary files")
                + QStringLiteral(" skipped");
    if (summary.tooLargeSkipped)
        notes << count(summary.tooLargeSkipped, "file", "files")
                + QStringLiteral(" too large skipped");
    if (summary.unreadableFiles)
        notes << count(summary.unreadableFiles, "unreadable file", "unreadable files")
                + QStringLiteral(" skipped");
    if (summary.undecodableNames)
        notes << count(summary.undecodableNames, "name", "names")
                + QStringLiteral(" not in UTF-8 skipped");
    if (summary.pathsTooLong)
        notes << count(summary.pathsTooLong, "path", "paths") + QStringLiteral(" too long skipped");
    if (summary.missingFiles)
        notes << count(summary.missingFiles, "included file", "included files")
                + QStringLiteral(" not found");
    if (!summary.unreadableFolders.isEmpty())
        notes << count(int(summary.unreadableFolders.size()), "unreadable folder",
                       "unreadable folders");
    if (summary.truncated)
        notes << QStringLiteral("stopped after %1 lines").arg(summary.matchLines);
    if (summary.cancelled)
        notes << QStringLiteral("cancelled");
    if (!notes.isEmpty())
        line += QStringLiteral(" (%1)").arg(notes.join(QStringLiteral(", ")));
    return line;
}

namespace {

struct FolderEntry
{
    QString name;
    bool folder = false;
    qint64 size = 0;
    bool undecodable = false; // its bytes are no UTF-8: name holds U+FFFD
};

// Lists a folder's files (symlinks to them too) and folders by their bytes,
// files in name order, then folders. A name whose bytes are not UTF-8 names
// nothing the editor can open, and QDir leaves it out without a word: it is
// listed as such, to be counted. Pipes, devices and sockets are never text.
bool listFolder(const QString &folder, std::vector<FolderEntry> *entries)
{
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return false;
    while (const dirent *entry = ::readdir(dir)) {
        const char *raw = entry->d_name;
        if (!std::strcmp(raw, ".") || !std::strcmp(raw, ".."))
            continue;
        struct stat info;
        if (::fstatat(::dirfd(dir), raw, &info, 0) != 0)
            continue; // a dangling link, or gone since
        const bool isFolder = S_ISDIR(info.st_mode);
        if (!isFolder && !S_ISREG(info.st_mode))
            continue;
        const QByteArray bytes(raw);
        const QString name = QFile::decodeName(bytes);
        entries->push_back(
            {name, isFolder, qint64(info.st_size), QFile::encodeName(name) != bytes});
    }
    ::closedir(dir);
    std::sort(entries->begin(), entries->end(), [](const FolderEntry &a, const FolderEntry &b) {
        if (a.folder != b.folder)
            return b.folder;
        return a.name < b.name;
    });
    return true;
}

// A path past PATH_MAX names nothing the system opens (a folder tree deeper
// than that): counted as such, not walked or read.
bool tooLong(const QString &path, FolderWalkSkips *skips)
{
    if (QFile::encodeName(path).size() < PATH_MAX)
        return false;
    ++skips->pathsTooLong;
    return true;
}

} // namespace

bool walkFolder(const QString &root, const QStringList &patterns, bool subfolders,
                const std::function<bool(const QString &path, qint64 size)> &file,
                FolderWalkSkips *skips, const std::function<bool()> &stopped)
{
    QList<QRegularExpression> wanted;
    for (const QString &pattern : patterns)
        wanted.append(QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern),
                                         QRegularExpression::CaseInsensitiveOption));
    const auto matches = [&wanted](const QString &name) {
        for (const QRegularExpression &pattern : wanted)
            if (pattern.match(name).hasMatch())
                return true;
        return false;
    };
    // Folders are walked depth first in name order. A symlink to a folder is
    // followed unless that folder (by its canonical path, which names it
    // whatever links lead there) was walked already, so a link back up the
    // tree cannot loop.
    QSet<QString> walked;
    std::vector<QString> pending{root};
    while (!pending.empty()) {
        if (stopped())
            return false;
        const QString folder = pending.back();
        pending.pop_back();
        if (tooLong(folder, skips))
            continue;
        const QFileInfo info(folder);
        const QString canonical = info.canonicalFilePath();
        if (!info.isDir() || !info.isReadable() || !info.isExecutable()) {
            skips->unreadableFolders.append(folder);
            continue;
        }
        if (walked.contains(canonical))
            continue;
        walked.insert(canonical);
        std::vector<FolderEntry> entries;
        if (!listFolder(folder, &entries)) {
            skips->unreadableFolders.append(folder);
            continue;
        }
        const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
        std::vector<QString> below;
        for (const FolderEntry &entry : entries) {
            // Asked at every entry, not only at a match: a cancel is seen
            // in a tree that holds nothing wanted.
            if (stopped())
                return false;
            if (entry.folder ? !subfolders : !matches(entry.name))
                continue;
            const QString path = prefix + entry.name;
            if (entry.undecodable)
                ++skips->undecodableNames;
            else if (entry.folder)
                below.push_back(path);
            else if (!tooLong(path, skips) && !file(path, entry.size))
                return false;
        }
        pending.insert(pending.end(), below.rbegin(), below.rend());
    }
    return true;
}

QStringList splitFilePatterns(const QString &patterns)
{
    QStringList result;
    for (const QString &pattern : patterns.split(u';', Qt::SkipEmptyParts)) {
        const QString trimmed = pattern.trimmed();
        if (!trimmed.isEmpty())
            result.append(trimmed);
    }
    if (result.isEmpty())
        result.append(QStringLiteral("*"));
    return result;
}

FileSearchSummary searchFiles(
    const FileSearchOptions &options, const std::atomic<bool> &cancel,
    const std::function<void(const QList<FileSearchHit> &, int filesSearched)> &report)
{
    return Searcher(options, cancel, report).run();
}

struct FileSearch::Run : WorkerRun
{
};

FileSearch::FileSearch(QObject *parent)
    : QObject(parent)
{
}

FileSearch::~FileSearch()
{
    m_current = 0;
    for (const auto &run : m_runs)
        *run->cancel = true;
    m_runs.clear();
}

void FileSearch::start(const FileSearchOptions &options)
{
    cancel();
    auto run = std::make_shared<Run>();
    static quint64 lastId = 0;
    run->id = ++lastId;
    m_current = run->id;
    m_running = true;
    const quint64 id = run->id;
    const std::shared_ptr<std::atomic<bool>> cancelled = run->cancel;
    run->thread.reset(QThread::create([this, options, id, cancelled] {
        // Batches go out at most every 50 ms, so that a search with many
        // hits does not flood the window with events.
        QList<FileSearchHit> batch;
        QElapsedTimer sinceSent;
        sinceSent.start();
        const auto send = [&](int filesSearched) {
            QMetaObject::invokeMethod(
                this,
                [this, id, hits = std::move(batch), filesSearched] {
                    if (id != m_current)
                        return;
                    if (!hits.isEmpty())
                        Q_EMIT found(hits);
                    Q_EMIT progress(filesSearched);
                },
                Qt::QueuedConnection);
            batch.clear();
            sinceSent.restart();
        };
        const FileSearchSummary summary = searchFiles(
            options, *cancelled, [&](const QList<FileSearchHit> &hits, int filesSearched) {
                batch.append(hits);
                if (sinceSent.elapsed() >= 50)
                    send(filesSearched);
            });
        send(summary.filesSearched);
        QMetaObject::invokeMethod(
            this,
            [this, id, summary] {
                for (qsizetype i = 0; i < m_runs.size(); ++i) {
                    if (m_runs[i]->id == id) {
                        m_runs.removeAt(i);
                        break;
                    }
                }
                if (id != m_current)
                    return;
                m_current = 0;
                m_running = false;
                Q_EMIT finished(summary);
            },
            Qt::QueuedConnection);
    }));
    run->thread->setObjectName(QStringLiteral("Find in Files"));
    m_runs.append(run);
    run->thread->start();
}

void FileSearch::cancel()
{
    for (const auto &run : m_runs)
        if (run->id == m_current)
            *run->cancel = true;
}
