#include "frmcompare.h"

#include "contrast.h"
#include "document.h"
#include "messagebox.h"
#include "metrics.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString ignoreBlanksKey = QStringLiteral("Compare/ignoreBlankSpaceAtLineEnds");

// The colour nearest to wanted, moved towards the page's own, that keeps
// text of the given colour readable on it (4.5 : 1).
QColor readableBehind(QColor wanted, const QColor &text)
{
    const bool darkText = text.lightnessF() < 0.5;
    for (int i = 0; i < 40 && contrastRatio(wanted, text) < 4.5; ++i)
        wanted = darkText ? wanted.lighter(106) : wanted.darker(110);
    return wanted;
}

QString differenceText(int count)
{
    if (count == 0)
        return QObject::tr("No differences");
    if (count == 1)
        return QObject::tr("1 difference");
    return QObject::tr("%L1 differences").arg(count);
}

// Where a difference is in the document: its lines, or the line it follows.
QString placeText(const LineDifference &d)
{
    if (d.leftCount == 0) {
        return d.leftStart == 0 ? QObject::tr("before line 1")
                                : QObject::tr("after line %L1").arg(d.leftStart);
    }
    if (d.leftCount == 1)
        return QObject::tr("line %L1").arg(d.leftStart + 1);
    return QObject::tr("lines %L1-%L2").arg(d.leftStart + 1).arg(d.leftStart + d.leftCount);
}

} // namespace

// The line numbers beside a pane; a gap has none.
class CompareGutter : public QWidget
{
public:
    explicit CompareGutter(ComparePane *pane)
        : QWidget(pane)
        , m_pane(pane)
    {
        setObjectName(QStringLiteral("gutter"));
    }

protected:
    void paintEvent(QPaintEvent *event) override { m_pane->paintGutter(event); }

private:
    ComparePane *m_pane;
};

ComparePane::ComparePane(Side side, QWidget *parent)
    : QPlainTextEdit(parent)
    , m_side(side)
    , m_gutter(new CompareGutter(this))
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    // Tab leaves the pane: it is for reading, and the window for the keyboard.
    setTabChangesFocus(true);
    updateColours();
    connect(this, &QPlainTextEdit::updateRequest, m_gutter, [this](const QRect &rect, int dy) {
        if (dy)
            m_gutter->scroll(0, dy);
        else
            m_gutter->update(0, rect.y(), m_gutter->width(), rect.height());
    });
    updateGutter();
}

void ComparePane::updateGutter()
{
    setViewportMargins(gutterWidth(), 0, 0, 0);
    const QRect r = contentsRect();
    m_gutter->setGeometry(r.left(), r.top(), gutterWidth(), r.height());
}

void ComparePane::setComparison(std::shared_ptr<const LineComparison> comparison)
{
    m_comparison = std::move(comparison);
    m_marks.clear();
    updateGutter();
    viewport()->update();
    m_gutter->update();
}

int ComparePane::lineNumber(int row) const
{
    if (!m_comparison || row < 0 || row >= m_comparison->rows.size())
        return 0;
    const CompareRow &r = m_comparison->rows[row];
    return (m_side == Left ? r.left : r.right) + 1;
}

QColor ComparePane::rowColour(CompareRow::Kind kind) const
{
    return m_colours[kind];
}

QColor ComparePane::markColour() const
{
    return m_mark;
}

QList<std::pair<int, int>> ComparePane::marks(int row) const
{
    if (!m_comparison || row < 0 || row >= m_comparison->rows.size()
        || m_comparison->rows[row].kind != CompareRow::Changed)
        return {};
    auto found = m_marks.constFind(row);
    if (found == m_marks.constEnd()) {
        const CompareRow &r = m_comparison->rows[row];
        QStringView left = m_comparison->leftLines[r.left];
        QStringView right = m_comparison->rightLines[r.right];
        if (m_comparison->options.ignoreTrailingBlanks) {
            while (left.endsWith(u' ') || left.endsWith(u'\t'))
                left.chop(1);
            while (right.endsWith(u' ') || right.endsWith(u'\t'))
                right.chop(1);
        }
        const CharacterMarks all = diffCharacters(left, right);
        found = m_marks.insert(row, m_side == Left ? all.left : all.right);
    }
    return found.value();
}

int ComparePane::gutterWidth() const
{
    int lines = 1;
    if (m_comparison)
        lines = int(qMax(m_comparison->leftLines.size(), m_comparison->rightLines.size()));
    return fontMetrics().horizontalAdvance(QString(QString::number(lines).size() + 1, u'9')) + 8;
}

void ComparePane::updateColours()
{
    const QColor text = palette().color(QPalette::Text);
    const bool darkText = text.lightnessF() < 0.5;
    m_colours[CompareRow::Same] = palette().color(QPalette::Base);
    m_colours[CompareRow::Changed]
        = readableBehind(darkText ? QColor(255, 236, 160) : QColor(92, 76, 18), text);
    m_colours[CompareRow::Removed]
        = readableBehind(darkText ? QColor(255, 208, 212) : QColor(104, 32, 38), text);
    m_colours[CompareRow::Added]
        = readableBehind(darkText ? QColor(200, 240, 206) : QColor(28, 84, 42), text);
    m_mark = readableBehind(darkText ? QColor(255, 190, 96) : QColor(150, 96, 20), text);
    m_gap = palette().color(QPalette::Mid);
}

void ComparePane::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        updateColours();
    QPlainTextEdit::changeEvent(event);
}

void ComparePane::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    updateGutter();
}

// Each row's colour and the marked characters go under the text, which
// QPlainTextEdit then paints over them.
void ComparePane::paintEvent(QPaintEvent *event)
{
    if (m_comparison) {
        QPainter painter(viewport());
        const QPointF offset = contentOffset();
        const qreal width = viewport()->width();
        const QRect area = event->rect();
        for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
            const QRectF r = blockBoundingGeometry(block).translated(offset);
            if (r.top() > area.bottom())
                break;
            const int row = block.blockNumber();
            if (row >= m_comparison->rows.size())
                break;
            const CompareRow::Kind kind = m_comparison->rows[row].kind;
            if (kind == CompareRow::Same)
                continue;
            const QRectF line(0, r.top(), width, r.height());
            if (lineNumber(row) == 0) {
                painter.fillRect(line, QBrush(m_gap, Qt::BDiagPattern));
                continue;
            }
            painter.fillRect(line, m_colours[kind]);
            const QTextLayout *layout = block.layout();
            if (kind != CompareRow::Changed || !layout || layout->lineCount() == 0)
                continue;
            const QTextLine text = layout->lineAt(0);
            for (const auto &[start, length] : marks(row)) {
                const qreal x1 = text.cursorToX(start);
                const qreal x2 = text.cursorToX(start + length);
                painter.fillRect(QRectF(offset.x() + r.left() + x1, r.top(), x2 - x1, r.height()),
                                 m_mark);
            }
        }
    }
    QPlainTextEdit::paintEvent(event);
}

void ComparePane::paintGutter(QPaintEvent *event)
{
    QPainter painter(m_gutter);
    painter.fillRect(event->rect(), palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::WindowText));
    const QPointF offset = contentOffset();
    const int right = m_gutter->width() - 4;
    for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
        const QRectF r = blockBoundingGeometry(block).translated(offset);
        if (r.top() > event->rect().bottom())
            break;
        const int number = lineNumber(block.blockNumber());
        if (number > 0) {
            painter.drawText(QRectF(0, r.top(), right, r.height()), Qt::AlignRight,
                             QString::number(number));
        }
    }
}

void ComparePane::mouseDoubleClickEvent(QMouseEvent *event)
{
    QPlainTextEdit::mouseDoubleClickEvent(event);
    const int number = lineNumber(cursorForPosition(event->position().toPoint()).blockNumber());
    if (number > 0)
        Q_EMIT lineActivated(number);
}

FrmCompare::FrmCompare(QWidget *owner, Document *document, const QFont &font)
    : QWidget(owner, Qt::Window)
    , m_document(document)
    , m_compare(new LineCompare(this))
    , m_showProgress(new QTimer(this))
    , m_fill(new QTimer(this))
    , m_follow(new QTimer(this))
{
    setObjectName(QStringLiteral("frmCompare"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(standardFont());

    lblSummary = new QLabel(this);
    lblSummary->setObjectName(QStringLiteral("lblSummary"));
    lblCurrent = new QLabel(this);
    lblCurrent->setObjectName(QStringLiteral("lblCurrent"));
    cmdPrevious = new QPushButton(QStringLiteral("&Previous Difference"), this);
    cmdPrevious->setObjectName(QStringLiteral("cmdPrevious"));
    cmdPrevious->setToolTip(QStringLiteral("Shift+F8"));
    cmdNext = new QPushButton(QStringLiteral("&Next Difference"), this);
    cmdNext->setObjectName(QStringLiteral("cmdNext"));
    cmdNext->setToolTip(QStringLiteral("F8"));
    cmdCopy = new QPushButton(QStringLiteral("&Copy to Document"), this);
    cmdCopy->setObjectName(QStringLiteral("cmdCopy"));
    chkIgnoreBlanks = new QCheckBox(QStringLiteral("&Ignore blank space at line ends"), this);
    chkIgnoreBlanks->setObjectName(QStringLiteral("chkIgnoreBlanks"));
    chkIgnoreBlanks->setChecked(QSettings().value(ignoreBlanksKey, false).toBool());

    fraProgress = new QFrame(this);
    fraProgress->setObjectName(QStringLiteral("fraProgress"));
    lblProgress = new QLabel(fraProgress);
    lblProgress->setObjectName(QStringLiteral("lblProgress"));
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), fraProgress);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    auto *progressRow = new QHBoxLayout(fraProgress);
    progressRow->setContentsMargins(0, 0, 0, 0);
    progressRow->addWidget(lblProgress, 1);
    progressRow->addWidget(cmdCancel);
    fraProgress->hide();

    lblLeft = new QLabel(this);
    lblLeft->setObjectName(QStringLiteral("lblLeft"));
    lblRight = new QLabel(this);
    lblRight->setObjectName(QStringLiteral("lblRight"));
    txtLeft = new ComparePane(ComparePane::Left, this);
    txtLeft->setObjectName(QStringLiteral("txtLeft"));
    txtRight = new ComparePane(ComparePane::Right, this);
    txtRight->setObjectName(QStringLiteral("txtRight"));
    for (ComparePane *pane : {txtLeft, txtRight})
        pane->setFont(font);
    lblLeft->setBuddy(txtLeft);
    lblRight->setBuddy(txtRight);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdPrevious);
    buttons->addWidget(cmdNext);
    buttons->addWidget(cmdCopy);
    buttons->addStretch(1);
    buttons->addWidget(chkIgnoreBlanks);
    auto *panes = new QGridLayout;
    panes->addWidget(lblLeft, 0, 0);
    panes->addWidget(lblRight, 0, 1);
    panes->addWidget(txtLeft, 1, 0);
    panes->addWidget(txtRight, 1, 1);
    auto *column = new QVBoxLayout(this);
    column->addWidget(lblSummary);
    column->addWidget(lblCurrent);
    column->addLayout(buttons);
    column->addWidget(fraProgress);
    column->addLayout(panes, 1);

    // The panes scroll together: their rows are aligned.
    for (auto [from, to] : {std::pair(txtLeft, txtRight), std::pair(txtRight, txtLeft)}) {
        connect(from->verticalScrollBar(), &QScrollBar::valueChanged, to->verticalScrollBar(),
                &QScrollBar::setValue);
        connect(from->horizontalScrollBar(), &QScrollBar::valueChanged, to->horizontalScrollBar(),
                &QScrollBar::setValue);
    }

    auto *actNext = new QAction(QStringLiteral("Next Difference"), this);
    actNext->setObjectName(QStringLiteral("actNextDifference"));
    actNext->setShortcut(QKeySequence(Qt::Key_F8));
    auto *actPrevious = new QAction(QStringLiteral("Previous Difference"), this);
    actPrevious->setObjectName(QStringLiteral("actPreviousDifference"));
    actPrevious->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F8));
    // Escape stops a comparison, or closes the window when none runs.
    auto *actEscape = new QAction(QStringLiteral("Close"), this);
    actEscape->setObjectName(QStringLiteral("actCloseCompare"));
    actEscape->setShortcut(QKeySequence(Qt::Key_Escape));
    addActions({actNext, actPrevious, actEscape});
    connect(actNext, &QAction::triggered, this, [this] { goToDifference(1); });
    connect(actPrevious, &QAction::triggered, this, [this] { goToDifference(-1); });
    connect(actEscape, &QAction::triggered, this, [this] {
        if (isComparing())
            m_compare->cancel();
        else
            close();
    });
    connect(cmdNext, &QPushButton::clicked, actNext, &QAction::trigger);
    connect(cmdPrevious, &QPushButton::clicked, actPrevious, &QAction::trigger);
    connect(cmdCancel, &QPushButton::clicked, m_compare, &LineCompare::cancel);
    connect(cmdCopy, &QPushButton::clicked, this, &FrmCompare::copyToDocument);
    connect(chkIgnoreBlanks, &QCheckBox::toggled, this, [this](bool on) {
        QSettings().setValue(ignoreBlanksKey, on);
        start();
    });
    connect(txtLeft, &ComparePane::lineActivated, this, &FrmCompare::documentLineActivated);

    // A comparison that ends quickly never shows its progress.
    m_showProgress->setSingleShot(true);
    m_showProgress->setInterval(300);
    connect(m_showProgress, &QTimer::timeout, fraProgress, &QWidget::show);
    connect(m_compare, &LineCompare::progress, this,
            [this](int lines) { lblProgress->setText(tr("Comparing... %L1 lines").arg(lines)); });
    connect(m_compare, &LineCompare::finished, this, &FrmCompare::showComparison);
    m_fill->setInterval(0);
    connect(m_fill, &QTimer::timeout, this, &FrmCompare::fillStep);

    // The comparison follows the document's edits once typing pauses.
    m_follow->setSingleShot(true);
    m_follow->setInterval(500);
    connect(m_follow, &QTimer::timeout, this, &FrmCompare::start);
    connect(m_document->textDocument(), &QTextDocument::contentsChange, this,
            [this](int, int removed, int added) {
                // The colours of the text change it without an edit.
                if (removed == added && m_document->textDocument()->revision() == m_revision)
                    return;
                m_stale = true;
                m_follow->start();
                updateButtons();
            });

    resize(twips(13500), twips(8400));
    updateButtons();
}

FrmCompare::~FrmCompare() = default;

bool FrmCompare::isComparing() const
{
    return m_compare->isRunning();
}

void FrmCompare::compare(const QString &rightPath, const QString &rightName)
{
    m_rightPath = rightPath;
    m_rightName = rightName;
    const QString path = m_document->filePath();
    const QString leftName = path.isEmpty() ? tr("Untitled") : QFileInfo(path).fileName();
    setWindowTitle(tr("Compare - %1 and %2").arg(leftName, rightName));
    setAccessibleName(windowTitle());
    // The panes name whole paths: the two files often share their name.
    lblLeft->setText(path.isEmpty() ? leftName : QDir::toNativeSeparators(path));
    lblRight->setText(rightName == QFileInfo(rightPath).fileName()
                          ? QDir::toNativeSeparators(rightPath)
                          : tr("%1 (on disk)").arg(QDir::toNativeSeparators(rightPath)));
    txtLeft->setAccessibleName(tr("Document: %1").arg(leftName));
    txtRight->setAccessibleName(tr("Other file: %1").arg(rightName));
    // Another file is a new comparison, shown from its first difference.
    m_fill->stop();
    m_comparison.reset();
    m_current = -1;
    m_filledRows = 0;
    for (ComparePane *pane : {txtLeft, txtRight}) {
        pane->setComparison(nullptr);
        pane->clear();
    }
    lblCurrent->clear();
    start();
}

void FrmCompare::start()
{
    m_follow->stop();
    m_stale = false;
    m_revision = m_document->textDocument()->revision();
    LineDiffOptions options;
    options.ignoreTrailingBlanks = chkIgnoreBlanks->isChecked();
    lblProgress->setText(tr("Comparing..."));
    m_showProgress->start();
    // The document's own file is read as the document was: in its encoding.
    const FileEncoding encoding = m_document->encoding();
    const bool ownFile = !m_document->cameFromRichText() && !m_document->filePath().isEmpty()
        && QFileInfo(m_rightPath) == QFileInfo(m_document->filePath());
    m_compare->start(m_document->textDocument()->toRawText(), m_rightPath, options,
                     Document::maxFileSize(), Document::maxLineLength,
                     ownFile ? &encoding : nullptr);
    if (!m_comparison)
        lblSummary->setText(tr("Comparing..."));
    updateButtons();
}

void FrmCompare::showComparison(std::shared_ptr<const LineComparison> comparison)
{
    m_showProgress->stop();
    fraProgress->hide();
    if (!comparison->errorString.isEmpty()) {
        showWarning(parentWidget(),
                    tr("Cannot compare with \"%1\": %2")
                        .arg(QDir::toNativeSeparators(m_rightPath), comparison->errorString));
        close();
        return;
    }
    if (comparison->cancelled) {
        m_copyWhenCompared = false;
        if (!m_comparison)
            lblSummary->setText(tr("Comparison cancelled"));
        updateButtons();
        Q_EMIT compared();
        return;
    }
    // The current difference stays where it was, as near as the new ones allow.
    // One copied to the document is gone: the next one is current.
    int current = comparison->differences.isEmpty() ? -1 : 0;
    if (m_comparison && m_current >= 0 && current >= 0) {
        const int wasAt = m_comparison->differences[m_current].leftStart;
        current = int(comparison->differences.size()) - 1;
        for (int i = 0; i < comparison->differences.size(); ++i) {
            if (comparison->differences[i].leftStart >= wasAt) {
                current = i;
                break;
            }
        }
    }
    const std::shared_ptr<const LineComparison> old = m_comparison;
    m_comparison = std::move(comparison);
    m_current = current;
    lblSummary->setText(differenceText(int(m_comparison->differences.size())));
    showCurrent();
    for (ComparePane *pane : {txtLeft, txtRight})
        pane->setComparison(m_comparison);
    if (old) {
        // After an edit only the rows that changed are put in again: a key
        // typed must not wait for the panes of a big file to fill anew.
        replaceChangedRows(*old);
    } else {
        m_filledRows = 0;
        m_pendingRow = m_current >= 0 ? m_comparison->differenceRows[m_current] : -1;
    }
    fillStep();
    if (m_filledRows < m_comparison->rows.size())
        m_fill->start();
    finishComparison();
}

void FrmCompare::finishComparison()
{
    updateButtons();
    Q_EMIT compared();
    if (m_copyWhenCompared) {
        m_copyWhenCompared = false;
        copyToDocument();
    }
}

namespace {

QStringView rowText(const LineComparison &comparison, int row, bool left)
{
    const CompareRow &r = comparison.rows[row];
    const int line = left ? r.left : r.right;
    if (line < 0)
        return {};
    return left ? comparison.leftLines[line] : comparison.rightLines[line];
}

bool sameRow(const LineComparison &a, int rowA, const LineComparison &b, int rowB)
{
    return rowText(a, rowA, true) == rowText(b, rowB, true)
        && rowText(a, rowA, false) == rowText(b, rowB, false)
        && (a.rows[rowA].left < 0) == (b.rows[rowB].left < 0)
        && (a.rows[rowA].right < 0) == (b.rows[rowB].right < 0);
}

} // namespace

void FrmCompare::replaceChangedRows(const LineComparison &old)
{
    const LineComparison &now = *m_comparison;
    // The panes hold the first filled rows of the old comparison.
    const int filled = m_filledRows;
    const int oldRows = int(old.rows.size());
    const int newRows = int(now.rows.size());
    int prefix = 0;
    while (prefix < filled && prefix < newRows && sameRow(old, prefix, now, prefix))
        ++prefix;
    int suffix = 0;
    while (suffix < oldRows - prefix && suffix < newRows - prefix
           && sameRow(old, oldRows - 1 - suffix, now, newRows - 1 - suffix))
        ++suffix;
    // Old rows [prefix, oldEnd) became new rows [prefix, newEnd); a change
    // reaching past what is filled empties the panes from prefix on.
    int oldEnd = oldRows - suffix;
    int newEnd = newRows - suffix;
    if (oldEnd > filled) {
        oldEnd = filled;
        newEnd = prefix;
    }
    m_filledRows = filled + (newEnd - oldEnd);
    if (oldEnd == prefix && newEnd == prefix)
        return;
    for (ComparePane *pane : {txtLeft, txtRight}) {
        const bool left = pane == txtLeft;
        QTextDocument *doc = pane->document();
        QString piece;
        int from = 0;
        int to = doc->characterCount() - 1;
        if (oldEnd < filled) {
            from = doc->findBlockByNumber(prefix).position();
            to = doc->findBlockByNumber(oldEnd).position();
            for (int row = prefix; row < newEnd; ++row) {
                piece += rowText(now, row, left);
                piece += u'\n';
            }
        } else {
            if (prefix > 0) {
                const QTextBlock last = doc->findBlockByNumber(prefix - 1);
                from = last.position() + last.length() - 1;
            }
            for (int row = prefix; row < newEnd; ++row) {
                if (row > 0)
                    piece += u'\n';
                piece += rowText(now, row, left);
            }
        }
        QTextCursor cursor(doc);
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        cursor.insertText(piece);
    }
}

// The panes are filled a part at a time from the event loop, so that the
// window (and the editor) answer while the rows of a big file go in.
void FrmCompare::fillStep()
{
    const QList<CompareRow> &rows = m_comparison->rows;
    QElapsedTimer step;
    step.start();
    while (m_filledRows < rows.size() && step.elapsed() < 4) {
        const int to = int(qMin<qsizetype>(rows.size(), m_filledRows + 100));
        for (ComparePane *pane : {txtLeft, txtRight}) {
            const bool left = pane == txtLeft;
            QString piece;
            for (int row = m_filledRows; row < to; ++row) {
                if (row > 0)
                    piece += u'\n';
                piece += rowText(*m_comparison, row, left);
            }
            QTextCursor end(pane->document());
            end.movePosition(QTextCursor::End);
            end.insertText(piece);
        }
        m_filledRows = to;
    }
    if (m_filledRows >= rows.size())
        m_fill->stop();
    if (m_pendingRow >= 0 && (m_pendingRow < m_filledRows || m_filledRows >= rows.size())) {
        scrollToRow(m_pendingRow);
        m_pendingRow = -1;
    }
}

void FrmCompare::scrollToRow(int row)
{
    for (ComparePane *pane : {txtLeft, txtRight}) {
        const QTextBlock block = pane->document()->findBlockByNumber(row);
        if (block.isValid())
            pane->setTextCursor(QTextCursor(block));
    }
    // A few rows of what comes before stay in sight above it.
    txtLeft->verticalScrollBar()->setValue(qMax(0, row - 3));
}

void FrmCompare::goToDifference(int step)
{
    if (!m_comparison || m_comparison->differences.isEmpty())
        return;
    const int count = int(m_comparison->differences.size());
    m_current = m_current < 0 ? (step > 0 ? 0 : count - 1) : (m_current + step + count) % count;
    showCurrent();
    const int row = m_comparison->differenceRows[m_current];
    if (row < m_filledRows)
        scrollToRow(row);
    else
        m_pendingRow = row;
}

void FrmCompare::showCurrent()
{
    if (m_current < 0) {
        lblCurrent->clear();
    } else {
        lblCurrent->setText(tr("Difference %L1 of %L2: %3")
                                .arg(m_current + 1)
                                .arg(m_comparison->differences.size())
                                .arg(placeText(m_comparison->differences[m_current])));
    }
}

void FrmCompare::updateButtons()
{
    const bool any = m_comparison && !m_comparison->differences.isEmpty();
    cmdNext->setEnabled(any);
    cmdPrevious->setEnabled(any);
    cmdCopy->setEnabled(any && m_current >= 0);
}

// The other file's lines of the current difference in place of the
// document's, as one step of the document's undo. Whole lines go in, each
// no longer than a line of a file that opens, so no line grows past the
// limit.
void FrmCompare::copyToDocument()
{
    if (!m_comparison || m_current < 0)
        return;
    if (m_stale || isComparing()) {
        m_copyWhenCompared = true;
        if (!isComparing())
            start();
        return;
    }
    const LineDifference d = m_comparison->differences[m_current];
    const QString &text = m_comparison->leftText;
    const QList<QStringView> &lines = m_comparison->leftLines;
    const auto lineStart = [&](int line) {
        return line < lines.size() ? qsizetype(lines[line].data() - text.data()) : text.size();
    };
    QString replacement;
    for (int i = 0; i < d.rightCount; ++i) {
        replacement += m_comparison->rightLines[d.rightStart + i];
        replacement += u'\n';
    }
    const qsizetype from = lineStart(d.leftStart);
    const qsizetype to = lineStart(d.leftStart + d.leftCount);
    // At the end of a text whose last line has no line end, the lines go
    // after a line end of their own and end without one.
    if (to == text.size() && !text.isEmpty() && !replacement.isEmpty()) {
        const QChar last = text.back();
        if (last != QChar::ParagraphSeparator && last != QChar::LineSeparator) {
            replacement.chop(1);
            if (d.leftCount == 0)
                replacement.prepend(u'\n');
        }
    }
    QTextCursor cursor(m_document->textDocument());
    cursor.beginEditBlock();
    cursor.setPosition(int(from));
    cursor.setPosition(int(to), QTextCursor::KeepAnchor);
    cursor.insertText(replacement);
    cursor.endEditBlock();
    // Shown again at once rather than after the pause for typing.
    start();
}
