#include "findresults.h"

#include "findresultsmodel.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTextLayout>
#include <QVBoxLayout>

namespace {

// Draws a row's text with its matches on the highlight colour. Qt's
// delegates draw an item's text in one format only. The text is a piece of
// the line of at most a few hundred characters, so laying it out on each
// paint costs little.
class MatchDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const QList<int> starts = index.data(FindResultsModel::MarksRole).value<QList<int>>();
        if (starts.isEmpty()) {
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

        const int length = index.data(FindResultsModel::LengthRole).toInt();
        QList<QTextLayout::FormatRange> marks;
        for (const int start : starts) {
            QTextLayout::FormatRange mark;
            mark.start = start;
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
    results = new FindResultsModel(this);
    tvwResults = new QTableView(body);
    tvwResults->setObjectName(QStringLiteral("tvwResults"));
    tvwResults->setAccessibleName(QStringLiteral("Find results"));
    tvwResults->setModel(results);
    tvwResults->setItemDelegate(new MatchDelegate(tvwResults));
    tvwResults->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvwResults->setSelectionBehavior(QAbstractItemView::SelectRows);
    tvwResults->setSelectionMode(QAbstractItemView::SingleSelection);
    tvwResults->setTabKeyNavigation(false);
    tvwResults->setShowGrid(false);
    tvwResults->setWordWrap(false);
    // A group row names its file in the File column alone, where a long
    // path keeps both ends. (Spanning it across the row would cost every
    // insertion a walk over all the spans: up to 100 ms a batch once
    // 100,000 files are in.)
    tvwResults->setTextElideMode(Qt::ElideMiddle);
    QHeaderView *rows = tvwResults->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(tvwResults->fontMetrics().height() + 4);
    tvwResults->horizontalHeader()->setStretchLastSection(true);
    tvwResults->setColumnWidth(FindResultsModel::FileColumn, 160);
    tvwResults->setColumnWidth(FindResultsModel::LineColumn, 50);
    lblSummary->setBuddy(tvwResults);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 0, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(lblSummary);
    layout->addWidget(tvwResults, 1);
    setWidget(body);

    // Escape in the list goes back to the text.
    m_back = new QAction(QStringLiteral("Back to the text"), tvwResults);
    m_back->setObjectName(QStringLiteral("actBackToText"));
    m_back->setShortcut(QKeySequence(Qt::Key_Escape));
    m_back->setShortcutContext(Qt::WidgetShortcut);
    tvwResults->addAction(m_back);
    connect(m_back, &QAction::triggered, this, &FindResultsDock::backToTextRequested);

    connect(tvwResults, &QTableView::activated, this, &FindResultsDock::activate);

    m_search = new FileSearch(this);
    connect(m_search, &FileSearch::found, this, &FindResultsDock::addHits);
    connect(m_search, &FileSearch::progress, this, &FindResultsDock::progress);
    connect(m_search, &FileSearch::finished, this, &FindResultsDock::finish);
}

void FindResultsDock::start(const FileSearchOptions &options)
{
    results->clear();
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
    results->append(hits);
}

void FindResultsDock::finish(const FileSearchSummary &summary)
{
    lblSummary->setText(summaryLine(summary));
    lblSummary->setAccessibleName(lblSummary->text());
    Q_EMIT progress(summary.filesSearched);
    Q_EMIT searchingChanged(false);
}

void FindResultsDock::setEscapeGoesBack(bool goesBack)
{
    // Two enabled actions on one key would both give way, and Escape would
    // do nothing at all.
    m_back->setEnabled(goesBack);
}

bool FindResultsDock::goToResult(int step)
{
    const int n = results->rowCount();
    if (n == 0)
        return false;
    // Rows only: a group's own row is no result to go to (and every group
    // has a row after it).
    const QModelIndex current = tvwResults->currentIndex();
    int row = current.isValid() ? current.row() : (step > 0 ? -1 : n);
    do {
        row = ((row + step) % n + n) % n;
    } while (results->isGroup(row));
    const QModelIndex next = results->index(row, FindResultsModel::FileColumn);
    tvwResults->setCurrentIndex(next);
    tvwResults->scrollTo(next);
    activate(next);
    return true;
}

void FindResultsDock::activate(const QModelIndex &index)
{
    if (!index.isValid() || results->isGroup(index.row()))
        return;
    Q_EMIT resultActivated(index.data(FindResultsModel::PathRole).toString(),
                           index.data(FindResultsModel::LineRole).toInt(),
                           index.data(FindResultsModel::MatchColumnRole).toInt(),
                           index.data(FindResultsModel::LengthRole).toInt());
}
