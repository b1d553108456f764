#include "statusbar.h"

#include "document.h"
#include "richtextbox.h"

#include <QAccessible>
#include <QLabel>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

namespace {

// Code points in UTF-16 text: a surrogate pair is one character. A lone
// surrogate (a byte the file's encoding could not read) is one too.
qsizetype surrogatePairs(QStringView text)
{
    qsizetype pairs = 0;
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text[i].isLowSurrogate() && text[i - 1].isHighSurrogate()) {
            ++pairs;
            ++i;
        }
    }
    return pairs;
}

// Calls visit with each line's part of the text between the positions,
// without copying more than one line at a time.
template<typename Visit>
void forEachLine(const QTextDocument *doc, int from, int to, Visit &&visit)
{
    for (QTextBlock b = doc->findBlock(from); b.isValid() && b.position() < to; b = b.next()) {
        const QString text = b.text();
        const int start = qMax(0, from - b.position());
        const int end = qBound(start, to - b.position(), int(text.size()));
        if (!visit(QStringView(text).sliced(start, end - start)))
            return;
    }
}

QLabel *addLabel(QStatusBar *bar, const char *name, bool permanent)
{
    auto *label = new QLabel(bar);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    // In line with the text's edges above.
    label->setContentsMargins(6, 0, 6, 0);
    if (permanent)
        bar->addPermanentWidget(label);
    else
        bar->addWidget(label, 1);
    return label;
}

} // namespace

StatusBar::StatusBar(RichTextBox *text, Document *document, QWidget *parent)
    : QStatusBar(parent)
    , m_text(text)
    , m_document(document)
{
    setObjectName(QStringLiteral("sbrStatus"));
    // Nothing visible names the bar itself; its labels speak for themselves.
    setAccessibleName(QStringLiteral("Status"));
    // The editor window has a fixed size.
    setSizeGripEnabled(false);

    lblPosition = addLabel(this, "lblPosition", false);
    lblLoading = addLabel(this, "lblLoading", false);
    lblLoading->hide();
    lblEncoding = addLabel(this, "lblEncoding", true);
    lblLineEnd = addLabel(this, "lblLineEnd", true);
    // Save writes CR LF whatever line ends the file was read with.
    lblLineEnd->setText(QStringLiteral("CR LF"));

    m_recheck = new QTimer(this);
    m_recheck->setSingleShot(true);
    m_recheck->setInterval(500);
    connect(m_recheck, &QTimer::timeout, this, &StatusBar::checkWholeText);

    connect(text, &QPlainTextEdit::cursorPositionChanged, this, &StatusBar::showPosition);
    connect(text, &QPlainTextEdit::selectionChanged, this, &StatusBar::showPosition);
    connect(text, &RichTextBox::documentReplaced, this, &StatusBar::onTextReplaced);
    connect(document, &Document::loadStarted, this, [this] {
        lblEncoding->hide();
        showLoadProgress(0);
        lblLoading->show();
    });
    connect(document, &Document::loadProgress, this, &StatusBar::showLoadProgress);
    connect(document, &Document::loadEnded, this, &StatusBar::onLoadEnded);
    // Save and New change the encoding, and both leave the text unmodified.
    connect(document, &Document::filePathChanged, this, &StatusBar::showEncoding);
    onTextReplaced();
}

QString StatusBar::encodingName(TextEncoding encoding, bool bom)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return bom ? QStringLiteral("UTF-8 with BOM") : QStringLiteral("UTF-8");
    case TextEncoding::Utf16LE:
        return QStringLiteral("UTF-16 LE");
    case TextEncoding::Utf16BE:
        return QStringLiteral("UTF-16 BE");
    case TextEncoding::Windows1252:
    case TextEncoding::Auto:
        break;
    }
    return QStringLiteral("Windows-1252");
}

void StatusBar::onTextReplaced()
{
    QTextDocument *doc = m_text->document();
    connect(doc, &QTextDocument::contentsChange, this, &StatusBar::onContentsChange,
            Qt::UniqueConnection);
    connect(doc, &QTextDocument::modificationChanged, this, &StatusBar::showEncoding,
            Qt::UniqueConnection);
    m_counted = Counted();
    showPosition();
    showEncoding();
}

void StatusBar::onLoadEnded()
{
    lblLoading->hide();
    lblEncoding->show();
    // A plain file left to Save's choice is plain ASCII; a rich-text file's
    // text can hold anything.
    m_needsUtf8 = m_document->encoding() == TextEncoding::Auto && m_document->cameFromRichText()
        && needsUtf8(0, m_text->document()->characterCount() - 1);
    showEncoding();
}

void StatusBar::showLoadProgress(int percent)
{
    lblLoading->setText(QStringLiteral("Loading... %1%").arg(percent));
}

void StatusBar::showPosition()
{
    const QTextCursor caret = m_text->textCursor();
    const QTextBlock line = caret.block();
    const QString before = line.text().left(caret.positionInBlock());
    QString where = QStringLiteral("Ln %1, Col %2")
                        .arg(line.blockNumber() + 1)
                        .arg(before.size() - surrogatePairs(before) + 1);
    if (caret.hasSelection())
        where += QStringLiteral(" (%1 selected)").arg(selectedCharacters(caret));
    lblPosition->setText(where);
}

qsizetype StatusBar::selectedCharacters(const QTextCursor &cursor)
{
    const int anchor = cursor.anchor();
    const int position = cursor.position();
    const auto characters = [this](int from, int to) {
        qsizetype pairs = 0;
        forEachLine(m_text->document(), from, to, [&pairs](QStringView part) {
            pairs += surrogatePairs(part);
            return true;
        });
        // Each line break between the lines counts as one character.
        return qsizetype(to - from) - pairs;
    };
    qsizetype count;
    if (m_counted.anchor == anchor && (m_counted.position > anchor) == (position > anchor)) {
        const qsizetype moved
            = characters(qMin(position, m_counted.position), qMax(position, m_counted.position));
        count = qAbs(position - anchor) > qAbs(m_counted.position - anchor)
            ? m_counted.characters + moved
            : m_counted.characters - moved;
    } else {
        count = characters(qMin(anchor, position), qMax(anchor, position));
    }
    m_counted = {anchor, position, count};
    return count;
}

bool StatusBar::needsUtf8(int from, int to) const
{
    bool found = false;
    forEachLine(m_text->document(), from, to, [&found](QStringView part) {
        found = !fitsEncoding(part, TextEncoding::Windows1252);
        return !found;
    });
    return found;
}

void StatusBar::checkWholeText()
{
    m_needsUtf8 = needsUtf8(0, m_text->document()->characterCount() - 1);
    showEncoding();
}

void StatusBar::onContentsChange(int position, int charsRemoved, int charsAdded)
{
    m_counted = Counted();
    if (m_document->isLoading() || m_document->encoding() != TextEncoding::Auto)
        return;
    if (charsAdded > 0 && !m_needsUtf8) {
        m_needsUtf8 = needsUtf8(position, position + charsAdded);
    } else if (charsRemoved > 0 && m_needsUtf8) {
        // What was removed is gone: only the text left can tell whether the
        // character Windows-1252 lacks went with it. At once for a small
        // document, once typing pauses for a big one.
        if (m_text->document()->characterCount() <= 256 * 1024)
            checkWholeText();
        else
            m_recheck->start();
    }
    showEncoding();
}

void StatusBar::showEncoding()
{
    TextEncoding encoding = m_document->encoding();
    bool bom = m_document->hasBom();
    if (encoding == TextEncoding::Auto) {
        // The encoding Save will write.
        encoding = m_needsUtf8 ? TextEncoding::Utf8 : TextEncoding::Windows1252;
        bom = false;
    }
    lblEncoding->setText(encodingName(encoding, bom));
}
