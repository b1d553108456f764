#include "itemoutline.h"

#include "definitionsyntax.h"

#include <algorithm>
#include <climits>
#include <optional>

namespace {

bool lineBefore(const OutlineItem &item, int line)
{
    return item.line < line;
}

bool lineAfter(int line, const OutlineItem &item)
{
    return line < item.line;
}

class SplitLines : public OutlineLines
{
public:
    explicit SplitLines(QStringView text)
    {
        qsizetype start = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] != u'\r' && text[i] != u'\n')
                continue;
            m_lines.append(text.mid(start, i - start));
            if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            start = i + 1;
        }
        m_lines.append(text.mid(start));
    }
    QString line(int number) override { return m_lines.at(number).toString(); }
    int count() const { return int(m_lines.size()); }

private:
    QList<QStringView> m_lines;
};

} // namespace

QString ItemOutline::label(QStringView line)
{
    QStringView text = line.trimmed();
    if (DefinitionSyntax::isItemSeparator(text))
        return {};
    if (text.startsWith(u"//"))
        text = text.mid(2).trimmed();
    qsizetype length = qMin<qsizetype>(text.size(), maxLabelLength);
    // Never half a character.
    if (length < text.size() && length > 0 && text[length - 1].isHighSurrogate())
        --length;
    return text.left(length).toString();
}

void ItemOutline::clear()
{
    m_separators.clear();
    m_items.clear();
    m_scanned = 0;
}

int ItemOutline::scan(OutlineLines &lines, int lineCount, int maxLines)
{
    const size_t before = m_items.size();
    // Whether the stretch being read has its label already.
    bool labelled
        = !m_items.empty() && (m_separators.empty() || m_items.back().line > m_separators.back());
    const int end = int(qMin<qint64>(lineCount, qint64(m_scanned) + maxLines));
    for (; m_scanned < end; ++m_scanned) {
        const QString text = lines.line(m_scanned);
        if (DefinitionSyntax::isItemSeparator(text)) {
            m_separators.push_back(m_scanned);
            labelled = false;
        } else if (!labelled) {
            QString name = label(text);
            if (!name.isEmpty()) {
                m_items.push_back({m_scanned, std::move(name)});
                labelled = true;
            }
        }
    }
    return int(m_items.size() - before);
}

ItemOutline::RowChange ItemOutline::truncate(int first)
{
    m_separators.erase(std::lower_bound(m_separators.begin(), m_separators.end(), first),
                       m_separators.end());
    const auto from = std::lower_bound(m_items.begin(), m_items.end(), first, lineBefore);
    const RowChange rows{int(from - m_items.begin()), int(m_items.end() - from), 0};
    m_items.erase(from, m_items.end());
    m_scanned = first;
    return rows;
}

ItemOutline::RowChange ItemOutline::change(OutlineLines &lines, int first, int lastBefore,
                                           int lastAfter)
{
    if (first >= m_scanned)
        return {}; // not read yet: scan() reads it as it is now
    // An edit across the end of what was read, or a large one, is read again
    // from its start by scan(), a slice at a time.
    if (lastBefore >= m_scanned || lastBefore < first || lastAfter < first
        || lastAfter - first >= maxChangeLines)
        return truncate(first);
    const int delta = lastAfter - lastBefore;
    m_scanned += delta;

    // The separators of the changed lines go; those after them move.
    auto sepFrom = std::lower_bound(m_separators.begin(), m_separators.end(), first);
    auto sepTo = std::upper_bound(sepFrom, m_separators.end(), lastBefore);
    const int sepAbove = sepFrom == m_separators.begin() ? -1 : *(sepFrom - 1);
    auto sepAfter = m_separators.erase(sepFrom, sepTo);
    for (auto it = sepAfter; it != m_separators.end(); ++it)
        *it += delta;

    // The changed lines as they are now: their separators, and the first
    // label of each stretch they hold a part of.
    std::vector<int> found;
    std::vector<std::optional<OutlineItem>> labels(1);
    for (int n = first; n <= lastAfter; ++n) {
        const QString text = lines.line(n);
        if (DefinitionSyntax::isItemSeparator(text)) {
            found.push_back(n);
            labels.emplace_back();
        } else if (!labels.back()) {
            QString name = label(text);
            if (!name.isEmpty())
                labels.back() = OutlineItem{n, std::move(name)};
        }
    }
    const auto sepNext = m_separators.insert(sepAfter, found.begin(), found.end()) + found.size();
    const int sepBelow = sepNext == m_separators.end() ? INT_MAX : *sepNext;
    const int sepBelowBefore = sepBelow == INT_MAX ? INT_MAX : sepBelow - delta;

    // The items of the stretches the edit touched, as they were.
    const auto oldFrom = std::upper_bound(m_items.begin(), m_items.end(), sepAbove, lineAfter);
    const auto oldTo = std::lower_bound(oldFrom, m_items.end(), sepBelowBefore, lineBefore);
    // The first stretch keeps a label above the edit.
    if (oldFrom != oldTo && oldFrom->line < first)
        labels.front() = *oldFrom;
    // The last one may have had its label below the edit; otherwise the
    // lines after the edit are read until one has text.
    if (!labels.back()) {
        if (oldFrom != oldTo && (oldTo - 1)->line > lastBefore) {
            labels.back() = OutlineItem{(oldTo - 1)->line + delta, (oldTo - 1)->label};
        } else {
            const int limit = qMin(sepBelow, m_scanned);
            for (int n = lastAfter + 1; n < limit; ++n) {
                QString name = label(lines.line(n));
                if (!name.isEmpty()) {
                    labels.back() = OutlineItem{n, std::move(name)};
                    break;
                }
            }
        }
    }
    std::vector<OutlineItem> now;
    for (auto &item : labels) {
        if (item)
            now.push_back(std::move(*item));
    }

    const int firstRow = int(oldFrom - m_items.begin());
    const int before = int(oldTo - oldFrom);
    const int after = int(now.size());
    for (auto it = oldTo; it != m_items.end(); ++it)
        it->line += delta;
    // Rows whose label stayed are no change to the list, even if they moved.
    int same = 0;
    while (same < before && same < after && oldFrom[same].label == now[same].label)
        ++same;
    int sameEnd = 0;
    while (sameEnd < before - same && sameEnd < after - same
           && oldFrom[before - 1 - sameEnd].label == now[after - 1 - sameEnd].label)
        ++sameEnd;
    if (before == after) {
        std::move(now.begin(), now.end(), oldFrom);
    } else {
        const auto at = m_items.erase(oldFrom, oldTo);
        m_items.insert(at, std::make_move_iterator(now.begin()),
                       std::make_move_iterator(now.end()));
    }
    return {firstRow + same, before - same - sameEnd, after - same - sameEnd};
}

int ItemOutline::rowOfLine(int line) const
{
    const auto next = std::lower_bound(m_separators.begin(), m_separators.end(), line);
    const int above = next == m_separators.begin() ? -1 : *(next - 1);
    const int below = next == m_separators.end() ? INT_MAX : *next;
    const auto item = std::upper_bound(m_items.begin(), m_items.end(), above, lineAfter);
    if (item == m_items.end() || item->line >= below)
        return -1;
    return int(item - m_items.begin());
}

QList<OutlineItem> outlineItems(QStringView text)
{
    SplitLines lines(text);
    ItemOutline outline;
    outline.scan(lines, lines.count(), INT_MAX);
    return QList<OutlineItem>(outline.items().begin(), outline.items().end());
}
