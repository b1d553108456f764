#include "statusbar.h"

#include "document.h"
#include "richtextbox.h"

#include <QAccessible>
#include <QLabel>
#include <QTextBlock>
#include <QTextDocument>

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
    lblEncoding = addLabel(this, "lblEncoding", true);
    lblLineEnd = addLabel(this, "lblLineEnd", true);
    // Save writes CR LF whatever line ends the file was read with.
    lblLineEnd->setText(QStringLiteral("CR LF"));

    connect(text, &QPlainTextEdit::cursorPositionChanged, this, &StatusBar::showPosition);
    connect(text, &QPlainTextEdit::selectionChanged, this, &StatusBar::showPosition);
    connect(text, &RichTextBox::documentReplaced, this, &StatusBar::onTextReplaced);
    // How Save will write a file is known once it has loaded; how far the
    // load has come is the loading panel's to show.
    connect(document, &Document::loadStarted, lblEncoding, &QWidget::hide);
    connect(document, &Document::loadEnded, this, &StatusBar::onLoadEnded);
    connect(document, &Document::encodingChanged, this, &StatusBar::showEncoding);
    onTextReplaced();
}

void StatusBar::onTextReplaced()
{
    QTextDocument *doc = m_text->document();
    connect(doc, &QTextDocument::contentsChange, this, &StatusBar::onContentsChange,
            Qt::UniqueConnection);
    m_counted = Counted();
    showPosition();
    showEncoding();
}

void StatusBar::onLoadEnded(bool completed)
{
    lblEncoding->show();
    // A cancelled load puts back the document, and what was known of it.
    if (completed) {
        // A plain file left to Save's choice is plain ASCII; a rich-text
        // file's text can hold anything.
        const FileEncoding encoding = m_document->encoding();
        m_mayHavePairs = m_document->cameFromRichText()
            || !(encoding.isAuto() || encoding.kind == TextEncoding::Windows1252);
    }
    showEncoding();
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
        return qsizetype(to - from)
            - surrogatePairs(Document::textBetween(m_text->document(), from, to));
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

void StatusBar::onContentsChange(int position, int charsRemoved, int charsAdded)
{
    m_counted = Counted();
    if (m_document->isLoading())
        return;
    if (charsRemoved > 0 && m_text->document()->characterCount() <= 256 * 1024) {
        // What was removed is gone: only the text left can tell whether the
        // pairs went with it.
        m_mayHavePairs = surrogatePairs(m_text->document()->toRawText()) > 0;
    } else if (charsAdded > 0 && !m_mayHavePairs) {
        m_mayHavePairs = surrogatePairs(Document::textBetween(m_text->document(), position,
                                                              position + charsAdded))
            > 0;
    }
}

void StatusBar::showEncoding()
{
    lblEncoding->setText(m_document->encoding().name);
}
