#include "statusbar.h"

#include "document.h"
#include "richtextbox.h"

#include <QAccessible>
#include <QLabel>
#include <QStringTokenizer>
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

// The text between the positions, lines separated by U+2029. One pass over
// the document's pieces; reading it line by line costs ten times that on
// a document of a million lines.
QString textBetween(QTextDocument *doc, int from, int to)
{
    QTextCursor range(doc);
    range.setPosition(from);
    range.setPosition(to, QTextCursor::KeepAnchor);
    return range.selectedText();
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
    connect(document, &Document::encodingChanged, this, &StatusBar::showEncoding);
    onTextReplaced();
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

void StatusBar::onLoadEnded(bool completed)
{
    lblLoading->hide();
    lblEncoding->show();
    // A cancelled load puts back the document, and what was known of it.
    if (completed) {
        // A plain file left to Save's choice is plain ASCII; a rich-text
        // file's text can hold anything.
        const TextEncoding encoding = m_document->encoding();
        const bool rich = m_document->cameFromRichText();
        m_needsUtf8 = encoding == TextEncoding::Auto && rich
            && needsUtf8(0, m_text->document()->characterCount() - 1);
        m_mayHavePairs
            = rich || (encoding != TextEncoding::Auto && encoding != TextEncoding::Windows1252);
    }
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
    // Each line break counts as one character.
    const auto characters = [this](int from, int to) {
        return qsizetype(to - from) - surrogatePairs(textBetween(m_text->document(), from, to));
    };
    if (!m_mayHavePairs)
        return qAbs(position - anchor);
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
    return needsUtf8(textBetween(m_text->document(), from, to));
}

bool StatusBar::needsUtf8(const QString &text)
{
    for (const QStringView line : qTokenize(text, QChar(QChar::ParagraphSeparator))) {
        if (!fitsEncoding(line, TextEncoding::Windows1252))
            return true;
    }
    return false;
}

void StatusBar::checkWholeText()
{
    const QString text = m_text->document()->toRawText();
    m_needsUtf8 = needsUtf8(text);
    m_mayHavePairs = surrogatePairs(text) > 0;
    showEncoding();
}

void StatusBar::onContentsChange(int position, int charsRemoved, int charsAdded)
{
    m_counted = Counted();
    if (m_document->isLoading())
        return;
    const bool small = m_text->document()->characterCount() <= 256 * 1024;
    if (charsRemoved > 0 && small) {
        // What was removed is gone: only the text left can tell whether the
        // characters looked for went with it.
        checkWholeText();
        return;
    }
    const bool autoEncoding = m_document->encoding() == TextEncoding::Auto;
    if (charsAdded > 0 && (!m_mayHavePairs || (autoEncoding && !m_needsUtf8))) {
        const QString added = textBetween(m_text->document(), position, position + charsAdded);
        m_mayHavePairs = m_mayHavePairs || surrogatePairs(added) > 0;
        m_needsUtf8 = m_needsUtf8 || (autoEncoding && needsUtf8(added));
    }
    // Once typing pauses, as a look at all of a big document per key would
    // be too slow; and only for what shows, the encoding Save would choose.
    if (charsRemoved > 0 && autoEncoding && m_needsUtf8)
        m_recheck->start();
    showEncoding();
}

void StatusBar::showEncoding()
{
    // An encoding the user chose by name (File > Reopen with Encoding).
    if (!m_document->legacyEncoding().isEmpty()) {
        lblEncoding->setText(m_document->legacyEncoding());
        return;
    }
    TextEncoding encoding = m_document->encoding();
    bool bom = m_document->hasBom();
    if (encoding == TextEncoding::Auto) {
        // The encoding Save will write.
        encoding = m_needsUtf8 ? TextEncoding::Utf8 : TextEncoding::Windows1252;
        bom = false;
    }
    // The codec's own names, and a UTF-8 BOM named too: UTF-8 files mostly go without.
    lblEncoding->setText(encoding == TextEncoding::Utf8 && bom ? QStringLiteral("UTF-8 with BOM")
                                                               : encodingName(encoding));
}
