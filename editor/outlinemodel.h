#pragma once

#include "itemoutline.h"

#include <QAbstractListModel>
#include <QElapsedTimer>
#include <QPointer>

#include <memory>

class Document;
class QTextDocument;
class QTimer;

// The items of the document as a list: one row per item, in file order,
// showing its label. Active, it reads the text from the event loop in slices
// short enough for a key to be answered in between, then follows each edit
// by reading the lines it changed; while a file loads, the rows are the items
// of what is in so far. Inactive, it is empty and costs nothing.
class OutlineModel : public QAbstractListModel
{
    Q_OBJECT
public:
    // The line of an item's label (from 0).
    static constexpr int LineRole = Qt::UserRole;
    // One slice of reading takes at most about this long.
    static constexpr int sliceMs = 8;
    // How often the items found are shown while a file loads.
    static constexpr int showEveryMs = 100;

    explicit OutlineModel(Document *document, QObject *parent = nullptr);
    ~OutlineModel() override;

    void setActive(bool active);
    bool isActive() const { return m_active; }
    // True once every line of the text has been read.
    bool isComplete() const;
    // The row of the item that holds line (see ItemOutline::rowOfLine), or -1.
    int rowOfLine(int line) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    // The last line has been read: the rows are every item of the text.
    void completed();

private:
    class BlockLines;
    void attach();
    void onContentsChange(int position, int removed, int added);
    int readableLines() const;
    void scheduleSlice();
    void readSlice();
    void showFound();
    void publish(const ItemOutline::RowChange &change);

    Document *m_document;
    QPointer<QTextDocument> m_text;
    std::unique_ptr<BlockLines> m_lines;
    ItemOutline m_outline;
    QTimer *m_slice;
    QElapsedTimer m_shown;
    // The rows the views have been told of.
    int m_rows = 0;
    int m_blockCount = 0;
    bool m_active = false;
};
