#pragma once

#include <QString>
#include <QTextCursor>

class QTextDocument;

// What a search looks for and how: the Find and Replace windows' fields. A
// line break in the text (CR LF, CR or LF) matches a line end. A match starts
// and ends between whole characters; a whole word has no letter, digit,
// underscore or combining mark right before or after it.
struct SearchQuery
{
    QString text;
    bool matchCase = false;
    bool wholeWord = false;
    bool wrapAround = true;
};

// Finds the query's next match after `from` (after its selection, if any),
// or with `backward` the nearest match that ends before it; wraps past the
// document's end or start when the query says so. Returns a cursor that
// selects the match, or a null cursor when there is none.
QTextCursor findText(QTextDocument *doc, const SearchQuery &query, const QTextCursor &from,
                     bool backward = false);

// True when `selection` is exactly a match of the query.
bool isMatch(const QTextCursor &selection, const SearchQuery &query);

// Replaces every match in the document as one undo step; returns how many.
int replaceAll(QTextDocument *doc, const SearchQuery &query, const QString &replacement);
