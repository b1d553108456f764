#include "includenames.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace IncludeNames {

QStringList definitionFiles(const QString &folder, const std::atomic<bool> &cancel)
{
    QStringList files;
    const QDir base(folder);
    // Without FollowSymlinks the iterator lists a linked folder but does not
    // go into it. Every entry is looked at here, not through a name filter,
    // so that a cancel is seen even in a big tree that holds no definition
    // file; a tree of more entries than anyone keeps beside a mod is left
    // unfinished rather than walked for minutes.
    constexpr int maxEntries = 200000;
    QDirIterator it(folder, QDir::Files | QDir::AllDirs | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    int entries = 0;
    while (it.hasNext() && files.size() < maxFiles && ++entries <= maxEntries) {
        if (cancel.load(std::memory_order_relaxed))
            return {};
        const QString path = it.next();
        if (it.fileInfo().isFile() && path.endsWith(QLatin1String(".vyx"), Qt::CaseInsensitive))
            files.append(base.relativeFilePath(path));
    }
    std::sort(files.begin(), files.end(), [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return files;
}

QChar separatorOf(const QStringList &includeNames)
{
    for (const QString &name : includeNames) {
        if (name.contains(u'\\'))
            return u'\\';
    }
    return u'/';
}

QStringList offered(const QStringList &files, const QString &documentPath, QChar separator,
                    bool withExtension)
{
    QStringList names;
    if (documentPath.isEmpty())
        return names;
    const QString self = QFileInfo(documentPath).fileName();
    for (const QString &file : files) {
        if (file == self)
            continue;
        QString name = withExtension ? file : file.chopped(4);
        name.replace(u'/', separator);
        names.append(name);
    }
    return names;
}

int nameStart(QStringView line, int column)
{
    int i = 0;
    const auto skipBlanks = [&] {
        while (i < line.size() && (line[i] == u' ' || line[i] == u'\t'))
            ++i;
    };
    skipBlanks();
    if (!line.mid(i).startsWith(u"#include"))
        return -1;
    i += 8;
    // "#includes" is another word.
    if (i < line.size() && (line[i].isLetterOrNumber() || line[i] == u'_'))
        return -1;
    skipBlanks();
    if (i >= line.size() || line[i] != u'"')
        return -1;
    const int start = i + 1;
    if (column < start || column > line.size() || line.mid(start, column - start).contains(u'"'))
        return -1;
    return start;
}

} // namespace IncludeNames
