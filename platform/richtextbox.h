#pragma once

#include "rtfreader.h"
#include "textcodec.h"

#include <QPlainTextEdit>

// The editing control: a multi-line text box that shows per-character
// formatting and offers the members the editor's commands rely on. It is a
// QPlainTextEdit because that stays responsive on documents of many MB,
// where QTextEdit's full layout freezes the window for seconds.
class RichTextBox : public QPlainTextEdit
{
    Q_OBJECT
public:
    enum FileType { rtfRTF = 0, rtfText = 1 };

    // Files above this size are refused with a message instead of exhausting memory.
    static constexpr qint64 maxFileSize = qint64(512) * 1024 * 1024;
    // Lines longer than this are refused too: the widget lays out a line as
    // a whole, so each key pressed on a line of megabytes would take seconds.
    static constexpr qsizetype maxLineLength = 65536;

    explicit RichTextBox(QWidget *parent = nullptr);

    // The whole content as plain text with CR LF line ends, every character
    // kept exactly (a non-breaking space stays one).
    QString Text() const;
    // The same with the given line ends, e.g. LF for the clipboard.
    QString textWithLineEnds(QLatin1String lineEnd) const;
    // Replaces the whole content with plain text (any line ends) and raises
    // Change exactly once.
    void setText(const QString &text);
    // Appends text at the very end of the content and raises Change once;
    // the result is that of setText(Text() + text). A plain document keeps
    // its undo history and gains one undo step, and the cost is that of the
    // appended text alone. A document with formatting is rewritten as plain
    // text. Returns the position at which the appended text starts.
    int appendText(const QString &text);

    // Replaces the content with the file's and raises Change. With rtfRTF a
    // rich-text file keeps its formatting and any other file is read as plain
    // text. Returns false, content untouched, when the file cannot be read;
    // errorString() then says why.
    bool LoadFile(const QString &path, FileType type = rtfRTF);
    // Writes the content as plain text with CR LF line ends, atomically: the
    // old file stays intact when the write fails. Returns false on failure.
    bool SaveFile(const QString &path, FileType type = rtfText);
    QString errorString() const { return m_errorString; }

    // The encoding the document is written in, as found by the last load.
    TextEncoding fileEncoding() const { return m_encoding; }
    void setFileEncoding(TextEncoding encoding, bool bom);

    // True while the content carries formatting read from a rich-text file.
    bool hasFormatting() const { return m_hasFormatting; }

Q_SIGNALS:
    // Raised once after every change of the content, whoever made it.
    void Change();

protected:
    QMimeData *createMimeDataFromSelection() const override;
    void insertFromMimeData(const QMimeData *source) override;
    void keyPressEvent(QKeyEvent *event) override;

    // Loads plain text without raising Change; the caller raises it once.
    void replaceContent(const QString &text);
    // Loads decoded pieces of a plain-text file, without raising Change.
    void replaceWithPieces(TextPieces &pieces);
    // Loads a rich-text file's content with its formatting, without raising Change.
    void replaceWithRtf(const RtfContent &content);
    // Runs a content replacement as one change, raising Change once after it.
    template<typename F>
    void asOneChange(F &&replace);

private:
    void onContentsChange(int position, int charsRemoved, int charsAdded);

    int m_batchDepth = 0;
    bool m_hasFormatting = false;
    TextEncoding m_encoding = TextEncoding::Auto;
    bool m_bom = false;
    QString m_errorString;
};
