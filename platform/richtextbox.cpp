#include "richtextbox.h"

#include "rtfreader.h"

#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QSaveFile>
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

int RichTextBox::appendText(const QString &text)
{
    // The document's last position is the implicit paragraph end after the text.
    const int start = document()->characterCount() - 1;
    if (m_hasFormatting) {
        // Appending in place would keep the formatting; the content is
        // plain text after any command writes it.
        setText(Text() + text);
    } else {
        asOneChange([&] {
            QTextCursor end(document());
            end.movePosition(QTextCursor::End);
            end.beginEditBlock();
            end.insertText(text);
            end.endEditBlock();
        });
        document()->setModified(true);
    }
    return start;
}

void RichTextBox::setFileEncoding(TextEncoding encoding, bool bom)
{
    m_encoding = encoding;
    m_bom = bom;
}

bool RichTextBox::LoadFile(const QString &path, FileType type)
{
    m_errorString.clear();
    const QFileInfo info(path);
    if (info.isDir()) {
        m_errorString = tr("It is a folder, not a file.");
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_errorString = file.errorString();
        return false;
    }
    if (file.size() > maxFileSize) {
        m_errorString = tr("The file is larger than %1 MB.").arg(maxFileSize / (1024 * 1024));
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        m_errorString = file.errorString();
        return false;
    }
    file.close();

    const auto refuseLongLines = [this](qsizetype longest) {
        if (longest <= maxLineLength)
            return false;
        m_errorString
            = tr("It has a line longer than %1 characters, too long to edit.").arg(maxLineLength);
        return true;
    };

    if (type == rtfRTF && looksLikeRtf(bytes)) {
        const RtfContent content = readRtf(bytes);
        qsizetype longest = 0;
        for (const QStringView paragraph :
             QStringView(content.text).tokenize(QChar(QChar::ParagraphSeparator)))
            longest = qMax(longest, paragraph.size());
        if (refuseLongLines(longest))
            return false;
        asOneChange([&] { replaceWithRtf(content); });
        setFileEncoding(TextEncoding::Auto, false);
        document()->setModified(false);
        return true;
    }
    const TextFormat format = detectTextFormat(bytes);
    if (refuseLongLines(longestLine(bytes, format.encoding)))
        return false;
    TextPieces pieces(bytes, format);
    asOneChange([&] { replaceWithPieces(pieces); });
    setFileEncoding(format.encoding, format.bom);
    document()->setModified(false);
    return true;
}

bool RichTextBox::SaveFile(const QString &path, FileType type)
{
    Q_UNUSED(type);
    m_errorString.clear();
    TextEncoding used = m_encoding;
    const QByteArray bytes = encodeText(Text(), m_encoding, m_bom, &used);

    // Unbuffered, and written until all is out: through Qt's buffer a full
    // disk would only show in commit(), which ignores it and renames the cut
    // file over the old one; and a short write carries no reason, the write
    // of the rest does.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        m_errorString = file.errorString();
        return false;
    }
    for (qint64 done = 0, written = 0; done < bytes.size(); done += written) {
        written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            m_errorString = file.errorString();
            file.cancelWriting();
            return false;
        }
    }
    if (!file.commit()) {
        m_errorString = file.errorString();
        return false;
    }
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
    // insertText takes LF, CR LF and lone CR as line breaks, so pasted
    // Windows text brings no stray CR characters.
    textCursor().insertText(source->text());
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
    QPlainTextEdit::keyPressEvent(event);
}
