#include "outlinedock.h"

#include "outlinemodel.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QSortFilterProxyModel>
#include <QVBoxLayout>

OutlineDock::OutlineDock(OutlineModel *model, QWidget *parent)
    : QDockWidget(QStringLiteral("Outline"), parent)
    , m_model(model)
    , m_shown(new QSortFilterProxyModel(this))
{
    setObjectName(QStringLiteral("dckOutline"));
    setAccessibleName(windowTitle());
    setAllowedAreas(Qt::LeftDockWidgetArea);
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetFloatable);

    auto *body = new QWidget(this);
    body->setObjectName(QStringLiteral("dckOutlineBody"));
    lblFilter = new QLabel(QStringLiteral("Filter items:"), body);
    lblFilter->setObjectName(QStringLiteral("lblFilter"));
    txtFilter = new QLineEdit(body);
    txtFilter->setObjectName(QStringLiteral("txtFilter"));
    txtFilter->setClearButtonEnabled(true);
    lblFilter->setBuddy(txtFilter);
    lstItems = new QListView(body);
    lstItems->setObjectName(QStringLiteral("lstItems"));
    // Nothing visible names the list but the dock's title.
    lstItems->setAccessibleName(QStringLiteral("Items"));
    lstItems->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstItems->setSelectionMode(QAbstractItemView::SingleSelection);
    lstItems->setUniformItemSizes(true);
    lstItems->setTextElideMode(Qt::ElideRight);
    lblCount = new QLabel(body);
    lblCount->setObjectName(QStringLiteral("lblCount"));
    lblCount->setTextFormat(Qt::PlainText);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 0, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(lblFilter);
    layout->addWidget(txtFilter);
    layout->addWidget(lstItems, 1);
    layout->addWidget(lblCount);
    setWidget(body);

    m_shown->setSourceModel(model);
    m_shown->setFilterCaseSensitivity(Qt::CaseInsensitive);
    lstItems->setModel(m_shown);
    connect(txtFilter, &QLineEdit::textChanged, this, &OutlineDock::filter);
    connect(lstItems, &QListView::clicked, this,
            [this](const QModelIndex &row) { take(row, true); });
    // After the filter has seen them: it takes rows away before the model does.
    connect(model, &QAbstractItemModel::rowsInserted, this, &OutlineDock::rowsChanged);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &OutlineDock::rowsChanged);
    connect(model, &QAbstractItemModel::dataChanged, this, &OutlineDock::rowsChanged);
    connect(model, &QAbstractItemModel::modelReset, this, &OutlineDock::rowsChanged);
    txtFilter->installEventFilter(this);
    lstItems->installEventFilter(this);
    rowsChanged();
}

void OutlineDock::followLine(int line)
{
    m_caretLine = line;
    const int row = m_model->rowOfLine(line);
    select(row < 0 ? QModelIndex() : m_shown->mapFromSource(m_model->index(row)));
}

void OutlineDock::focusFilter()
{
    txtFilter->setFocus(Qt::ShortcutFocusReason);
    txtFilter->selectAll();
}

void OutlineDock::filter(const QString &text)
{
    m_shown->setFilterFixedString(text);
    if (text.isEmpty())
        followLine(m_caretLine);
    else
        select(m_shown->index(0, 0));
    rowsChanged();
}

// Rows come and go as the text is read and edited: the count follows, and a
// list with no row selected selects the row it would have had.
void OutlineDock::rowsChanged()
{
    const int all = m_model->rowCount();
    const int shown = m_shown->rowCount();
    if (txtFilter->text().isEmpty())
        lblCount->setText(all == 1 ? QStringLiteral("1 item")
                                   : QStringLiteral("%1 items").arg(all));
    else
        lblCount->setText(QStringLiteral("%1 of %2 items").arg(shown).arg(all));
    if (lstItems->currentIndex().isValid())
        return;
    if (txtFilter->text().isEmpty())
        followLine(m_caretLine);
    else
        select(m_shown->index(0, 0));
}

void OutlineDock::select(const QModelIndex &row)
{
    if (row == lstItems->currentIndex())
        return;
    if (!row.isValid()) {
        lstItems->selectionModel()->clear();
        return;
    }
    lstItems->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect);
    lstItems->scrollTo(row);
}

void OutlineDock::take(const QModelIndex &row, bool byClick)
{
    if (row.isValid())
        Q_EMIT itemTaken(row.data(OutlineModel::LineRole).toInt(), byClick);
}

bool OutlineDock::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride)
        return QDockWidget::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    const bool plain = !(key->modifiers() & ~Qt::KeypadModifier);
    if (key->key() == Qt::Key_Escape && plain && m_escapeGoesBack) {
        // Before the window's shortcuts see it.
        event->accept();
        if (type == QEvent::KeyPress)
            Q_EMIT backToTextRequested();
        return true;
    }
    if (type != QEvent::KeyPress || !plain)
        return QDockWidget::eventFilter(watched, event);
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        take(lstItems->currentIndex(), false);
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        // The filter field's arrows move through the rows.
        if (watched == txtFilter) {
            QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text());
            QCoreApplication::sendEvent(lstItems, &copy);
            return true;
        }
        break;
    default:
        break;
    }
    return QDockWidget::eventFilter(watched, event);
}

void OutlineDock::closeEvent(QCloseEvent *event)
{
    QDockWidget::closeEvent(event);
    Q_EMIT closed();
}
