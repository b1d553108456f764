#include "commenttoggle.h"
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
    const QList<CommentToggle::Change> changes
        = CommentToggle::changes(last.blockNumber() - firstLine + 1, [doc, firstLine](int i) {
              return doc->findBlockByNumber(firstLine + i).text();
          });
    if (changes.isEmpty())
        return;
    for (const CommentToggle::Change &change : changes) {
        if (!change.insert)
            continue;
        const QTextBlock line = doc->findBlockByNumber(firstLine + change.line);
        if (!rtf->lineLimitAllows(QTextCursor(line), u"//")) {
            refuseLongLine();
            return;
        }
    }

    const bool startsLine
        = selection.hasSelection() && selection.selectionStart() == first.position();
    QTextCursor edit(doc);
    edit.beginEditBlock();
    for (const CommentToggle::Change &change : changes) {
        const int at = doc->findBlockByNumber(firstLine + change.line).position() + change.column;
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
