#include "textsearch.h"

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

// `text` holds at least two units either side of the match where the document has them.
bool isAcceptable(QStringView text, qsizetype at, qsizetype length, bool wholeWord)
{
    const qsizetype end = at + length;
    if (splitsPair(text, at) || splitsPair(text, end))
        return false;
    return !wholeWord
        || ((at == 0 || !isWordCharacter(codePointBefore(text, at)))
            && (end == text.size() || !isWordCharacter(codePointAt(text, end))));
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
            if (!isAcceptable(text, at, length, query.wholeWord)) {
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
            if (isAcceptable(text, at, length, query.wholeWord))
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

int replaceAll(QTextDocument *doc, const SearchQuery &query, const QString &replacement)
{
    if (query.text.isEmpty())
        return 0;
    const QString what = documentForm(query.text);
    std::vector<int> starts;
    scanForward(doc, what, query, 0, [&starts](int at) {
        starts.push_back(at);
        return true;
    });
    // From the last match back, so that each replacement leaves the
    // positions of those still to do as they were.
    QTextCursor edit(doc);
    edit.beginEditBlock();
    for (auto it = starts.rbegin(); it != starts.rend(); ++it) {
        edit.setPosition(*it);
        edit.setPosition(*it + int(what.size()), QTextCursor::KeepAnchor);
        edit.insertText(replacement);
    }
    edit.endEditBlock();
    return int(starts.size());
}
