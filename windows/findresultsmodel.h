#pragma once

#include "filesearch.h"

#include <QAbstractTableModel>

#include <deque>

// The rows of the Find in Files results, flat: a group row naming each file,
// then a row per line with matches in it. Hits are appended a batch at a
// time, as one insertion of rows: a search that finds 100,000 files must
// cost the view work in proportion to each batch, never to all the rows so
// far (a tree of items lays out every row again for each new group).
class FindResultsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { FileColumn, LineColumn, TextColumn, ColumnCount };
    enum Role {
        PathRole = Qt::UserRole, // the file's absolute path
        LineRole, // the line from 1; 0 on a group row
        MatchColumnRole, // where the first match starts in the line
        LengthRole, // the length of a match
        MarksRole, // QList<int>: where the matches shown start in the row's text
    };

    using QAbstractTableModel::QAbstractTableModel;

    void clear();
    // Appends hits (in file and line order) after the rows there are; hits of
    // the file of the last row go on in its group.
    void append(const QList<FileSearchHit> &hits);
    bool isGroup(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    // Deques, not vectors: they grow a block at a time, where a vector of
    // 100,000 hits would move them all to fresh memory (and fault in its
    // pages) in the middle of one batch.
    std::deque<FileSearchHit> m_hits;
    // Per row: the index of its hit, or -1 - the index of the hit that
    // starts the group it names.
    std::deque<int> m_rows;
};
