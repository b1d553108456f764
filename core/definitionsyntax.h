#pragma once

#include <QList>
#include <QString>
#include <QStringView>

// What the parts of one line of a definition file are. The format is line by
// line: nothing carries over from one line to the next, so any line can be
// read on its own, which lets the editor look only at the lines it shows.
namespace DefinitionSyntax {

enum class Kind {
    Comment, // "//" to the end of the line
    Separator, // a line that is "//" and asterisks only: sets one item apart from the next
    Directive, // "#" and the word after it, at the start of the line
    IncludeName, // the quoted file name of an include line, quotes included
    Number,
    String, // quoted text outside comments, to its closing quote or the line's end
};

struct Span
{
    int start;
    int length;
    Kind kind;
    friend bool operator==(const Span &a, const Span &b)
    {
        return a.start == b.start && a.length == b.length && a.kind == b.kind;
    }
};

// The spans of a line, in order and without overlaps; text outside them is
// plain. The line holds no line end.
QList<Span> spans(QStringView line);

struct Include
{
    int start = -1; // the span of the quoted name, quotes included
    int length = 0;
    QString name; // as written between the quotes
    bool isValid() const { return start >= 0; }
};

// True when the line is an item separator: "//" and one or more asterisks,
// blanks around them aside.
bool isItemSeparator(QStringView line);
// A letter, a digit or an underscore: what names and numbers are made of.
bool isWordChar(QChar c);

// The include of an include line ('#include "NAME"'), or an invalid one.
Include include(QStringView line);

// Where an include written in the file at documentPath points: the name is
// taken relative to that file's folder, with '\' read as a folder separator
// as the game's own files write it.
QString resolveInclude(const QString &documentPath, const QString &name);
// The same for a document in the absolute folder given, for callers that
// resolve many includes of one file.
QString resolveIncludeIn(const QString &folder, const QString &name);

} // namespace DefinitionSyntax
