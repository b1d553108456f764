#include "textsearch.h"

#include "textcodec.h"

#include <QElapsedTimer>
#include <QStringMatcher>
#include <QTextDocument>

#include <functional>
#include <vector>

// QTextDocument::find copies out every line as a string of its own, which
// takes over half a second on a document of 50 MB. The scans here read the
// document in pieces that start small, so that a match near the caret costs
// little, and match within them.

namespace {

constexpr int firstPiece = 4096;
constexpr int largestPiece = 1 << 20;
// A cursor reads a range at a cost that grows with the lines it crosses;
// past this many characters one copy of the whole text is cheaper.
constexpr int cursorReadLimit = 256 * 1024;

// The document's characters, one per position (a line end is U+2029), so
// that offsets into what it returns are document positions.
class DocumentText
{
public:
    explicit DocumentText(QTextDocument *doc)
        : m_doc(doc)
    {
    }

    // The characters from `from` to `to`; valid until the next call.
    QStringView between(int from, int to)
    {
        if (m_whole.isNull() && m_read + (to - from) > cursorReadLimit)
            m_whole = m_doc->toRawText();
        if (!m_whole.isNull())
            return QStringView(m_whole).mid(from, to - from);
        m_read += to - from;
        QTextCursor range(m_doc);
        range.setPosition(from);
        range.setPosition(to, QTextCursor::KeepAnchor);
        m_piece = range.selectedText();
        return m_piece;
    }

private:
    QTextDocument *m_doc;
    QString m_piece;
    QString m_whole;
    qint64 m_read = 0;
};

// Where the content ends: the last position is the end of the last line.
int contentEnd(const QTextDocument *doc)
{
    return doc->characterCount() - 1;
}

// The code point that ends just before `at`, or starts at it.
char32_t codePointBefore(QStringView text, qsizetype at)
{
    const char16_t u = text[at - 1].unicode();
    if (QChar::isLowSurrogate(u) && at >= 2 && text[at - 2].isHighSurrogate())
        return QChar::surrogateToUcs4(text[at - 2].unicode(), u);
    return u;
}

char32_t codePointAt(QStringView text, qsizetype at)
{
    const char16_t u = text[at].unicode();
    if (QChar::isHighSurrogate(u) && at + 1 < text.size() && text[at + 1].isLowSurrogate())
        return QChar::surrogateToUcs4(u, text[at + 1].unicode());
    return u;
}

// A match must not take half of a surrogate pair: a byte the codec kept is a
// lone low surrogate, which also ends every character beyond U+FFFF.
bool splitsPair(QStringView text, qsizetype at)
{
    return at > 0 && at < text.size() && text[at - 1].isHighSurrogate()
        && text[at].isLowSurrogate();
}

// A combining mark belongs to the letter before it, so a word goes on over it.
bool isWordCharacter(char32_t c)
{
    return c == '_' || QChar::isLetterOrNumber(c) || QChar::isMark(c);
}

// Calls `found` with the start of each match that starts at `from` or later,
// in order and not overlapping, until it returns false.
void scanForward(QTextDocument *doc, const QString &what, const SearchQuery &query, int from,
                 const std::function<bool(int)> &found)
{
    const int length = int(what.size());
    const int end = contentEnd(doc);
    const QStringMatcher matcher(what, query.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive);
    DocumentText content(doc);
    int piece = firstPiece;
    int resume = from; // where the next match may start: not inside the last one
    for (int pos = from; pos + length <= end; piece = qMin(piece * 2, largestPiece)) {
        // Matches that start in [pos, last] lie wholly in this piece; a
        // character either side tells whether a match is a whole word.
        const int last = qMin(end - length, pos + piece - 1);
        const int textFrom = qMax(0, pos - 2);
        const QStringView text = content.between(textFrom, qMin(end, last + length + 2));
        for (qsizetype at = matcher.indexIn(text, pos - textFrom); at >= 0 && at + textFrom <= last;
             at = matcher.indexIn(text, at)) {
            if (!isAcceptableMatch(text, at, length, query.wholeWord)) {
                ++at;
                continue;
            }
            if (!found(int(at + textFrom)))
                return;
            at += length;
            resume = int(at + textFrom);
        }
        pos = qMax(last + 1, resume);
    }
}

// The start of the last match that ends at `before` or earlier, or -1.
int scanBackward(QTextDocument *doc, const QString &what, const SearchQuery &query, int before)
{
    const int length = int(what.size());
    const int end = contentEnd(doc);
    const Qt::CaseSensitivity cs = query.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    DocumentText content(doc);
    int piece = firstPiece;
    for (int last = before - length; last >= 0; piece = qMin(piece * 2, largestPiece)) {
        // Matches that start in [first, last] lie wholly in this piece.
        const int first = qMax(0, last - piece + 1);
        const int textFrom = qMax(0, first - 2);
        const QStringView text = content.between(textFrom, qMin(end, last + length + 2));
        for (qsizetype at = text.lastIndexOf(what, last - textFrom, cs);
             at >= 0 && at + textFrom >= first;
             at = at == 0 ? -1 : text.lastIndexOf(what, at - 1, cs)) {
            if (isAcceptableMatch(text, at, length, query.wholeWord))
                return int(at + textFrom);
        }
        last = first - 1;
    }
    return -1;
}

// What to look for in the document's characters: a line break typed or
// pasted in any form (CR LF, CR, LF) is the document's line end.
QString documentForm(const QString &text)
{
    QString what = text;
    what.replace(QLatin1String("\r\n"), QString(QChar::ParagraphSeparator));
    what.replace(u'\r', QChar::ParagraphSeparator).replace(u'\n', QChar::ParagraphSeparator);
    return what;
}

int firstMatchFrom(QTextDocument *doc, const QString &what, const SearchQuery &query, int from)
{
    int start = -1;
    scanForward(doc, what, query, from, [&start](int at) {
        start = at;
        return false;
    });
    return start;
}

QTextCursor selectMatch(QTextDocument *doc, int start, int length)
{
    if (start < 0)
        return {};
    QTextCursor match(doc);
    match.setPosition(start);
    match.setPosition(start + length, QTextCursor::KeepAnchor);
    return match;
}

} // namespace

bool isAcceptableMatch(QStringView text, qsizetype at, qsizetype length, bool wholeWord)
{
    const qsizetype end = at + length;
    if (splitsPair(text, at) || splitsPair(text, end))
        return false;
    return !wholeWord
        || ((at == 0 || !isWordCharacter(codePointBefore(text, at)))
            && (end == text.size() || !isWordCharacter(codePointAt(text, end))));
}

QTextCursor findText(QTextDocument *doc, const SearchQuery &query, const QTextCursor &from,
                     bool backward)
{
    if (query.text.isEmpty())
        return {};
    const QString what = documentForm(query.text);
    int start;
    if (backward) {
        start = scanBackward(doc, what, query, from.selectionStart());
        if (start < 0 && query.wrapAround)
            start = scanBackward(doc, what, query, contentEnd(doc));
    } else {
        start = firstMatchFrom(doc, what, query, from.selectionEnd());
        if (start < 0 && query.wrapAround)
            start = firstMatchFrom(doc, what, query, 0);
    }
    return selectMatch(doc, start, int(what.size()));
}

bool isMatch(const QTextCursor &selection, const SearchQuery &query)
{
    const QString what = documentForm(query.text);
    return selection.hasSelection() && !what.isEmpty()
        && selection.selectionEnd() - selection.selectionStart() == what.size()
        && firstMatchFrom(selection.document(), what, query, selection.selectionStart())
        == selection.selectionStart();
}

namespace {

// How often Replace All reports progress: often enough for a window to
// repaint and answer, seldom enough to cost nothing.
constexpr int progressIntervalMs = 25;
// The share of the progress that finding the matches counts for; the edits
// take most of the time.
constexpr int preparedPercent = 20;

} // namespace

ReplaceAll::ReplaceAll(QTextDocument *doc, const SearchQuery &query, const QString &replacement,
                       bool keepFormatting)
    : m_doc(doc)
    , m_query(query)
    , m_replacement(replacement)
    , m_keepFormatting(keepFormatting)
{
}

bool ReplaceAll::prepare(const Progress &progress)
{
    if (m_query.text.isEmpty())
        return true;
    // The exact characters, one per position: toPlainText would turn
    // non-breaking spaces into spaces.
    const QString raw = m_doc->toRawText();
    const QString what = documentForm(m_query.text);
    const qsizetype length = what.size();
    QElapsedTimer clock;
    clock.start();
    // The new lines are written through a pointer: two appends per match took
    // a third of the pass on millions of matches. They are no longer than the
    // document unless the replacement is longer than the match.
    qsizetype used = 0;
    m_text.resize(raw.size());
    const auto write = [this, &used](QStringView piece) {
        if (used + piece.size() > m_text.size())
            m_text.resize(qMax(m_text.size() * 2, used + piece.size()));
        std::copy(piece.begin(), piece.end(), m_text.data() + used);
        used += piece.size();
    };
    // Each line with matches is written anew whole: an edit that starts and
    // ends where the document's own pieces of text do (at the line's ends)
    // takes about a quarter less time, and so does its undo.
    Edit edit{-1, -1, 0, 0}; // to: the end of the last match until the line is done
    qsizetype lineEnd = -1; // where the line of the edit ends, at its separator
    const auto endLine = [&] {
        write(QStringView(raw).mid(edit.to, lineEnd - edit.to));
        edit.to = int(lineEnd);
        edit.length = int(used - edit.at);
        m_edits.push_back(edit);
        // A line is at least as long as the longest line it makes, so only
        // one longer than any so far needs its text looked at.
        if (edit.length > m_longestLine) {
            m_longestLine
                = qMax(m_longestLine, ::longestLine(QStringView(m_text).mid(edit.at, edit.length)));
        }
    };
    bool stopped = false;
    scanForward(m_doc, what, m_query, 0, [&](int at) {
        // A match that starts at the line's separator joins the line, as the
        // line it makes holds both.
        const bool newLine = edit.from < 0 || at > lineEnd;
        if (newLine) {
            if (edit.from >= 0)
                endLine();
            const qsizetype lineStart
                = at == 0 ? 0 : raw.lastIndexOf(QChar::ParagraphSeparator, at - 1) + 1;
            edit = {int(lineStart), int(lineStart), int(used), 0};
        }
        write(QStringView(raw).mid(edit.to, at - edit.to));
        write(m_replacement);
        edit.to = int(at + length);
        if (newLine || edit.to > lineEnd) {
            lineEnd = raw.indexOf(QChar::ParagraphSeparator, edit.to);
            if (lineEnd < 0)
                lineEnd = raw.size();
        }
        if (m_keepFormatting)
            m_starts.push_back(at);
        ++m_count;
        if ((m_count & 1023) == 0 && progress && clock.hasExpired(progressIntervalMs)) {
            clock.restart();
            stopped = !progress(int(qint64(at) * preparedPercent / raw.size()));
        }
        return !stopped;
    });
    if (stopped) {
        m_count = 0;
        m_longestLine = 0;
        m_text = QString();
        m_edits = {};
        m_starts = {};
        return false;
    }
    if (edit.from >= 0)
        endLine();
    m_text.truncate(used);
    return true;
}

bool ReplaceAll::apply(const Progress &progress)
{
    const qsizetype total = qsizetype(m_keepFormatting ? m_starts.size() : m_edits.size());
    if (total == 0)
        return true;
    const int length = int(documentForm(m_query.text).size());
    QElapsedTimer clock;
    clock.start();
    QTextCursor cursor(m_doc);
    cursor.beginEditBlock();
    // From the last edit back, so that each leaves the positions of those
    // still to do as they were.
    for (qsizetype done = 0; done < total; ++done) {
        const qsizetype i = total - 1 - done;
        if (m_keepFormatting) {
            cursor.setPosition(m_starts[i]);
            cursor.setPosition(m_starts[i] + length, QTextCursor::KeepAnchor);
            cursor.insertText(m_replacement);
        } else {
            const Edit &edit = m_edits[i];
            cursor.setPosition(edit.from);
            cursor.setPosition(edit.to, QTextCursor::KeepAnchor);
            cursor.insertText(m_text.mid(edit.at, edit.length));
        }
        if ((done & 63) == 63 && progress && clock.hasExpired(progressIntervalMs)) {
            // The window gets its turn between closed parts of the one undo
            // step, each joined to the one before.
            cursor.endEditBlock();
            if (!progress(preparedPercent + int(done * (100 - preparedPercent) / total))) {
                m_doc->undo();
                m_doc->clearUndoRedoStacks(QTextDocument::RedoStack);
                return false;
            }
            clock.restart();
            cursor.joinPreviousEditBlock();
        }
    }
    cursor.endEditBlock();
    if (progress)
        progress(100);
    return true;
}
