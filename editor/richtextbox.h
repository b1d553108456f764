#pragma once

#include <QList>
#include <QPlainTextEdit>
#include <QUrl>

#include <memory>

class Document;

// The editing control: the view of a Document. It shows the document's
// text with any per-character formatting, takes keys, the mouse and dropped
// or pasted text, and keeps every edit within the document's line limit. It
// is a QPlainTextEdit because that stays responsive on documents of many MB,
// where QTextEdit's full layout freezes the window for seconds.
class RichTextBox : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit RichTextBox(QWidget *parent = nullptr);
    ~RichTextBox() override;

    // Shows the model's text from now on, and follows it when a load
    // replaces it.
    void setModel(Document *model);
    Document *model() const { return m_model; }

    // The whole content as plain text with CR LF line ends, every character
    // kept exactly (a non-breaking space stays one). For tests and the
    // bench; the program asks the document (Document::text()).
    QString Text() const;
    // Replaces the whole content with plain text (any line ends) and raises
    // Change exactly once.
    void setText(const QString &text);
    // Appends text at the very end of the content and raises Change once;
    // the result is that of setText(Text() + text). The document keeps its
    // undo history and gains one undo step; on a plain document the cost is
    // that of the appended text alone. A document with formatting is
    // rewritten as plain text, and undoing brings the formatting back.
    // Returns the position at which the appended text starts, or -1, nothing
    // changed, when the last line would grow past the line limit.
    int appendText(const QString &text);

    // True while the content carries formatting read from a rich-text file.
    bool hasFormatting() const;

    // The numbers of the lines in a gutter left of the text; on at first.
    void setLineNumbersVisible(bool visible);
    bool lineNumbersVisible() const;

Q_SIGNALS:
    // Raised once after every change of the content, whoever made it.
    void Change();
    // The control now shows another document object (document() changed),
    // for whoever decorates the document, like a highlighter.
    void documentReplaced();
    // A paste or drop was refused because it would make a line longer than
    // the limit; the window says so.
    void lineLimitRefused();
    // Ctrl with the mouse wheel: bigger (steps > 0) or smaller text wanted.
    void zoomRequested(int steps);
    // Files were dropped on the control (from a file manager, say): they are
    // for the window to open, not text to insert. A paste of files pastes
    // their paths instead.
    void filesDropped(const QList<QUrl> &files);

protected:
    QMimeData *createMimeDataFromSelection() const override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    void dropEvent(QDropEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

    // Runs a content replacement as one change, raising Change once after it.
    template<typename F>
    void asOneChange(F &&replace);

private:
    struct EarlierView;
    // What the deleting key would delete (a null cursor for another key).
    QTextCursor deletedBy(const QKeyEvent *event) const;
    class LineNumberArea;
    int lineNumberWidth() const;
    void updateLineNumberMargin();
    void paintLineNumbers(QPaintEvent *event);
    void onContentsChange(int position, int charsRemoved, int charsAdded);
    void onDocumentReplaced();
    void onLoadStarted();
    void onLoadEnded(bool completed);
    // Connects the control to the document it shows.
    void attachDocument(QTextDocument *doc);

    Document *m_model = nullptr;
    // The view of the document shown before a load, put back if it is cancelled.
    std::unique_ptr<EarlierView> m_earlier;
    int m_batchDepth = 0;
    bool m_hasFormatting = false;
    bool m_dropping = false; // insertFromMimeData serves a drop, not a paste
    // The undo step count right after an insertion made a formatted document
    // plain; fewer steps (undone) mean the formatting is back. -1: none.
    int m_plainAtStep = -1;
    LineNumberArea *m_lineNumbers = nullptr;
    // The most lines the gutter keeps room for while the document is big.
    qint64 m_linesRoom = 0;
    // The line whose number is drawn as the current one.
    int m_caretLine = 0;
    // Wheel turns too small for a zoom step yet (touchpads send many).
    int m_zoomWheel = 0;
};
