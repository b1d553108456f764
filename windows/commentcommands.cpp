#include "commenttoggle.h"
#include "document.h"
#include "frmmain.h"
#include "richtextbox.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

// Comments the lines the selection touches (or the caret's line) in or out,
// as one undo step that keeps any formatting, and leaves the selection over
// the same lines.
void FrmMainWindow::mnuToggleComment_Click()
{
    RichTextBox *rtf = rtfMain;
    if (rtf->isReadOnly())
        return;
    QTextDocument *doc = rtf->document();
    QTextCursor selection = rtf->textCursor();
    const QTextBlock first = doc->findBlock(selection.selectionStart());
    QTextBlock last = doc->findBlock(selection.selectionEnd());
    // A selection that ends at the start of a line stops before that line.
    if (last != first && selection.selectionEnd() == last.position())
        last = last.previous();
    const int firstLine = first.blockNumber();
    // The lines are read in order, twice: stepping from line to line costs
    // less than looking each up by number.
    QTextBlock reading = first;
    int readingLine = 0;
    const QList<CommentToggle::Change> changes = CommentToggle::changes(
        last.blockNumber() - firstLine + 1, [&reading, &readingLine, first](int i) {
            if (i < readingLine) {
                reading = first;
                readingLine = 0;
            }
            for (; readingLine < i; ++readingLine)
                reading = reading.next();
            return reading.text();
        });
    if (changes.isEmpty())
        return;
    // The blocks of the changed lines, found once; they stay valid while
    // their text changes.
    QList<QTextBlock> lines;
    lines.reserve(changes.size());
    QTextBlock line = first;
    int number = 0;
    for (const CommentToggle::Change &change : changes) {
        for (; number < change.line; ++number)
            line = line.next();
        if (change.insert && !Document::lineLimitAllows(QTextCursor(line), u"//")) {
            refuseLongLine();
            return;
        }
        lines.append(line);
    }

    const bool startsLine
        = selection.hasSelection() && selection.selectionStart() == first.position();
    QTextCursor edit(doc);
    edit.beginEditBlock();
    // From the last line back, so that each change leaves the positions of
    // those still to do as they were.
    for (qsizetype i = changes.size() - 1; i >= 0; --i) {
        const CommentToggle::Change &change = changes.at(i);
        const int at = lines.at(i).position() + change.column;
        edit.setPosition(at);
        if (change.insert) {
            edit.insertText(QStringLiteral("//"));
        } else {
            edit.setPosition(at + 2, QTextCursor::KeepAnchor);
            edit.removeSelectedText();
        }
    }
    edit.endEditBlock();

    // The caret and selection moved with the text; a selection that began
    // at the start of a line takes in the "//" put there.
    selection = rtf->textCursor();
    if (startsLine) {
        const bool forward = selection.anchor() < selection.position();
        const int end = forward ? selection.position() : selection.anchor();
        selection.setPosition(forward ? first.position() : end);
        selection.setPosition(forward ? end : first.position(), QTextCursor::KeepAnchor);
    }
    rtf->setTextCursor(selection);
    rtf->ensureCursorVisible();
}
