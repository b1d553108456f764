#include "richtextbox.h"

#include "messagebox.h"
#include "rtfreader.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

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

RichTextBox::RichTextBox(QWidget *parent)
    : QPlainTextEdit(parent)
{
    connect(document(), &QTextDocument::contentsChange, this, &RichTextBox::onContentsChange);
    // A new edit after the insertion that made the document plain was undone
    // drops that insertion from the redo history: the formatting stays.
    connect(document(), &QTextDocument::undoCommandAdded, this, [this] {
        if (m_plainAtStep >= 0 && document()->availableUndoSteps() == m_plainAtStep)
            m_plainAtStep = -1;
    });
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
    if (m_batchDepth == 0 && (charsRemoved != 0 || charsAdded != 0))
        Q_EMIT Change();
}

QString RichTextBox::Text() const
{
    return withLineEnds(document()->toRawText(), QLatin1String("\r\n"));
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

namespace {

// Starts the document afresh (no undo history, the caret at the start) and
// fills it through one cursor, as one edit.
template<typename Fill>
void refill(QPlainTextEdit *edit, Fill &&fill)
{
    edit->setPlainText(QString());
    QTextDocument *doc = edit->document();
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    fill(cursor);
    cursor.endEditBlock();
    doc->setUndoRedoEnabled(undo);
    edit->setTextCursor(QTextCursor(doc));
}

} // namespace

void RichTextBox::replaceWithPieces(TextPieces &pieces)
{
    // A big file goes in piece by piece rather than as one decoded string:
    // that spares building (and page-faulting) a copy of the whole text,
    // which costs as much as a third of the load on a file of 50 MB.
    refill(this, [&](QTextCursor &cursor) {
        QString piece;
        while (pieces.next(&piece))
            cursor.insertText(piece);
    });
    m_hasFormatting = false;
}

void RichTextBox::replaceWithRtf(const RtfContent &content)
{
    refill(this, [&](QTextCursor &cursor) { insertRtf(cursor, content); });
    m_hasFormatting = true;
}

void RichTextBox::setText(const QString &text)
{
    asOneChange([&] { replaceContent(text); });
    document()->setModified(true);
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

bool RichTextBox::fileChangedOnDisk(const QString &path)
{
    if (m_file.path().isEmpty() || QFileInfo(m_file.path()) != QFileInfo(path))
        return false;
    m_file.takeUnnoticedChange();
    return m_file.changedOnDisk();
}

bool RichTextBox::newFileChangeOnDisk(const QString &path)
{
    return !m_file.path().isEmpty() && QFileInfo(m_file.path()) == QFileInfo(path)
        && m_file.takeUnnoticedChange();
}

bool RichTextBox::isRichTextSource(const QString &path) const
{
    return m_richSource && QFileInfo(m_file.path()) == QFileInfo(path);
}

void RichTextBox::forgetFile()
{
    m_file.clear();
    m_richSource = false;
    setFileEncoding(TextEncoding::Auto, false);
}

bool RichTextBox::LoadFile(const QString &path, FileType type)
{
    m_errorString.clear();
    TextFile file;
    if (!file.read(path, maxFileSize)) {
        m_errorString = file.errorString();
        return false;
    }
    const QByteArray &bytes = file.bytes();
    const auto refuseLongLines = [this](qsizetype longest) {
        if (longest <= maxLineLength)
            return false;
        m_errorString
            = tr("It has a line longer than %1 characters, too long to edit.").arg(maxLineLength);
        return true;
    };

    const bool rich = type == rtfRTF && looksLikeRtf(bytes);
    if (rich) {
        const RtfContent content = readRtf(bytes);
        if (refuseLongLines(longestLine(content.text)))
            return false;
        asOneChange([&] { replaceWithRtf(content); });
        setFileEncoding(TextEncoding::Auto, false);
    } else {
        const TextFormat format = detectTextFormat(bytes);
        if (refuseLongLines(longestLine(bytes, format)))
            return false;
        TextPieces pieces(bytes, format);
        asOneChange([&] { replaceWithPieces(pieces); });
        setFileEncoding(format.encoding, format.bom);
    }
    m_plainAtStep = -1;
    m_richSource = rich;
    file.releaseBytes();
    m_file = std::move(file);
    document()->setModified(false);
    return true;
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
    const QByteArray bytes = encodeText(Text(), m_encoding, m_bom, &used);
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
