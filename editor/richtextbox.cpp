#include "richtextbox.h"

#include "document.h"
#include "memory.h"
#include "textcodec.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

// How the control showed the document before a load: given back with it
// when the load is cancelled.
struct RichTextBox::EarlierView
{
    QTextCursor caret;
    QPoint scroll;
    bool readOnly = false;
    Qt::TextInteractionFlags flags;
};

RichTextBox::RichTextBox(QWidget *parent)
    : QPlainTextEdit(parent)
{
    attachDocument(document());
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
    disconnect(old, nullptr, this, nullptr);
    setDocument(m_model->textDocument());
    attachDocument(document());
    // The scroll bars settle on what the document holds now (their showing
    // is queued), before a load puts the rest in.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
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
    return textWithLineEnds(QLatin1String("\r\n"));
}

QString RichTextBox::textWithLineEnds(QLatin1String lineEnd) const
{
    return withLineEnds(document()->toRawText(), lineEnd);
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
    if (wasLarge)
        returnFreedMemory();
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

void RichTextBox::insertFromMimeData(const QMimeData *source)
{
    const QList<QUrl> files = droppedFiles(source);
    if (!files.isEmpty()) {
        Q_EMIT filesDropped(files);
        return;
    }
    if (!source || !source->hasText())
        return;
    const QString text = source->text();
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
    QPlainTextEdit::keyPressEvent(event);
}

bool RichTextBox::lineLimitAllows(const QTextCursor &cursor, QStringView text) const
{
    // Only the lines around the cursor can grow. Cheap for the usual short
    // block: its text is copied, never the document's.
    const QTextBlock first = document()->findBlock(cursor.selectionStart());
    const QTextBlock last = document()->findBlock(cursor.selectionEnd());
    if (first.length() + last.length() + text.size() <= Document::maxLineLength)
        return true;
    const QString before = first.text().left(cursor.selectionStart() - first.position());
    const QString after = last.text().mid(cursor.selectionEnd() - last.position());
    return longestLine(QString(before + text.toString() + after)) <= Document::maxLineLength;
}
