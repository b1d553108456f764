#pragma once

#include <QStatusBar>

class Document;
class QLabel;
class QTextCursor;
class RichTextBox;

// The foot of the editor window: where the caret is and how much is
// selected, and how Save writes the document (the name of its encoding, and
// its line ends). Each part is a label whose accessible name is the text it
// shows, announced to screen readers when it changes.
class StatusBar : public QStatusBar
{
    Q_OBJECT
public:
    StatusBar(RichTextBox *text, Document *document, QWidget *parent);

    QLabel *lblPosition = nullptr;
    QLabel *lblEncoding = nullptr;
    QLabel *lblLineEnd = nullptr;

private:
    void showPosition();
    void showEncoding();
    void onLoadEnded(bool completed);
    void onTextReplaced();
    void onContentsChange(int position, int charsRemoved, int charsAdded);
    // Characters (code points) of the selection, counting a line break as one.
    qsizetype selectedCharacters(const QTextCursor &cursor);

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
    // Whether the text may hold a character outside the BMP (a surrogate
    // pair, one character in two code units). Not in a Windows-1252 or
    // ASCII file, the usual case; followed edit by edit, so that Select All
    // on a big document costs nothing to count.
    bool m_mayHavePairs = false;
};
