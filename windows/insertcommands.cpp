#include "frmmain.h"
#include "includecompleter.h"
#include "richtextbox.h"

#include <QTextBlock>
#include <QTextCursor>

// Appends the snippet at the very end of the document, wherever the caret or
// the selection is, and puts the caret `caretOffset` characters into it.
void FrmMainWindow::appendSnippet(const QString &snippet, int caretOffset)
{
    RichTextBox *rtf = rtfMain;
    const int start = rtf->appendText(snippet);
    if (start < 0) {
        refuseLongLine();
        return;
    }
    QTextCursor caret = rtf->textCursor();
    caret.setPosition(start + caretOffset);
    rtf->setTextCursor(caret);
    rtf->ensureCursorVisible();
}

void FrmMainWindow::appendSnippet(const QString &snippet)
{
    appendSnippet(snippet, int(snippet.size()));
}

void FrmMainWindow::mnuInclude_Click()
{
    const QString includeLine
        = QLatin1String("#include ") + QLatin1Char('"') + QLatin1String(".vyx") + QLatin1Char('"');
    // The caret waits right after the first quote, where the user types the
    // base name of the included file.
    appendSnippet(includeLine, int(includeLine.indexOf(QLatin1Char('"'))) + 1);
    // On a line of its own the include is there to be named: offer the names.
    if (rtfMain->textCursor().block().text() == includeLine)
        includeCompleter->offerNames();
}

void FrmMainWindow::mnuItemSeparator_Click()
{
    appendSnippet(QLatin1String("//") + QString(53, QLatin1Char('*')));
}

void FrmMainWindow::mnuDoubleSlash_Click()
{
    appendSnippet(QStringLiteral("//"));
}

void FrmMainWindow::mnuHash_Click()
{
    appendSnippet(QStringLiteral("#"));
}
