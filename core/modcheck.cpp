#include "modcheck.h"

#include "definitionsyntax.h"
#include "filesearch.h"
#include "textcodec.h"
#include "textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

using Severity = CheckProblem::Severity;

// Which file a path leads to, links followed: its device and inode, so that
// two names of one file count as one. A path that cannot be looked at keys
// on itself, in a device number no file system uses.
struct FileKey
{
    quint64 device = 0;
    quint64 inode = 0;
    QString path; // only when the path could not be looked at
    friend bool operator==(const FileKey &a, const FileKey &b)
    {
        return a.device == b.device && a.inode == b.inode && a.path == b.path;
    }
};
size_t qHash(const FileKey &key, size_t seed = 0)
{
    return qHashMulti(seed, key.device, key.inode, key.path);
}

enum class Lookup { Missing, Found };

Lookup lookUp(const QString &path, FileKey *key)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        *key = {quint64(st.st_dev), quint64(st.st_ino), QString()};
        return Lookup::Found;
    }
    if (errno == ENOENT || errno == ENOTDIR)
        return Lookup::Missing;
    *key = {~quint64(0), 0, path};
    return Lookup::Found;
}

// An #include line as the check reads it.
struct IncludeRef
{
    int line = 0;
    int column = 0;
    QString name; // as written
    FileKey target; // when looked up
    // The file's node: from the start for a file the walk listed (no need
    // to look it up), once merged for the others; -1 for none.
    qsizetype node = -1;
};

struct Node
{
    QString display;
    QString path; // absolute
    QString folder() const { return path.left(path.lastIndexOf(u'/')); }
    FileKey key;
    QList<CheckProblem> problems;
    std::vector<IncludeRef> includes; // those whose file is there, in line order
    bool duplicate = false; // another name of a file checked already
};

void add(Node &node, int line, int column, Severity severity, const QString &message)
{
    CheckProblem problem;
    problem.line = line;
    problem.column = column;
    problem.severity = severity;
    problem.message = message;
    node.problems.append(problem);
}

bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t';
}

// The name of an include as it would have to be written to reach a file
// that exists with other letter case, or an empty string when none does.
// The include's own separators and "." and ".." parts stay as written.
QString otherLetterCase(const QString &folder, const QString &name)
{
    QString dir = QDir::fromNativeSeparators(name).startsWith(u'/') ? QStringLiteral("/") : folder;
    QString written;
    bool changed = false;
    qsizetype start = 0;
    while (start <= name.size()) {
        qsizetype end = start;
        while (end < name.size() && name[end] != u'/' && name[end] != u'\\')
            ++end;
        const QString part = name.mid(start, end - start);
        QString actual = part;
        if (!part.isEmpty() && part != u"." && part != u".."
            && !QFileInfo::exists(dir + u'/' + part)) {
            actual.clear();
            const QStringList entries = QDir(dir).entryList(
                QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
            for (const QString &entry : entries) {
                if (entry.compare(part, Qt::CaseInsensitive) == 0) {
                    actual = entry;
                    changed = true;
                    break;
                }
            }
            if (actual.isEmpty())
                return {};
        }
        if (!part.isEmpty())
            dir = QDir::cleanPath(dir + u'/' + actual);
        written += actual;
        if (end < name.size())
            written += name[end];
        start = end + 1;
    }
    return changed ? written : QString();
}

// Reads one file and checks what it holds on its own: whether it opens, its
// bytes, and its include lines, each looked up. Runs on any thread; the
// cache of looked-up paths is that thread's own.
class FileChecker
{
public:
    // walked: the files listed by the walk, by absolute path, and their nodes.
    FileChecker(const ModCheckOptions &options, const QHash<QString, size_t> &walked)
        : m_options(options)
        , m_walked(walked)
        , m_document(options.hasDocument && !options.documentPath.isEmpty()
                         ? QDir::cleanPath(QFileInfo(options.documentPath).absoluteFilePath())
                         : QString())
    {
    }

    void check(Node &node)
    {
        m_seen.clear();
        m_longLine = 0;
        m_folder = node.folder();
        // An untitled document is the one node without a path.
        if (m_options.hasDocument && node.path == m_document) {
            lookUp(node.path, &node.key);
            checkText(node, m_options.documentText, m_options.documentEncoding);
            return;
        }
        TextFile file;
        if (!file.read(node.path, m_options.maxFileSize)) {
            lookUp(node.path, &node.key);
            add(node, 1, 1, Severity::Error, QStringLiteral("cannot open: ") + file.errorString());
            return;
        }
        node.key = {file.identity().device, file.identity().inode, QString()};
        const QByteArray &bytes = file.bytes();
        const bool hasZero = !bytes.isEmpty() && memchr(bytes.constData(), 0, size_t(bytes.size()));
        // Plain ASCII without zero bytes is what detectTextFormat would call
        // Auto; telling it word by word spares most files its slower look.
        const TextFormat format = !hasZero && isAscii(bytes) ? TextFormat{TextEncoding::Auto, false}
                                                             : detectTextFormat(bytes);
        const bool utf16
            = format.encoding == TextEncoding::Utf16LE || format.encoding == TextEncoding::Utf16BE;
        // Find in Files' rule: zero bytes outside UTF-16 make a binary file.
        if (!utf16 && hasZero) {
            add(node, 1, 1, Severity::Warning, QStringLiteral("binary file"));
            return;
        }
        if (format.encoding == TextEncoding::Auto || format.encoding == TextEncoding::Windows1252) {
            checkBytes(node, bytes, format.encoding == TextEncoding::Auto);
        } else {
            QString text;
            TextPieces(bytes, format, bytes.size() + 16).next(&text);
            file.releaseBytes();
            checkText(node, text, encodingName(format.encoding));
        }
        if (m_longLine)
            add(node, m_longLine, 1, Severity::Error,
                QStringLiteral("cannot open: ") + lineTooLongReason());
    }

private:
    // ASCII and Windows-1252 have one character per byte and no byte that is
    // not text: the lines are found in the bytes, and only include lines
    // are decoded. Most mods are plain ASCII, so this is the common case.
    void checkBytes(Node &node, const QByteArray &bytes, bool ascii)
    {
        const char *const data = bytes.constData();
        const qsizetype size = bytes.size();
        int line = 1;
        for (qsizetype start = 0; start < size; ++line) {
            // memchr is far faster than a loop over the bytes: look for LF,
            // then for a CR alone before it.
            const char *lf
                = static_cast<const char *>(memchr(data + start, '\n', size_t(size - start)));
            qsizetype end = lf ? lf - data : size;
            qsizetype next = lf ? end + 1 : size;
            const char *cr
                = static_cast<const char *>(memchr(data + start, '\r', size_t(end - start)));
            if (cr && !(lf && cr == lf - 1)) { // a CR alone ends the line
                end = cr - data;
                next = end + 1;
            } else if (cr) { // CR LF
                end = cr - data;
            }
            if (end - start > maxTextLineLength && !m_longLine)
                m_longLine = line;
            qsizetype first = start;
            while (first < end && (data[first] == ' ' || data[first] == '\t'))
                ++first;
            if (first < end && data[first] == '#') {
                const QByteArrayView view(data + start, end - start);
                checkLine(node, ascii ? QString::fromLatin1(view) : fromWindows1252(view), line);
            }
            start = next;
        }
    }

    // Other encodings are decoded whole; a kept byte (a byte that is not
    // text in the encoding) shows in the text as a lone surrogate.
    void checkText(Node &node, const QString &text, const QString &encoding)
    {
        const qsizetype size = text.size();
        const QChar *const data = text.constData();
        int line = 1;
        int keptBytes = 0;
        int keptLine = 0;
        qsizetype start = 0;
        for (qsizetype i = 0; i <= size; ++i) {
            const QChar c = i < size ? data[i] : QChar(u'\n');
            if (c.isLowSurrogate() && !(i > 0 && data[i - 1].isHighSurrogate())) {
                ++keptBytes;
                if (!keptLine)
                    keptLine = line;
                continue;
            }
            if (c != u'\n' && c != u'\r')
                continue;
            if (i - start > maxTextLineLength && !m_longLine)
                m_longLine = line;
            const QStringView view(data + start, i - start);
            const QStringView trimmed = view.trimmed();
            if (!trimmed.isEmpty() && trimmed.front() == u'#')
                checkLine(node, view.toString(), line);
            if (c == u'\r' && i + 1 < size && data[i + 1] == u'\n')
                ++i;
            start = i + 1;
            ++line;
        }
        if (keptBytes)
            add(node, keptLine, 1, Severity::Warning,
                QStringLiteral("%1 %2 not %3 text")
                    .arg(keptBytes)
                    .arg(keptBytes == 1 ? QStringLiteral("byte that is")
                                        : QStringLiteral("bytes that are"),
                         encoding));
    }

    void checkLine(Node &node, const QString &text, int line)
    {
        qsizetype at = 0;
        while (at < text.size() && isSpace(text[at]))
            ++at;
        static const QString directive = QStringLiteral("#include");
        if (!QStringView(text).mid(at).startsWith(directive))
            return;
        at += directive.size();
        if (at < text.size() && DefinitionSyntax::isWordChar(text[at]))
            return; // another directive
        const DefinitionSyntax::Include include = DefinitionSyntax::include(text);
        if (!include.isValid()) {
            while (at < text.size() && isSpace(text[at]))
                ++at;
            add(node, line, int(at) + 1, Severity::Error, QStringLiteral("malformed include"));
            return;
        }
        if (node.path.isEmpty())
            return; // an untitled document: its includes lead nowhere yet
        const int column = include.start + 1;
        const QString path = DefinitionSyntax::resolveIncludeIn(m_folder, include.name);
        // A file the walk listed is there: most includes of a mod end here.
        if (const auto walked = m_walked.constFind(path); walked != m_walked.cend()) {
            const FileKey key{0, 0, path};
            if (!m_seen.contains(key)) {
                m_seen.insert(key);
                node.includes.push_back({line, column, include.name, {}, qsizetype(*walked)});
                return;
            }
            add(node, line, column, Severity::Warning,
                QStringLiteral("\"%1\" is included twice").arg(include.name));
            return;
        }
        auto cached = m_lookups.constFind(path);
        if (cached == m_lookups.cend()) {
            FileKey key;
            const bool found = lookUp(path, &key) == Lookup::Found;
            cached = m_lookups.insert(path, found ? std::optional<FileKey>(key) : std::nullopt);
        }
        if (!cached->has_value()) {
            QString message = QStringLiteral("missing include \"%1\"").arg(include.name);
            const QString actual = otherLetterCase(m_folder, include.name);
            if (!actual.isEmpty())
                message += QStringLiteral(" (found \"%1\" with other letter case)").arg(actual);
            add(node, line, column, Severity::Error, message);
            return;
        }
        const FileKey &key = **cached;
        if (m_seen.contains(key)) {
            add(node, line, column, Severity::Warning,
                QStringLiteral("\"%1\" is included twice").arg(include.name));
            return;
        }
        m_seen.insert(key);
        node.includes.push_back({line, column, include.name, key});
    }

    const ModCheckOptions &m_options;
    const QHash<QString, size_t> &m_walked;
    const QString m_document; // the document's file, absolute
    QHash<QString, std::optional<FileKey>> m_lookups;
    QSet<FileKey> m_seen; // the files included by the file being checked
    int m_longLine = 0; // the first line too long to open, or 0
    QString m_folder; // of the file being checked
};

class ModChecker
{
public:
    ModChecker(const ModCheckOptions &options, const std::atomic<bool> &cancel,
               const std::function<void(int)> &progress)
        : m_options(options)
        , m_cancel(cancel)
        , m_progress(progress)
    {
    }

    ModCheckResult run()
    {
        std::vector<size_t> batch;
        if (m_options.hasDocument && m_options.paths.isEmpty()) {
            const QString &path = m_options.documentPath;
            batch.push_back(path.isEmpty() ? newNode(QStringLiteral("(untitled)"), QString())
                                           : newNode(path, QFileInfo(path).absoluteFilePath()));
        }
        for (const QString &given : m_options.paths) {
            const QFileInfo info(given);
            if (info.isDir()) {
                // Walked by its absolute path, which is then shown as given.
                const QString absolute = QDir::cleanPath(info.absoluteFilePath());
                m_roots.append({absolute, given});
                FolderWalkSkips skips;
                walkFolder(
                    absolute, {QStringLiteral("*.vyx")}, true,
                    [&](const QString &path, qint64) {
                        batch.push_back(newNode(displayName(path), path));
                        m_walked.insert(m_nodes.back().path, batch.back());
                        return true;
                    },
                    &skips, [this] { return m_cancel.load(std::memory_order_relaxed); });
                for (const QString &folder : std::as_const(skips.unreadableFolders)) {
                    Node &node = m_nodes[newNode(displayName(folder), folder)];
                    node.key.path = node.path;
                    add(node, 1, 1, Severity::Error,
                        QStringLiteral("cannot open: ")
                            + QObject::tr("The folder cannot be read."));
                }
            } else {
                batch.push_back(newNode(given, info.absoluteFilePath()));
            }
        }
        // Rounds: the files named, then the files their includes reach that
        // were not checked yet, and so on.
        while (!batch.empty() && !m_cancel.load()) {
            checkAll(batch);
            batch = merge(batch);
        }
        ModCheckResult result;
        result.cancelled = m_cancel.load();
        if (!result.cancelled)
            findCycles();
        for (Node &node : m_nodes) {
            if (node.duplicate)
                continue;
            ++result.files;
            for (CheckProblem &problem : node.problems) {
                problem.path = node.display;
                problem.filePath = node.path;
                ++(problem.severity == Severity::Error ? result.errors : result.warnings);
                result.problems.append(std::move(problem));
            }
        }
        std::stable_sort(result.problems.begin(), result.problems.end(),
                         [](const CheckProblem &a, const CheckProblem &b) {
                             if (a.path != b.path)
                                 return a.path < b.path;
                             return a.line != b.line ? a.line < b.line : a.column < b.column;
                         });
        return result;
    }

private:
    size_t newNode(const QString &display, const QString &path)
    {
        Node node;
        node.display = display;
        node.path = QDir::cleanPath(path); // costs little on a clean path
        m_nodes.push_back(std::move(node));
        return m_nodes.size() - 1;
    }

    // Checks the files of batch, on as many threads as help.
    void checkAll(const std::vector<size_t> &batch)
    {
        const int cores = m_options.threads > 0 ? m_options.threads : QThread::idealThreadCount();
        const size_t threads = std::min<size_t>(std::max(cores, 1), batch.size());
        std::atomic<size_t> next{0};
        const auto work = [&] {
            FileChecker checker(m_options, m_walked);
            for (size_t i = next++; i < batch.size(); i = next++) {
                if (m_cancel.load(std::memory_order_relaxed))
                    return;
                checker.check(m_nodes[batch[i]]);
                const int done = ++m_checked;
                if (m_progress && done % 64 == 0)
                    m_progress(done);
            }
        };
        std::vector<std::thread> helpers;
        for (size_t i = 1; i < threads; ++i)
            helpers.emplace_back(work);
        work();
        for (std::thread &helper : helpers)
            helper.join();
        if (m_progress)
            m_progress(m_checked.load());
    }

    // Takes the files of a checked batch in, each file once whatever its
    // names, and returns the files their includes reach that are new.
    std::vector<size_t> merge(const std::vector<size_t> &batch)
    {
        for (size_t i : batch) {
            Node &node = m_nodes[i];
            const auto known = m_index.constFind(node.key);
            if (known == m_index.cend())
                m_index.insert(node.key, i);
            else if (*known != i)
                node.duplicate = true;
        }
        std::vector<size_t> reached;
        for (size_t i : batch) {
            if (m_nodes[i].duplicate || !m_options.followIncludes)
                continue;
            // Indexes, not references: newNode may move the nodes.
            for (size_t k = 0; k < m_nodes[i].includes.size(); ++k) {
                IncludeRef &include = m_nodes[i].includes[k];
                if (include.node >= 0) {
                    // A file walked, checked in the first round: the node
                    // that stands for it, whatever name led there.
                    include.node = qsizetype(m_index.value(m_nodes[include.node].key));
                    continue;
                }
                if (const auto known = m_index.constFind(include.target); known != m_index.cend()) {
                    include.node = qsizetype(*known);
                    continue;
                }
                const QString path
                    = DefinitionSyntax::resolveIncludeIn(m_nodes[i].folder(), include.name);
                const FileKey target = include.target;
                const size_t added = newNode(displayName(path), path);
                m_nodes[added].key = target;
                m_index.insert(target, added);
                m_nodes[i].includes[k].node = qsizetype(added);
                reached.push_back(added);
            }
        }
        return reached;
    }

    // Named as the command line reached it: below a folder given, that
    // folder as given joined with the path below it; otherwise absolute.
    QString displayName(const QString &path) const
    {
        for (const auto &[absolute, given] : m_roots) {
            if (path == absolute)
                return given;
            const qsizetype length
                = absolute.endsWith(u'/') ? absolute.size() : absolute.size() + 1;
            if (path.startsWith(absolute) && path.size() > length && path[length - 1] == u'/') {
                const QString below = path.mid(length);
                return given.endsWith(u'/') ? given + below : given + u'/' + below;
            }
        }
        return path;
    }

    // Depth first from the checked files in path order, includes in line
    // order: an include that leads back to a file on the way down closes a
    // cycle. Each include is followed once, so each cycle is reported once.
    void findCycles()
    {
        enum State : char { Unvisited, OnPath, Done };
        std::vector<State> state(m_nodes.size(), Unvisited);
        std::vector<size_t> order;
        for (size_t i = 0; i < m_nodes.size(); ++i)
            if (!m_nodes[i].duplicate)
                order.push_back(i);
        std::stable_sort(order.begin(), order.end(), [this](size_t a, size_t b) {
            return m_nodes[a].display < m_nodes[b].display;
        });
        struct Step
        {
            size_t node;
            size_t include;
        };
        std::vector<Step> path;
        for (size_t root : order) {
            if (state[root] != Unvisited)
                continue;
            state[root] = OnPath;
            path.push_back({root, 0});
            while (!path.empty()) {
                Step &step = path.back();
                Node &node = m_nodes[step.node];
                if (step.include == node.includes.size()) {
                    state[step.node] = Done;
                    path.pop_back();
                    continue;
                }
                const IncludeRef &include = node.includes[step.include++];
                if (include.node < 0)
                    continue; // a file not followed
                const size_t target = size_t(include.node);
                if (state[target] == Unvisited) {
                    state[target] = OnPath;
                    path.push_back({target, 0});
                } else if (state[target] == OnPath) {
                    QStringList names;
                    auto from = std::find_if(path.begin(), path.end(),
                                             [target](const Step &s) { return s.node == target; });
                    for (; from != path.end(); ++from)
                        names.append(m_nodes[from->node].display);
                    names.append(m_nodes[target].display);
                    add(node, include.line, include.column, Severity::Warning,
                        QStringLiteral("include cycle: ") + names.join(QStringLiteral(" -> ")));
                }
            }
        }
    }

    const ModCheckOptions &m_options;
    const std::atomic<bool> &m_cancel;
    const std::function<void(int)> &m_progress;
    std::vector<Node> m_nodes;
    QHash<FileKey, size_t> m_index;
    QHash<QString, size_t> m_walked; // see FileChecker
    QList<std::pair<QString, QString>> m_roots; // absolute folder, as given
    std::atomic<int> m_checked{0};
};

} // namespace

ModCheckResult checkMod(const ModCheckOptions &options, const std::atomic<bool> &cancel,
                        const std::function<void(int filesChecked)> &progress)
{
    return ModChecker(options, cancel, progress).run();
}

QString problemLine(const CheckProblem &problem)
{
    // In one pass: a path or message holding "%1" stays as it is.
    return QStringLiteral("%1:%2:%3: %4: %5")
        .arg(problem.path, QString::number(problem.line), QString::number(problem.column),
             problem.severity == CheckProblem::Severity::Error ? QStringLiteral("error")
                                                               : QStringLiteral("warning"),
             problem.message);
}

QString checkSummaryLine(const ModCheckResult &result)
{
    const auto count = [](int n, const char *one, const char *many) {
        return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
    };
    return QStringLiteral("%1, %2 in %3")
        .arg(count(result.errors, "error", "errors"), count(result.warnings, "warning", "warnings"),
             count(result.files, "file", "files"));
}
