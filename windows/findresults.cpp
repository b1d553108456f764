#include "findresults.h"

#include <QAction>
#include <QLabel>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

enum Column { FileColumn, LineColumn, TextColumn };
enum Role {
    PathRole = Qt::UserRole,
    LineRole,
    ColumnsRole, // where each match starts in the line's text
    LengthRole,
};

// Draws a line of text with its matches on the highlight colour. Qt's
// delegates draw an item's text in one format only.
class MatchDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const QVariantList columns = index.data(ColumnsRole).toList();
        if (index.column() != TextColumn || columns.isEmpty()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem plain = option;
        initStyleOption(&plain, index);
        const QString text = plain.text;
        plain.text.clear();
        const QWidget *widget = plain.widget;
        QStyle *style = widget ? widget->style() : nullptr;
        if (style)
            style->drawControl(QStyle::CE_ItemViewItem, &plain, painter, widget);

        const int length = index.data(LengthRole).toInt();
        QList<QTextLayout::FormatRange> marks;
        for (const QVariant &column : columns) {
            QTextLayout::FormatRange mark;
            mark.start = column.toInt();
            mark.length = length;
            mark.format.setBackground(QColor(255, 214, 0));
            mark.format.setForeground(Qt::black);
            marks.append(mark);
        }
        QTextLayout layout(text, option.font);
        QTextOption textOption;
        textOption.setWrapMode(QTextOption::NoWrap);
        layout.setTextOption(textOption);
        layout.setFormats(marks);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        layout.endLayout();
        const QRect rect = style
            ? style->subElementRect(QStyle::SE_ItemViewItemText, &plain, widget)
            : option.rect;
        painter->save();
        painter->setClipRect(rect);
        painter->setPen(plain.palette.color(
            option.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
        const qreal y = rect.top() + (rect.height() - line.height()) / 2;
        layout.draw(painter, QPointF(rect.left() + 2, y));
        painter->restore();
    }
};

} // namespace

FindResultsDock::FindResultsDock(QWidget *parent)
    : QDockWidget(QStringLiteral("Find Results"), parent)
{
    setObjectName(QStringLiteral("dckFindResults"));
    setAccessibleName(windowTitle());
    setAllowedAreas(Qt::BottomDockWidgetArea);
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetFloatable);

    auto *body = new QWidget(this);
    body->setObjectName(QStringLiteral("dckFindResultsBody"));
    lblSummary = new QLabel(body);
    lblSummary->setObjectName(QStringLiteral("lblSummary"));
    tvwResults = new QTreeWidget(body);
    tvwResults->setObjectName(QStringLiteral("tvwResults"));
    tvwResults->setAccessibleName(QStringLiteral("Find results"));
    tvwResults->setHeaderLabels(
        {QStringLiteral("File"), QStringLiteral("Line"), QStringLiteral("Text")});
    tvwResults->setItemDelegate(new MatchDelegate(tvwResults));
    tvwResults->setUniformRowHeights(true);
    tvwResults->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvwResults->setColumnWidth(FileColumn, 160);
    tvwResults->setColumnWidth(LineColumn, 50);
    lblSummary->setBuddy(tvwResults);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 0, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(lblSummary);
    layout->addWidget(tvwResults, 1);
    setWidget(body);

    // Escape in the list goes back to the text.
    auto *back = new QAction(QStringLiteral("Back to the text"), tvwResults);
    back->setObjectName(QStringLiteral("actBackToText"));
    back->setShortcut(QKeySequence(Qt::Key_Escape));
    back->setShortcutContext(Qt::WidgetShortcut);
    tvwResults->addAction(back);
    connect(back, &QAction::triggered, this, &FindResultsDock::backToTextRequested);

    connect(tvwResults, &QTreeWidget::itemActivated, this, &FindResultsDock::activate);

    m_search = new FileSearch(this);
    connect(m_search, &FileSearch::found, this, &FindResultsDock::addHits);
    connect(m_search, &FileSearch::progress, this, &FindResultsDock::progress);
    connect(m_search, &FileSearch::finished, this, &FindResultsDock::finish);
}

void FindResultsDock::start(const FileSearchOptions &options)
{
    tvwResults->clear();
    m_group = nullptr;
    lblSummary->setText(QStringLiteral("Searching for \"%1\"...").arg(options.text));
    m_search->start(options);
    Q_EMIT searchingChanged(true);
}

void FindResultsDock::cancel()
{
    m_search->cancel();
}

bool FindResultsDock::isSearching() const
{
    return m_search->isRunning();
}

void FindResultsDock::addHits(const QList<FileSearchHit> &hits)
{
    for (const FileSearchHit &hit : hits) {
        if (!m_group || m_group->data(FileColumn, PathRole).toString() != hit.path) {
            m_group = new QTreeWidgetItem(tvwResults, {hit.displayPath});
            m_group->setData(FileColumn, PathRole, hit.path);
            m_group->setFirstColumnSpanned(true);
            m_group->setExpanded(true);
        }
        auto *row = new QTreeWidgetItem(m_group,
                                        {hit.displayPath, QString::number(hit.line), hit.lineText});
        row->setData(FileColumn, PathRole, hit.path);
        row->setData(FileColumn, LineRole, hit.line);
        row->setData(LineColumn, Qt::TextAlignmentRole, int(Qt::AlignRight | Qt::AlignVCenter));
        QVariantList columns;
        for (const int column : hit.columns)
            columns.append(column);
        row->setData(TextColumn, ColumnsRole, columns);
        row->setData(TextColumn, LengthRole, hit.length);
        row->setToolTip(TextColumn, hit.lineText);
    }
}

void FindResultsDock::finish(const FileSearchSummary &summary)
{
    lblSummary->setText(summaryLine(summary));
    lblSummary->setAccessibleName(lblSummary->text());
    Q_EMIT progress(summary.filesSearched);
    Q_EMIT searchingChanged(false);
}

QList<QTreeWidgetItem *> FindResultsDock::rows() const
{
    QList<QTreeWidgetItem *> rows;
    for (int g = 0; g < tvwResults->topLevelItemCount(); ++g) {
        QTreeWidgetItem *group = tvwResults->topLevelItem(g);
        for (int r = 0; r < group->childCount(); ++r)
            rows.append(group->child(r));
    }
    return rows;
}

bool FindResultsDock::goToResult(int step)
{
    // Rows only: a group's own item is no result to go to.
    const QList<QTreeWidgetItem *> all = rows();
    if (all.isEmpty())
        return false;
    QTreeWidgetItem *current = tvwResults->currentItem();
    qsizetype at = current ? all.indexOf(current) : -1;
    if (at < 0 && current && current->childCount() > 0)
        at = all.indexOf(current->child(0)) - (step > 0 ? 1 : 0);
    const qsizetype n = all.size();
    const qsizetype next = at < 0 && step < 0 ? n - 1 : ((at + step) % n + n) % n;
    tvwResults->setCurrentItem(all[next]);
    tvwResults->scrollToItem(all[next]);
    activate(all[next]);
    return true;
}

void FindResultsDock::activate(QTreeWidgetItem *item)
{
    if (!item || !item->parent())
        return;
    const QVariantList columns = item->data(TextColumn, ColumnsRole).toList();
    Q_EMIT resultActivated(item->data(FileColumn, PathRole).toString(),
                           item->data(FileColumn, LineRole).toInt(),
                           columns.isEmpty() ? 0 : columns.first().toInt(),
                           item->data(TextColumn, LengthRole).toInt());
}
