#include "commenttoggle.h"

#include "definitionsyntax.h"

namespace CommentToggle {

namespace {

// The column of the "//" a commented line starts with after its leading
// blanks; -1 for a line that does not, -2 for one that has no say.
int commentColumn(QStringView line)
{
    int i = 0;
    while (i < line.size() && (line[i] == u' ' || line[i] == u'\t'))
        ++i;
    if (i == line.size())
        return -2;
    if (!line.mid(i).startsWith(u"//"))
        return -1;
    const QList<DefinitionSyntax::Span> spans = DefinitionSyntax::spans(line);
    if (spans.size() == 1 && spans.front().kind == DefinitionSyntax::Kind::Separator)
        return -2;
    return i;
}

} // namespace

QList<Change> changes(int count, const std::function<QString(int)> &lineAt)
{
    bool uncomment = true;
    bool anyCounts = false;
    for (int i = 0; i < count && uncomment; ++i) {
        const int column = commentColumn(lineAt(i));
        anyCounts = anyCounts || column != -2;
        uncomment = column != -1;
    }
    QList<Change> out;
    if (!anyCounts)
        return out;
    for (int i = 0; i < count; ++i) {
        const int column = commentColumn(lineAt(i));
        if (column == -2)
            continue;
        out.append(uncomment ? Change{i, column, false} : Change{i, 0, true});
    }
    return out;
}

} // namespace CommentToggle
