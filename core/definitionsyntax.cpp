#include "definitionsyntax.h"

#include <QDir>
#include <QFileInfo>

namespace DefinitionSyntax {

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

namespace {

bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool isSeparator(QStringView trimmed)
{
    if (trimmed.size() < 3 || !trimmed.startsWith(u"//"))
        return false;
    for (const QChar c : trimmed.mid(2)) {
        if (c != u'*')
            return false;
    }
    return true;
}

// The length of a number starting at i (an optional sign, digits, an
// optional fraction), or 0 when none starts there or it runs into a word.
int numberAt(QStringView line, int i)
{
    const int n = int(line.size());
    int j = i;
    if (j < n && (line[j] == u'-' || line[j] == u'+') && (j == 0 || !isWordChar(line[j - 1])))
        ++j;
    const int digits = j;
    while (j < n && line[j].isDigit())
        ++j;
    if (j == digits)
        return 0;
    if (j + 1 < n && line[j] == u'.' && line[j + 1].isDigit()) {
        for (j += 1; j < n && line[j].isDigit();)
            ++j;
    }
    if (j < n && (isWordChar(line[j]) || line[j] == u'.'))
        return 0;
    return j - i;
}

// The include of a line whose directive "#include" ends at i.
Include includeAfter(QStringView line, int i)
{
    const int n = int(line.size());
    while (i < n && isSpace(line[i]))
        ++i;
    if (i >= n || line[i] != u'"')
        return {};
    const int close = int(line.indexOf(u'"', i + 1));
    if (close < 0)
        return {};
    const QStringView name = line.mid(i + 1, close - i - 1);
    if (name.trimmed().isEmpty())
        return {};
    return {i, close + 1 - i, name.toString()};
}

struct Directive
{
    int start = -1;
    int end = -1;
};

Directive directiveOf(QStringView line)
{
    const int n = int(line.size());
    int i = 0;
    while (i < n && isSpace(line[i]))
        ++i;
    if (i >= n || line[i] != u'#')
        return {};
    int j = i + 1;
    while (j < n && isWordChar(line[j]))
        ++j;
    return {i, j};
}

} // namespace

Include include(QStringView line)
{
    const Directive d = directiveOf(line);
    if (d.start < 0 || line.mid(d.start, d.end - d.start) != u"#include")
        return {};
    return includeAfter(line, d.end);
}

QList<Span> spans(QStringView line)
{
    QList<Span> out;
    const int n = int(line.size());
    const QStringView trimmed = line.trimmed();
    if (isSeparator(trimmed)) {
        out.append({int(trimmed.data() - line.data()), int(trimmed.size()), Kind::Separator});
        return out;
    }
    int i = 0;
    int includeStart = -1;
    if (const Directive d = directiveOf(line); d.start >= 0) {
        out.append({d.start, d.end - d.start, Kind::Directive});
        if (line.mid(d.start, d.end - d.start) == u"#include")
            includeStart = includeAfter(line, d.end).start;
        i = d.end;
    }
    while (i < n) {
        const QChar c = line[i];
        if (c == u'/' && i + 1 < n && line[i + 1] == u'/') {
            out.append({i, n - i, Kind::Comment});
            break;
        }
        if (c == u'"') {
            const int close = int(line.indexOf(u'"', i + 1));
            const int end = close < 0 ? n : close + 1;
            out.append({i, end - i, i == includeStart ? Kind::IncludeName : Kind::String});
            i = end;
            continue;
        }
        if (const int length = numberAt(line, i)) {
            out.append({i, length, Kind::Number});
            i += length;
            continue;
        }
        // A word, or digits and dots that make no number ("1.2.3"), as a whole.
        if (isWordChar(c)) {
            while (i < n && (isWordChar(line[i]) || line[i] == u'.'))
                ++i;
            continue;
        }
        ++i;
    }
    return out;
}

bool isItemSeparator(QStringView line)
{
    return isSeparator(line.trimmed());
}

QString resolveInclude(const QString &documentPath, const QString &name)
{
    if (documentPath.isEmpty() || name.isEmpty())
        return {};
    return resolveIncludeIn(QFileInfo(documentPath).absolutePath(), name);
}

QString resolveIncludeIn(const QString &folder, const QString &name)
{
    if (name.isEmpty())
        return {};
    QString relative = name;
    relative.replace(u'\\', u'/');
    if (QDir::isAbsolutePath(relative))
        return QDir::cleanPath(relative);
    return QDir::cleanPath(folder + u'/' + relative);
}

} // namespace DefinitionSyntax
