#include "outlinemodel.h"

#include "document.h"

#include <QElapsedTimer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

// The lines of a text document, read a run of lines at a time: one pass over
// the document's pieces costs a tenth of reading each line on its own.
class OutlineModel::BlockLines : public OutlineLines
{
public:
    explicit BlockLines(QTextDocument *text)
        : m_text(text)
    {
    }

    // How many lines the next read takes at most.
    int runLength = 1;

    void forget() { m_run.clear(); }

    QString line(int number) override
    {
        if (number < m_first || number >= m_first + m_run.size())
            read(number);
        return m_run.value(number - m_first);
    }

private:
    void read(int number)
    {
        const int count = qMax(1, qMin(runLength, m_text->blockCount() - number));
        const QTextBlock from = m_text->findBlockByNumber(number);
        const QTextBlock to = m_text->findBlockByNumber(number + count - 1);
        m_first = number;
        m_run.clear();
        if (!from.isValid() || !to.isValid())
            return;
        QTextCursor run(m_text);
        run.setPosition(from.position());
        run.setPosition(to.position() + to.length() - 1, QTextCursor::KeepAnchor);
        m_run = run.selectedText().split(QChar::ParagraphSeparator);
        // Rich text with tables or frames has more breaks than lines: read
        // those lines one by one.
        if (m_run.size() != count) {
            m_run.clear();
            for (QTextBlock b = from; b.isValid() && m_run.size() < count; b = b.next())
                m_run.append(b.text());
        }
    }

    QTextDocument *m_text;
    QStringList m_run;
    int m_first = 0;
};

OutlineModel::OutlineModel(Document *document, QObject *parent)
    : QAbstractListModel(parent)
    , m_document(document)
    , m_slice(new QTimer(this))
{
    m_slice->setSingleShot(true);
    connect(m_slice, &QTimer::timeout, this, &OutlineModel::readSlice);
    connect(document, &Document::documentReplaced, this, [this] {
        if (m_active)
            attach();
    });
    // The rest of a loaded file, now that its last line is whole.
    connect(document, &Document::loadEnded, this, [this] {
        if (!m_active)
            return;
        readSlice();
    });
}

OutlineModel::~OutlineModel() = default;

void OutlineModel::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    if (active) {
        attach();
        return;
    }
    m_slice->stop();
    if (m_text)
        disconnect(m_text, nullptr, this, nullptr);
    m_text = nullptr;
    m_lines.reset();
    beginResetModel();
    m_outline.clear();
    m_rows = 0;
    endResetModel();
}

void OutlineModel::attach()
{
    if (m_text)
        disconnect(m_text, nullptr, this, nullptr);
    m_text = m_document->textDocument();
    m_lines = std::make_unique<BlockLines>(m_text);
    connect(m_text, &QTextDocument::contentsChange, this, &OutlineModel::onContentsChange);
    beginResetModel();
    m_outline.clear();
    m_rows = 0;
    m_blockCount = m_text->blockCount();
    endResetModel();
    m_shown.invalidate();
    // The first slice now: a small file is all read before the list shows.
    readSlice();
}

bool OutlineModel::isComplete() const
{
    return m_active && !m_document->isLoading() && m_outline.scannedLines() >= m_blockCount
        && m_rows == int(m_outline.items().size());
}

// While a file loads, its last line may still grow: it is read once whole.
int OutlineModel::readableLines() const
{
    return m_document->isLoading() ? m_blockCount - 1 : m_blockCount;
}

void OutlineModel::scheduleSlice()
{
    if (m_outline.scannedLines() < readableLines() && !m_slice->isActive())
        m_slice->start(0);
}

// While a file loads, the items found are shown a few times a second rather
// than with each piece: each showing repaints the list, which would slow the
// load by a third.
void OutlineModel::showFound()
{
    const int found = int(m_outline.items().size()) - m_rows;
    if (found > 0)
        publish({m_rows, 0, found});
    m_shown.restart();
}

int OutlineModel::rowOfLine(int line) const
{
    const int row = m_outline.rowOfLine(line);
    return row < m_rows ? row : -1;
}

int OutlineModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

QVariant OutlineModel::data(const QModelIndex &index, int role) const
{
    const auto &items = m_outline.items();
    if (!index.isValid() || index.row() >= int(items.size()))
        return {};
    const OutlineItem &item = items[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return item.label;
    case LineRole:
        return item.line;
    default:
        return {};
    }
}

void OutlineModel::onContentsChange(int position, int removed, int added)
{
    Q_UNUSED(removed);
    m_lines->forget();
    const int count = m_text->blockCount();
    const int delta = count - m_blockCount;
    m_blockCount = count;
    const int first = qMax(0, m_text->findBlock(position).blockNumber());
    QTextBlock last = m_text->findBlock(position + added);
    if (!last.isValid())
        last = m_text->lastBlock();
    const int lastAfter = last.blockNumber();
    m_lines->runLength = lastAfter - first + 1;
    if (first < m_outline.scannedLines())
        showFound(); // the rows the change is told against
    publish(m_outline.change(*m_lines, first, lastAfter - delta, lastAfter));
    scheduleSlice();
}

void OutlineModel::readSlice()
{
    if (!m_text)
        return;
    QElapsedTimer slice;
    slice.start();
    m_lines->runLength = 256;
    const int readable = readableLines();
    while (m_outline.scannedLines() < readable && slice.elapsed() < sliceMs)
        m_outline.scan(*m_lines, readable, 256);
    if (!m_document->isLoading() || !m_shown.isValid() || m_shown.hasExpired(showEveryMs))
        showFound();
    if (isComplete())
        Q_EMIT completed();
    else
        scheduleSlice();
}

void OutlineModel::publish(const ItemOutline::RowChange &change)
{
    const int kept = qMin(change.removed, change.inserted);
    if (kept > 0)
        Q_EMIT dataChanged(index(change.first), index(change.first + kept - 1));
    if (change.removed > kept) {
        beginRemoveRows({}, change.first + kept, change.first + change.removed - 1);
        m_rows -= change.removed - kept;
        endRemoveRows();
    } else if (change.inserted > kept) {
        beginInsertRows({}, change.first + kept, change.first + change.inserted - 1);
        m_rows += change.inserted - kept;
        endInsertRows();
    }
}
