#include "findresultsmodel.h"

#include <QFont>

#include <vector>

namespace {

const QString ellipsis = QStringLiteral("\u2026");

// The text a row shows: the piece of the line kept, marked where the line
// goes on, and the matches past those kept counted.
QString shownText(const FileSearchHit &hit)
{
    QString text = hit.lineText;
    if (hit.textStart > 0)
        text.prepend(ellipsis);
    if (hit.textStart + hit.lineText.size() < hit.lineLength)
        text.append(ellipsis);
    if (hit.moreMatches > 0)
        text.append(QStringLiteral("  (and %L1 more on this line)").arg(hit.moreMatches));
    return text;
}

} // namespace

void FindResultsModel::clear()
{
    beginResetModel();
    m_hits.clear();
    m_rows.clear();
    endResetModel();
}

void FindResultsModel::append(const QList<FileSearchHit> &hits)
{
    if (hits.isEmpty())
        return;
    const int first = int(m_rows.size());
    QString lastPath = m_hits.empty() ? QString() : m_hits.back().path;
    std::vector<int> rows;
    rows.reserve(size_t(hits.size()) * 2);
    for (const FileSearchHit &hit : hits) {
        const int index = int(m_hits.size());
        if (m_hits.empty() || hit.path != lastPath) {
            rows.push_back(-1 - index);
            lastPath = hit.path;
        }
        rows.push_back(index);
        m_hits.push_back(hit);
    }
    beginInsertRows(QModelIndex(), first, first + int(rows.size()) - 1);
    m_rows.insert(m_rows.end(), rows.begin(), rows.end());
    endInsertRows();
}

bool FindResultsModel::isGroup(int row) const
{
    return row >= 0 && size_t(row) < m_rows.size() && m_rows[size_t(row)] < 0;
}

int FindResultsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int FindResultsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FindResultsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= m_rows.size())
        return QVariant();
    const int row = m_rows[size_t(index.row())];
    const bool group = row < 0;
    const FileSearchHit &hit = m_hits[size_t(group ? -1 - row : row)];
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == FileColumn)
            return hit.displayPath;
        if (group)
            return QVariant();
        if (index.column() == LineColumn)
            return hit.line;
        return shownText(hit);
    case Qt::ToolTipRole:
        return group ? hit.path : hit.lineText;
    case Qt::FontRole:
        if (group) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return QVariant();
    case Qt::TextAlignmentRole:
        if (index.column() == LineColumn)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant();
    case PathRole:
        return hit.path;
    case LineRole:
        return group ? 0 : hit.line;
    case MatchColumnRole:
        return hit.columns.isEmpty() ? 0 : hit.columns.first();
    case LengthRole:
        return hit.length;
    case MarksRole: {
        if (group || index.column() != TextColumn)
            return QVariant();
        // Only the matches within the piece of the line shown.
        const int offset = (hit.textStart > 0 ? int(ellipsis.size()) : 0) - hit.textStart;
        const int end = hit.textStart + int(hit.lineText.size());
        QList<int> marks;
        for (const int column : hit.columns) {
            if (column >= hit.textStart && column + hit.length <= end)
                marks.append(column + offset);
            else if (column >= end)
                break;
        }
        return QVariant::fromValue(marks);
    }
    default:
        return QVariant();
    }
}

QVariant FindResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case FileColumn:
        return QStringLiteral("File");
    case LineColumn:
        return QStringLiteral("Line");
    case TextColumn:
        return QStringLiteral("Text");
    default:
        return QVariant();
    }
}
