#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <functional>

// Toggle Comment on a run of lines of a definition file: decides which lines
// change and how, without touching any text.
namespace CommentToggle {

struct Change
{
    int line; // counted from the first line of the run
    int column; // where "//" goes in, or where the "//" taken out starts
    bool insert;
    friend bool operator==(const Change &a, const Change &b)
    {
        return a.line == b.line && a.column == b.column && a.insert == b.insert;
    }
};

// The changes that toggle the comments of `count` lines, each read with
// lineAt(i) (in order, twice). Blank lines and item separators stay as they
// are and have no say. When every other line starts with "//" after its
// leading blanks, each loses that first "//" (the blank after it stays);
// otherwise each gets "//" at its very start. Nothing when no line counts.
QList<Change> changes(int count, const std::function<QString(int)> &lineAt);

} // namespace CommentToggle
