#pragma once

#include "textcodec.h"

#include <QStatusBar>

class Document;
class QLabel;
class QTextCursor;
class QTimer;
class RichTextBox;

// The foot of the editor window: where the caret is and how much is
// selected, how Save writes the document (its encoding and line ends), and
// how far a file has loaded. Each part is a label whose accessible name is
// the text it shows, announced to screen readers when it changes.
class StatusBar : public QStatusBar
{
    Q_OBJECT
public:
    StatusBar(RichTextBox *text, Document *document, QWidget *parent);

    QLabel *lblPosition = nullptr;
    QLabel *lblLoading = nullptr;
    QLabel *lblEncoding = nullptr;
    QLabel *lblLineEnd = nullptr;

private:
    void showPosition();
    void showEncoding();
    void showLoadProgress(int percent);
    void onLoadEnded(bool completed);
    void onTextReplaced();
    void onContentsChange(int position, int charsRemoved, int charsAdded);
    // Characters (code points) of the selection, counting a line break as one.
    qsizetype selectedCharacters(const QTextCursor &cursor);
    // True when the text between the positions has a character Windows-1252 lacks.
    bool needsUtf8(int from, int to) const;
    static bool needsUtf8(const QString &text);
    void checkWholeText();

    RichTextBox *m_text;
    Document *m_document;
    // The selection counted last, so that moving one end of a big selection
    // counts only the stretch it moved over. anchor -1: none.
    struct Counted
    {
        int anchor = -1;
        int position = -1;
        qsizetype characters = 0;
    } m_counted;
    // Whether a document whose encoding Save decides from its text holds a
    // character Windows-1252 lacks; followed edit by edit, since looking at
    // all of a big document on every key would be too slow.
    bool m_needsUtf8 = false;
    // Whether the text may hold a character outside the BMP (a surrogate
    // pair, one character in two code units). Not in a Windows-1252 or
    // ASCII file, the usual case; followed edit by edit like the above,
    // so that Select All on a big document costs nothing to count.
    bool m_mayHavePairs = false;
    // After a removal from such a document: a look at the whole text, once
    // typing pauses.
    QTimer *m_recheck = nullptr;
};
