#include "insertcommands.h"

#include "frmmain.h"
#include "richtextbox.h"

#include <QTextCursor>

namespace {

// Appends the snippet at the very end of the document, wherever the caret or
// the selection is, and puts the caret `caretOffset` characters into it.
void appendSnippet(const QString &snippet, int caretOffset)
{
    RichTextBox *rtf = frmMain().rtfMain();
    if (!rtf)
        return;
    const int start = rtf->appendText(snippet);
    if (start < 0)
        return;
    QTextCursor caret = rtf->textCursor();
    caret.setPosition(start + caretOffset);
    rtf->setTextCursor(caret);
    rtf->ensureCursorVisible();
}

void appendSnippet(const QString &snippet)
{
    appendSnippet(snippet, int(snippet.size()));
}

} // namespace

void mnuInclude_Click()
{
    const QString includeLine
        = QLatin1String("#include ") + QChar(34) + QLatin1String(".vyx") + QChar(34);
    // The caret waits right after the first quote, where the user types the
    // base name of the included file.
    appendSnippet(includeLine, int(includeLine.indexOf(QChar(34))) + 1);
}

void mnuItemSeparator_Click()
{
    appendSnippet(QLatin1String("//") + QString(53, QLatin1Char('*')));
}

void mnuDoubleSlash_Click()
{
    appendSnippet(QStringLiteral("//"));
}

void mnuHash_Click()
{
    appendSnippet(QStringLiteral("#"));
}
