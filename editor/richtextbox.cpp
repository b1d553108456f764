#include "richtextbox.h"

#include "document.h"
#include "memory.h"
#include "textcodec.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>

namespace {

// Every edit asks the document's line rule.
bool lineLimitAllows(const QTextCursor &cursor, QStringView text)
{
    return Document::lineLimitAllows(cursor, text);
}

} // namespace

// How the control showed the document before a load: given back with it
// when the load is cancelled.
struct RichTextBox::EarlierView
{
    QTextCursor caret;
    QPoint scroll;
    bool readOnly = false;
    Qt::TextInteractionFlags flags;
};

// The gutter with the line numbers: a strip of the control's frame beside
// the viewport, painted by the control, which knows where its lines are.
class RichTextBox::LineNumberArea : public QWidget
{
public:
    explicit LineNumberArea(RichTextBox *text)
        : QWidget(text)
        , m_text(text)
    {
    }

protected:
    void paintEvent(QPaintEvent *event) override { m_text->paintLineNumbers(event); }

private:
    RichTextBox *m_text;
};

RichTextBox::RichTextBox(QWidget *parent)
    : QPlainTextEdit(parent)
{
    m_lineNumbers = new LineNumberArea(this);
    m_lineNumbers->setObjectName(QStringLiteral("lineNumbers"));
    // Nothing visible names the strip of numbers.
    m_lineNumbers->setAccessibleName(QStringLiteral("Line numbers"));
    // The viewport tells what of it moved or changed; the gutter follows
    // exactly that, so scrolling a page costs a page of numbers.
    connect(this, &QPlainTextEdit::updateRequest, m_lineNumbers, [this](const QRect &rect, int dy) {
        if (dy)
            m_lineNumbers->scroll(0, dy);
        else
            m_lineNumbers->update(0, rect.y(), m_lineNumbers->width(), rect.height());
    });
    connect(this, &QPlainTextEdit::blockCountChanged, this, &RichTextBox::updateLineNumberMargin);
    connect(this, &QPlainTextEdit::cursorPositionChanged, m_lineNumbers, [this] {
        const int line = textCursor().blockNumber();
        if (line != m_caretLine) {
            m_caretLine = line;
            m_lineNumbers->update();
        }
    });
    attachDocument(document());
    updateLineNumberMargin();
}

RichTextBox::~RichTextBox() = default;

void RichTextBox::setModel(Document *model)
{
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    // The model's documents look as this control was set up to show text.
    QTextDocument *doc = model->textDocument();
    doc->setDefaultFont(document()->defaultFont());
    doc->setDocumentMargin(document()->documentMargin());
    doc->setDefaultTextOption(document()->defaultTextOption());
    connect(model, &Document::documentReplaced, this, &RichTextBox::onDocumentReplaced);
    connect(model, &Document::loadStarted, this, &RichTextBox::onLoadStarted);
    connect(model, &Document::loadEnded, this, &RichTextBox::onLoadEnded);
    onDocumentReplaced();
}

void RichTextBox::attachDocument(QTextDocument *doc)
{
    connect(doc, &QTextDocument::contentsChange, this, &RichTextBox::onContentsChange);
    // A new edit after the insertion that made the document plain was undone
    // drops that insertion from the redo history: the formatting stays.
    connect(doc, &QTextDocument::undoCommandAdded, this, [this] {
        if (m_plainAtStep >= 0 && document()->availableUndoSteps() == m_plainAtStep)
            m_plainAtStep = -1;
    });
}

void RichTextBox::onDocumentReplaced()
{
    QTextDocument *old = document();
    if (old == m_model->textDocument())
        return;
    // A load begins: how the document shown so far was viewed is kept, for
    // a cancelled load to give back.
    if (m_model->isLoading() && !m_earlier) {
        m_earlier = std::make_unique<EarlierView>();
        m_earlier->caret = textCursor();
        m_earlier->scroll = QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
        m_earlier->readOnly = isReadOnly();
        m_earlier->flags = textInteractionFlags();
    }
    // A file of n bytes has at most n + 1 lines: the gutter takes its width
    // for those at once, not digit by digit as the lines come in.
    if (m_model->isLoading())
        m_linesRoom = QFileInfo(m_model->filePath()).size() + 1;
    disconnect(old, nullptr, this, nullptr);
    setDocument(m_model->textDocument());
    attachDocument(document());
    // The scroll bars settle on what the document holds now (their showing
    // is queued), before a load puts the rest in.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    updateLineNumberMargin();
    Q_EMIT documentReplaced();
}

void RichTextBox::onLoadStarted()
{
    // Read-only until complete; moving around and selecting go on working.
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void RichTextBox::onLoadEnded(bool completed)
{
    std::unique_ptr<EarlierView> earlier = std::move(m_earlier);
    if (earlier) {
        setReadOnly(earlier->readOnly);
        setTextInteractionFlags(earlier->flags);
    }
    if (!completed) {
        if (earlier) {
            setTextCursor(earlier->caret);
            horizontalScrollBar()->setValue(earlier->scroll.x());
            verticalScrollBar()->setValue(earlier->scroll.y());
        }
        return;
    }
    m_hasFormatting = m_model->cameFromRichText();
    m_plainAtStep = -1;
    Q_EMIT Change();
}

template<typename F>
void RichTextBox::asOneChange(F &&replace)
{
    ++m_batchDepth;
    replace();
    --m_batchDepth;
    if (m_batchDepth == 0)
        Q_EMIT Change();
}

void RichTextBox::onContentsChange(int, int charsRemoved, int charsAdded)
{
    // Formatting-only changes leave the text as it was; a load raises Change
    // once, when it completes.
    const bool loading = m_model && m_model->isLoading();
    if (m_batchDepth == 0 && !loading && (charsRemoved != 0 || charsAdded != 0))
        Q_EMIT Change();
}

QString RichTextBox::Text() const
{
    return m_model ? m_model->text() : withLineEnds(document()->toRawText(), QLatin1String("\r\n"));
}

void RichTextBox::setText(const QString &text)
{
    const bool wasLarge = document()->characterCount() > Document::loadPieceBytes;
    asOneChange([&] {
        m_hasFormatting = false;
        // setPlainText takes LF, CR LF and lone CR alike as line breaks.
        setPlainText(text);
    });
    document()->setModified(true);
    // The large document's memory is kept a while for the next one.
    if (wasLarge)
        returnFreedMemoryWhenIdle();
}

bool RichTextBox::hasFormatting() const
{
    return m_hasFormatting
        && (m_plainAtStep < 0 || document()->availableUndoSteps() < m_plainAtStep);
}

int RichTextBox::appendText(const QString &text)
{
    // The document's last position is the implicit paragraph end after the text.
    const int start = document()->characterCount() - 1;
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    if (!lineLimitAllows(end, text))
        return -1;
    if (hasFormatting()) {
        // The content is plain text after any command writes it; rewritten
        // as one edit, so that undo brings the formatted text back.
        const QString plain = document()->toRawText() + text;
        asOneChange([&] {
            QTextCursor all(document());
            all.beginEditBlock();
            all.select(QTextCursor::Document);
            all.removeSelectedText();
            all.setBlockFormat(QTextBlockFormat());
            all.setCharFormat(QTextCharFormat());
            all.insertText(plain);
            all.endEditBlock();
        });
        m_plainAtStep = document()->availableUndoSteps();
    } else {
        asOneChange([&] {
            end.beginEditBlock();
            end.insertText(text);
            end.endEditBlock();
        });
    }
    document()->setModified(true);
    return start;
}

QMimeData *RichTextBox::createMimeDataFromSelection() const
{
    // Plain text only, with the platform's LF line ends.
    auto *mime = new QMimeData;
    mime->setText(withLineEnds(textCursor().selectedText(), QLatin1String("\n")));
    return mime;
}

namespace {

// The local files a drag carries; a file manager also offers them as text
// (their URLs), which is not what the user means to drop.
QList<QUrl> droppedFiles(const QMimeData *source)
{
    QList<QUrl> files;
    if (source && source->hasUrls()) {
        for (const QUrl &url : source->urls()) {
            if (url.isLocalFile())
                files.append(url);
        }
    }
    return files;
}

} // namespace

bool RichTextBox::canInsertFromMimeData(const QMimeData *source) const
{
    return !droppedFiles(source).isEmpty() || QPlainTextEdit::canInsertFromMimeData(source);
}

// Only a drop opens files; the control hands a drop to insertFromMimeData
// as it does a paste, so that is told which it is.
void RichTextBox::dropEvent(QDropEvent *event)
{
    m_dropping = true;
    QPlainTextEdit::dropEvent(event);
    m_dropping = false;
}

// A paste is always text: a file manager's Copy of a file pastes its path,
// it never opens the file (which could drop the work after "Save Changes?").
void RichTextBox::insertFromMimeData(const QMimeData *source)
{
    const QList<QUrl> files = droppedFiles(source);
    if (m_dropping && !files.isEmpty()) {
        Q_EMIT filesDropped(files);
        return;
    }
    // The widget's own Ctrl+V reaches here even while the text is read-only
    // (a file loading).
    if (!source || isReadOnly())
        return;
    // Qt gives URLs as text too, but as URLs: a file's path is what a user
    // means to paste.
    const QStringList formats = source->formats();
    const bool plain = std::any_of(formats.begin(), formats.end(), [](const QString &format) {
        return format.startsWith(QLatin1String("text/plain"));
    });
    QString text;
    if (plain || files.isEmpty()) {
        text = source->text();
    } else {
        QStringList paths;
        for (const QUrl &file : files)
            paths.append(QDir::toNativeSeparators(file.toLocalFile()));
        text = paths.join(u'\n');
    }
    if (text.isEmpty())
        return;
    if (!lineLimitAllows(textCursor(), text)) {
        Q_EMIT lineLimitRefused();
        return;
    }
    // insertText takes LF, CR LF and lone CR as line breaks, so pasted
    // Windows text brings no stray CR characters.
    textCursor().insertText(text);
    ensureCursorVisible();
}

void RichTextBox::keyPressEvent(QKeyEvent *event)
{
    // Alt with a key that has text belongs to the menus (a mnemonic) or to
    // nothing; it never types. Ctrl+Alt is AltGr on some keyboards and does.
    const Qt::KeyboardModifiers mods = event->modifiers();
    if ((mods & Qt::AltModifier) && !(mods & Qt::ControlModifier) && !event->text().isEmpty()
        && event->text().front().isPrint()) {
        event->ignore();
        return;
    }
    const QString text = event->text();
    if (!text.isEmpty() && (text.front().isPrint() || text.front() == u'\t')
        && !lineLimitAllows(textCursor(), text)) {
        QApplication::beep(); // a message box per key would be worse
        return;
    }
    // Deleting a line end joins two lines: refused, like a paste, when the
    // line that makes would be too long to edit.
    if (!isReadOnly() && !lineLimitAllows(deletedBy(event), QStringView())) {
        Q_EMIT lineLimitRefused();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

QTextCursor RichTextBox::deletedBy(const QKeyEvent *event) const
{
    QTextCursor cursor = textCursor();
    if (cursor.hasSelection()) {
        const bool deletes = event->matches(QKeySequence::Delete)
            || event->key() == Qt::Key_Backspace || event->matches(QKeySequence::DeleteEndOfWord)
            || event->matches(QKeySequence::DeleteStartOfWord);
        return deletes ? cursor : QTextCursor();
    }
    QTextCursor::MoveOperation move;
    if (event->matches(QKeySequence::Delete))
        move = QTextCursor::NextCharacter;
    else if (event->matches(QKeySequence::DeleteEndOfWord))
        move = QTextCursor::NextWord;
    else if (event->key() == Qt::Key_Backspace && event->modifiers() == Qt::NoModifier)
        move = QTextCursor::PreviousCharacter;
    else if (event->matches(QKeySequence::DeleteStartOfWord))
        move = QTextCursor::PreviousWord;
    else
        return QTextCursor();
    cursor.movePosition(move, QTextCursor::KeepAnchor);
    return cursor;
}

void RichTextBox::inputMethodEvent(QInputMethodEvent *event)
{
    // What an input method commits goes in as typed text does.
    if (!event->commitString().isEmpty() && !lineLimitAllows(textCursor(), event->commitString())) {
        Q_EMIT lineLimitRefused();
        QInputMethodEvent keepPreedit(QString(), {});
        QPlainTextEdit::inputMethodEvent(&keepPreedit);
        return;
    }
    QPlainTextEdit::inputMethodEvent(event);
}

void RichTextBox::wheelEvent(QWheelEvent *event)
{
    if (!(event->modifiers() & Qt::ControlModifier)) {
        m_zoomWheel = 0;
        QPlainTextEdit::wheelEvent(event);
        return;
    }
    // One notch of a wheel is 120; a touchpad sends it in small parts.
    m_zoomWheel += event->angleDelta().y();
    const int steps = m_zoomWheel / QWheelEvent::DefaultDeltasPerStep;
    m_zoomWheel %= QWheelEvent::DefaultDeltasPerStep;
    if (steps)
        Q_EMIT zoomRequested(steps);
    event->accept();
}

void RichTextBox::setLineNumbersVisible(bool visible)
{
    m_lineNumbers->setVisible(visible);
    updateLineNumberMargin();
}

bool RichTextBox::lineNumbersVisible() const
{
    return !m_lineNumbers->isHidden();
}

int RichTextBox::lineNumberWidth() const
{
    if (!lineNumbersVisible())
        return 0;
    // Room for at least three digits, so that the text does not shift
    // while a short document grows.
    int digits = 3;
    for (qint64 lines = qMax<qint64>(blockCount(), m_linesRoom); lines >= 1000; lines /= 10)
        ++digits;
    QFont bold = font();
    bold.setBold(true);
    return QFontMetrics(bold).horizontalAdvance(QLatin1Char('9')) * digits
        + 2 * QFontMetrics(font()).averageCharWidth();
}

void RichTextBox::updateLineNumberMargin()
{
    // Each change of the gutter's width changes the text area's, which lays
    // out every line anew and keeps a layout object for each: on a big
    // document (one being loaded, too) the gutter stays as wide as it may
    // ever need to be. A small one gives the room back.
    if (document()->characterCount() <= Document::loadPieceBytes
        && !(m_model && m_model->isLoading()))
        m_linesRoom = 0;
    const int width = lineNumberWidth();
    if (viewportMargins().left() != width)
        setViewportMargins(width, 0, 0, 0);
    const QRect frame = contentsRect();
    m_lineNumbers->setGeometry(frame.left(), frame.top(), width, frame.height());
}

void RichTextBox::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    updateLineNumberMargin();
}

void RichTextBox::changeEvent(QEvent *event)
{
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateLineNumberMargin();
}

void RichTextBox::paintLineNumbers(QPaintEvent *event)
{
    QPainter painter(m_lineNumbers);
    const QPalette &colours = palette();
    painter.fillRect(event->rect(), colours.color(QPalette::Base));
    // Fainter than the text but still easy to read: the text's colour mixed
    // 60:40 with the background stays above a contrast of 4.5 on the usual
    // palettes, where the theme's placeholder colour often does not.
    const QColor text = colours.color(QPalette::Text);
    const QColor base = colours.color(QPalette::Base);
    const QColor muted = QColor::fromRgbF(text.redF() * 0.6f + base.redF() * 0.4f,
                                          text.greenF() * 0.6f + base.greenF() * 0.4f,
                                          text.blueF() * 0.6f + base.blueF() * 0.4f);
    QFont bold = font();
    bold.setBold(true);
    const int right = m_lineNumbers->width() - QFontMetrics(font()).averageCharWidth();
    const int lineHeight = fontMetrics().height();

    // Only the lines on screen: a page of numbers, whatever the document's size.
    QTextBlock block = firstVisibleBlock();
    int number = block.blockNumber();
    qreal top = blockBoundingGeometry(block).translated(contentOffset()).top();
    while (block.isValid() && top <= event->rect().bottom()) {
        const qreal height = blockBoundingRect(block).height();
        if (block.isVisible() && top + height >= event->rect().top()) {
            const bool current = number == m_caretLine;
            painter.setPen(current ? text : muted);
            painter.setFont(current ? bold : font());
            painter.drawText(QRectF(0, top, right, lineHeight), Qt::AlignRight | Qt::AlignTop,
                             QString::number(number + 1));
        }
        top += height;
        block = block.next();
        ++number;
    }
}
