#include "richtextbox.h"

#include "memory.h"
#include "messagebox.h"
#include "rtfreader.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <climits>

namespace {

// The document separates blocks with U+2029 and keeps soft line breaks as
// U+2028; both are line ends in the plain text the program works with.
// Works in one pass: QString::replace with a longer replacement reallocates
// the whole string once per 1024 hits, which takes seconds on a document of
// many MB. A one-character line end is replaced in place, since every fresh
// copy of a large text costs more in page faults than the copying itself.
QString withLineEnds(QString raw, QLatin1String lineEnd)
{
    if (lineEnd.size() == 1) {
        const QChar end = QLatin1Char(lineEnd.front());
        raw.replace(QChar::ParagraphSeparator, end);
        raw.replace(QChar::LineSeparator, end);
        return raw;
    }
    const auto isLineEnd
        = [](QChar c) { return c == QChar::ParagraphSeparator || c == QChar::LineSeparator; };
    const qsizetype lineEnds = std::count_if(raw.cbegin(), raw.cend(), isLineEnd);
    if (lineEnds == 0)
        return raw;
    QString out(raw.size() + lineEnds * (lineEnd.size() - 1), Qt::Uninitialized);
    QChar *dst = out.data();
    for (const QChar c : std::as_const(raw)) {
        if (isLineEnd(c)) {
            for (const char e : lineEnd)
                *dst++ = QLatin1Char(e);
        } else {
            *dst++ = c;
        }
    }
    return out;
}

} // namespace

// A load under way: the file, what reads it, the document being filled
// (shown already) and the one shown before, kept aside with its view state.
struct RichTextBox::Load
{
    TextFile file;
    std::unique_ptr<TextPieces> pieces;
    TextFormat format;
    RtfContent rtf;
    std::unique_ptr<RtfInserter> inserter;
    QTextCursor cursor;

    std::unique_ptr<QTextDocument> earlier;
    QTextCursor earlierCaret;
    QPoint earlierScroll;
    bool earlierReadOnly = false;
    Qt::TextInteractionFlags earlierFlags;

    int percent = -1;

    int progress() const
    {
        if (inserter)
            return rtf.text.isEmpty() ? 100 : int(inserter->inserted() * 100 / rtf.text.size());
        return pieces->bytesTotal() == 0 ? 100
                                         : int(pieces->bytesDone() * 100 / pieces->bytesTotal());
    }
};

RichTextBox::RichTextBox(QWidget *parent)
    : QPlainTextEdit(parent)
{
    m_loadTimer = new QTimer(this);
    m_loadTimer->setSingleShot(true);
    connect(m_loadTimer, &QTimer::timeout, this, &RichTextBox::runLoadStep);
    attachDocument(document());
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

RichTextBox::~RichTextBox()
{
    m_load.reset();
    // The document goes with the widget's children, after this; its memory
    // can go back to the system once control is back in the event loop.
    if (document()->characterCount() > loadPieceBytes)
        QTimer::singleShot(0, qApp, returnFreedMemory);
}

qint64 RichTextBox::maxFileSize()
{
    const qint64 available = availableMemoryBytes();
    const qint64 fits = available > 0 ? available / peakBytesPerFileByte : qint64(512) << 20;
    // A document counts its characters in int.
    return qMin(fits, qint64(INT_MAX) / 2);
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
    // Formatting-only changes leave the text as it was.
    if (m_batchDepth == 0 && !m_load && (charsRemoved != 0 || charsAdded != 0))
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

void RichTextBox::replaceContent(const QString &text)
{
    m_hasFormatting = false;
    // setPlainText takes LF, CR LF and lone CR alike as line breaks.
    setPlainText(text);
}

void RichTextBox::setText(const QString &text)
{
    const bool wasLarge = document()->characterCount() > loadPieceBytes;
    asOneChange([&] { replaceContent(text); });
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
    if (!lineLimitAllows(end, text)) {
        refuseLongLine();
        return -1;
    }
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

void RichTextBox::setFileEncoding(TextEncoding encoding, bool bom)
{
    m_encoding = encoding;
    m_bom = bom;
}

bool RichTextBox::saveChangesEncoding() const
{
    return m_encoding == TextEncoding::Windows1252 && !fitsEncoding(Text(), m_encoding);
}

bool RichTextBox::isDocumentFile(const QString &path) const
{
    return !m_file.path().isEmpty() && QFileInfo(m_file.path()) == QFileInfo(path);
}

bool RichTextBox::fileChangedOnDisk(const QString &path)
{
    if (!isDocumentFile(path))
        return false;
    m_file.takeUnnoticedChange();
    return m_file.changedOnDisk();
}

bool RichTextBox::newFileChangeOnDisk(const QString &path)
{
    return isDocumentFile(path) && m_file.takeUnnoticedChange();
}

bool RichTextBox::isRichTextSource(const QString &path) const
{
    return m_richSource && isDocumentFile(path);
}

void RichTextBox::forgetFile()
{
    m_file.clear();
    m_richSource = false;
    setFileEncoding(TextEncoding::Auto, false);
}

bool RichTextBox::LoadFile(const QString &path, FileType type)
{
    if (!beginLoad(path, type))
        return false;
    finishLoad();
    return true;
}

bool RichTextBox::beginLoad(const QString &path, FileType type)
{
    cancelLoad();
    m_errorString.clear();
    const qint64 cap = maxFileSize();
    const QFileInfo info(path);
    if (info.isFile() && info.size() > cap) {
        m_errorString = tr("The file is larger than %1 MB, the most the memory available now "
                           "can hold.")
                            .arg(cap / (1024 * 1024));
        return false;
    }
    auto load = std::make_unique<Load>();
    if (!load->file.read(path, cap)) {
        m_errorString = load->file.errorString();
        return false;
    }
    const QByteArray &bytes = load->file.bytes();
    const auto refuseLongLines = [this](qsizetype longest) {
        if (longest <= maxLineLength)
            return false;
        m_errorString
            = tr("It has a line longer than %1 characters, too long to edit.").arg(maxLineLength);
        return true;
    };

    if (type == rtfRTF && looksLikeRtf(bytes)) {
        load->rtf = readRtf(bytes);
        load->file.releaseBytes();
        if (refuseLongLines(longestLine(load->rtf.text)))
            return false;
        load->inserter = std::make_unique<RtfInserter>(load->rtf);
    } else {
        load->format = detectTextFormat(bytes);
        if (refuseLongLines(longestLine(bytes, load->format)))
            return false;
        load->pieces = std::make_unique<TextPieces>(bytes, load->format, loadPieceBytes);
    }

    // The file goes into a document of its own, so that the one shown now
    // survives untouched until the load completes.
    auto *doc = new QTextDocument(this);
    doc->setDocumentLayout(new QPlainTextDocumentLayout(doc));
    doc->setDefaultFont(document()->defaultFont());
    doc->setDocumentMargin(document()->documentMargin());
    doc->setDefaultTextOption(document()->defaultTextOption());
    doc->setUndoRedoEnabled(false);
    load->cursor = QTextCursor(doc);
    m_load = std::move(load);

    // The document is shown with its first piece in, and the scroll bars
    // settle on that at once (their showing is queued). Each change of the
    // text area's width lays out every line there is anew, keeping a layout
    // object per line: after a whole file that would cost half again the
    // document's memory.
    bool more = loadStep(1);
    Load &l = *m_load;
    l.earlierCaret = textCursor();
    l.earlierScroll = QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
    l.earlierReadOnly = isReadOnly();
    l.earlierFlags = textInteractionFlags();
    l.earlier.reset(swapDocument(doc));
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);

    QElapsedTimer elapsed;
    elapsed.start();
    while (more && elapsed.elapsed() < m_loadStepMs)
        more = loadStep(1);
    if (!more) {
        completeLoad();
        return true;
    }
    // Read-only until complete; moving around and selecting go on working.
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Q_EMIT loadStarted();
    scheduleLoadStep();
    return true;
}

void RichTextBox::runLoadStep()
{
    if (!m_load)
        return;
    QElapsedTimer step;
    step.start();
    bool more = true;
    do
        more = loadStep(1);
    while (more && step.elapsed() < m_loadStepMs);
    if (more)
        scheduleLoadStep();
    else
        completeLoad();
}

void RichTextBox::scheduleLoadStep()
{
    const int percent = m_load->progress();
    if (percent != m_load->percent) {
        m_load->percent = percent;
        Q_EMIT loadProgress(percent);
    }
    m_loadTimer->start(0);
}

bool RichTextBox::loadStep(qsizetype pieces)
{
    Load &l = *m_load;
    bool more = true;
    l.cursor.beginEditBlock();
    for (qsizetype i = 0; i < pieces && more; ++i) {
        if (l.inserter) {
            more = l.inserter->insertSome(l.cursor, loadPieceBytes);
        } else {
            QString piece;
            if (l.pieces->next(&piece))
                l.cursor.insertText(piece);
            more = l.pieces->bytesDone() < l.pieces->bytesTotal();
        }
    }
    l.cursor.endEditBlock();
    return more;
}

void RichTextBox::finishLoad()
{
    if (!m_load)
        return;
    // In bigger steps than in the background: each one costs a pass of the
    // widget over the new lines.
    while (loadStep(16)) { }
    completeLoad();
}

void RichTextBox::completeLoad()
{
    m_loadTimer->stop();
    std::unique_ptr<Load> done = std::move(m_load);
    QTextDocument *doc = document();
    // Turning undo back on starts an empty history: a loaded file has no
    // undo steps.
    doc->setUndoRedoEnabled(true);
    doc->setModified(false);
    setReadOnly(done->earlierReadOnly);
    setTextInteractionFlags(done->earlierFlags);
    m_hasFormatting = done->inserter != nullptr;
    if (done->inserter)
        setFileEncoding(TextEncoding::Auto, false);
    else
        setFileEncoding(done->format.encoding, done->format.bom);
    m_plainAtStep = -1;
    m_richSource = m_hasFormatting;
    done->pieces.reset();
    done->file.releaseBytes();
    m_file = std::move(done->file);
    done.reset();
    returnFreedMemory();
    Q_EMIT Change();
    Q_EMIT loadEnded(true);
}

void RichTextBox::cancelLoad()
{
    if (!m_load)
        return;
    m_loadTimer->stop();
    std::unique_ptr<Load> load = std::move(m_load);
    QTextDocument *earlier = load->earlier.release();
    std::unique_ptr<QTextDocument> loaded(swapDocument(earlier));
    earlier->setParent(this);
    setReadOnly(load->earlierReadOnly);
    setTextInteractionFlags(load->earlierFlags);
    setTextCursor(load->earlierCaret);
    horizontalScrollBar()->setValue(load->earlierScroll.x());
    verticalScrollBar()->setValue(load->earlierScroll.y());
    loaded.reset();
    load.reset();
    returnFreedMemory();
    Q_EMIT loadEnded(false);
}

QTextDocument *RichTextBox::swapDocument(QTextDocument *doc)
{
    QTextDocument *old = document();
    disconnect(old, &QTextDocument::contentsChange, this, nullptr);
    disconnect(old, &QTextDocument::undoCommandAdded, this, nullptr);
    // Whoever the old document belonged to, the caller owns it now, so that
    // setDocument does not delete it.
    old->setParent(nullptr);
    setDocument(doc);
    attachDocument(doc);
    Q_EMIT documentReplaced();
    return old;
}

QByteArray RichTextBox::encodedText(TextEncoding *used) const
{
    // The text is given its line ends and encoded a slice at a time, so that
    // saving a big document holds little more than one copy of its text and
    // the bytes at once.
    constexpr qsizetype sliceChars = 1024 * 1024;
    const QString raw = document()->toRawText();
    TextEncoding encoding = m_encoding;
    bool bom = m_bom;
    QByteArray out;
    out.reserve(raw.size() + raw.size() / 32);
    qsizetype pos = 0;
    do {
        qsizetype end = qMin(raw.size(), pos + sliceChars);
        if (end < raw.size() && raw.at(end - 1).isHighSurrogate())
            ++end;
        TextEncoding sliceEncoding = encoding;
        const QByteArray bytes
            = encodeText(withLineEnds(raw.mid(pos, end - pos), QLatin1String("\r\n")), encoding,
                         bom && pos == 0, &sliceEncoding);
        if (sliceEncoding != encoding) {
            // A character Windows-1252 lacks: the whole text goes as UTF-8.
            encoding = sliceEncoding;
            bom = false;
            if (pos > 0) {
                out.clear();
                pos = 0;
                continue;
            }
        }
        out.append(bytes);
        pos = end;
    } while (pos < raw.size());
    *used = encoding;
    return out;
}

bool RichTextBox::SaveFile(const QString &path, FileType type)
{
    Q_UNUSED(type);
    m_errorString.clear();
    // Typing and pasting keep to the limit, but a replacement can still make
    // a line longer. A block is at least as long as its longest line, so
    // only the rare long block needs its text looked at.
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
        if (b.length() > maxLineLength && longestLine(b.text()) > maxLineLength) {
            m_errorString = tr("Line %1 is longer than %2 characters; the editor could not "
                               "open the file again. Break the line, then save.")
                                .arg(b.blockNumber() + 1)
                                .arg(maxLineLength);
            return false;
        }
    }
    TextEncoding used = m_encoding;
    const QByteArray bytes = encodedText(&used);
    if (!m_file.write(path, bytes)) {
        m_errorString = m_file.errorString();
        return false;
    }
    m_richSource = false;
    if (used != m_encoding)
        setFileEncoding(used, false);
    return true;
}

QMimeData *RichTextBox::createMimeDataFromSelection() const
{
    // Plain text only, with the platform's LF line ends.
    auto *mime = new QMimeData;
    mime->setText(withLineEnds(textCursor().selectedText(), QLatin1String("\n")));
    return mime;
}

void RichTextBox::insertFromMimeData(const QMimeData *source)
{
    if (!source || !source->hasText())
        return;
    const QString text = source->text();
    if (!lineLimitAllows(textCursor(), text)) {
        refuseLongLine();
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
    if (first.length() + last.length() + text.size() <= maxLineLength)
        return true;
    const QString before = first.text().left(cursor.selectionStart() - first.position());
    const QString after = last.text().mid(cursor.selectionEnd() - last.position());
    return longestLine(QString(before + text.toString() + after)) <= maxLineLength;
}

void RichTextBox::refuseLongLine()
{
    showWarning(window(),
                tr("This would make a line longer than %1 characters, too long to edit.")
                    .arg(maxLineLength));
}
