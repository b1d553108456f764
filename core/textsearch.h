#pragma once

#include <QString>
#include <QTextCursor>

#include <functional>
#include <vector>

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

// True when the text at `at`, `length` long, can stand as a match: it starts
// and ends on whole characters (a kept byte never takes half of a surrogate
// pair), and with wholeWord no word character (a letter, digit, `_` or
// combining mark, beyond U+FFFF too) touches it on either side. `text` holds
// at least two units either side of the match where there are any.
bool isAcceptableMatch(QStringView text, qsizetype at, qsizetype length, bool wholeWord);

// Finds the query's next match after `from` (after its selection, if any),
// or with `backward` the nearest match that ends before it; wraps past the
// document's end or start when the query says so. Returns a cursor that
// selects the match, or a null cursor when there is none.
QTextCursor findText(QTextDocument *doc, const SearchQuery &query, const QTextCursor &from,
                     bool backward = false);

// True when `selection` is exactly a match of the query.
bool isMatch(const QTextCursor &selection, const SearchQuery &query);

// Replaces every match in a document as one undo step, in two phases so that
// the caller can show progress, offer to stop, and refuse a result before
// anything changes. On documents with millions of matches replacing them one
// by one takes tens of seconds and its undo as long; here each line that
// holds matches is written anew in one edit instead.
class ReplaceAll
{
public:
    // Told how far the work has come, in percent, every few tens of
    // milliseconds; returning false stops it.
    using Progress = std::function<bool(int percent)>;

    // With keepFormatting each match is replaced on its own, so that the text
    // around it keeps its formatting; that is many times slower.
    ReplaceAll(QTextDocument *doc, const SearchQuery &query, const QString &replacement,
               bool keepFormatting);

    // Finds every match and works out what the lines holding one become; the
    // document does not change. False when stopped.
    bool prepare(const Progress &progress = {});
    int count() const { return m_count; }
    // The length of the longest line among those that change, once changed.
    qsizetype longestLine() const { return m_longestLine; }

    // Makes the prepared change as one undo step. Stopped, it takes back what
    // it did and returns false: the text, its undo steps and its modified
    // state are as before; only what Redo offered before is gone.
    bool apply(const Progress &progress = {});

private:
    // A line with matches: the document's [from, to) becomes m_text.mid(at, length).
    struct Edit
    {
        int from;
        int to;
        int at;
        int length;
    };

    QTextDocument *m_doc;
    SearchQuery m_query;
    QString m_replacement;
    bool m_keepFormatting;
    int m_count = 0;
    qsizetype m_longestLine = 0;
    QString m_text;
    std::vector<Edit> m_edits;
    std::vector<int> m_starts; // every match, with keepFormatting only
};
