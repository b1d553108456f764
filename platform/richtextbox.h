#pragma once

#include "rtfreader.h"
#include "textcodec.h"
#include "textfile.h"

#include <QPlainTextEdit>

#include <memory>

class QTimer;

// The editing control: a multi-line text box that shows per-character
// formatting and offers the members the editor's commands rely on. It is a
// QPlainTextEdit because that stays responsive on documents of many MB,
// where QTextEdit's full layout freezes the window for seconds.
class RichTextBox : public QPlainTextEdit
{
    Q_OBJECT
public:
    enum FileType { rtfRTF = 0, rtfText = 1 };

    // Files above this size are refused with a message instead of exhausting
    // memory: what the machine has available now, over what a loaded and
    // then saved document takes per byte of its file.
    static qint64 maxFileSize();
    // The memory a document takes at its peak (while it is saved) per byte of
    // its file: measured about 5 once loaded and 8.5 while saving, for
    // files of 10 to 500 MB; with some room to spare.
    static constexpr qint64 peakBytesPerFileByte = 10;
    // A document is filled in steps of about this many bytes of its file.
    static constexpr qsizetype loadPieceBytes = 64 * 1024;
    // Lines longer than this many characters are refused too: the widget
    // lays out a line as a whole, so each key pressed on a line of megabytes
    // would take seconds. At this length a key typed at the end of the line
    // still answers within 50 ms even for CJK text, whose shaping costs about
    // five times that of ASCII (see make bench). Pasting, typing and
    // inserting keep to it, and SaveFile refuses a longer line made some
    // other way, so that every file the editor writes opens again.
    static constexpr qsizetype maxLineLength = 32768;

    explicit RichTextBox(QWidget *parent = nullptr);
    ~RichTextBox() override;

    // The whole content as plain text with CR LF line ends, every character
    // kept exactly (a non-breaking space stays one).
    QString Text() const;
    // The same with the given line ends, e.g. LF for the clipboard.
    QString textWithLineEnds(QLatin1String lineEnd) const;
    // Replaces the whole content with plain text (any line ends) and raises
    // Change exactly once.
    void setText(const QString &text);
    // Appends text at the very end of the content and raises Change once;
    // the result is that of setText(Text() + text). The document keeps its
    // undo history and gains one undo step; on a plain document the cost is
    // that of the appended text alone. A document with formatting is
    // rewritten as plain text, and undoing brings the formatting back.
    // Returns the position at which the appended text starts, or -1 when the
    // last line would grow past maxLineLength (the user is told).
    int appendText(const QString &text);

    // Replaces the content with the file's and raises Change. With rtfRTF a
    // rich-text file keeps its formatting and any other file is read as plain
    // text, every byte kept (see textcodec.h). Returns false, content
    // untouched, when the file cannot be read (a folder, a pipe or device, too
    // large, a line too long); errorString() then says why.
    bool LoadFile(const QString &path, FileType type = rtfRTF);

    // Starts loading a file as LoadFile does but returns once the first
    // screenful is shown; the rest goes in from the event loop, in steps short
    // enough for the window to repaint and answer in between. Meanwhile the
    // control is read-only and the document shown before is kept aside. A
    // file that fits in the first step is loaded completely before this
    // returns. Returns false, content untouched, when the file cannot be read.
    bool beginLoad(const QString &path, FileType type = rtfRTF);
    bool isLoading() const { return m_load != nullptr; }
    // How long one step of a load may run before the window gets its turn;
    // at least one piece goes in per step, so 0 makes each step one piece.
    void setLoadStepMs(int ms) { m_loadStepMs = ms; }
    // Loads the rest of the file now.
    void finishLoad();
    // Stops the load and shows the earlier document again exactly as it was:
    // its text, undo history, modified state, caret and scroll position.
    void cancelLoad();
    // Writes the content as plain text with CR LF line ends in the encoding
    // it was read in (see TextFile::write for how the file is replaced).
    // Returns false on failure, the file then as it was; also when a line is
    // longer than LoadFile would open.
    bool SaveFile(const QString &path, FileType type = rtfText);
    QString errorString() const { return m_errorString; }

    // The encoding the document is written in, as found by the last load.
    TextEncoding fileEncoding() const { return m_encoding; }
    void setFileEncoding(TextEncoding encoding, bool bom);
    // True when SaveFile would have to write the document as UTF-8 although
    // it was read as Windows-1252, changing the bytes of its accented letters.
    bool saveChangesEncoding() const;

    // True when the file at path is the one last read or written and has
    // changed on disk since (another program wrote, replaced or touched it).
    // The user is taken to know of that change from then on.
    bool fileChangedOnDisk(const QString &path);
    // The same, but true only once for each new change, for telling the user
    // without being asked.
    bool newFileChangeOnDisk(const QString &path);
    // True when path is the rich-text file the document was read from, which
    // SaveFile would replace with plain text.
    bool isRichTextSource(const QString &path) const;
    // Forgets the file the document came from: a new document has none.
    void forgetFile();

    // True while the content carries formatting read from a rich-text file.
    bool hasFormatting() const;
    // Tells the user that a change was refused because it would make a line
    // longer than maxLineLength.
    void refuseLongLine();

Q_SIGNALS:
    // Raised once after every change of the content, whoever made it.
    void Change();
    // A load goes on in the background: the first part of the file is shown.
    void loadStarted();
    // How far a load has come, in percent of the file; raised at most once per step.
    void loadProgress(int percent);
    // A load ended: completed, or cancelled with the earlier document back.
    void loadEnded(bool completed);
    // The control now shows another document object (document() changed),
    // for whoever decorates the document, like a highlighter.
    void documentReplaced();

protected:
    QMimeData *createMimeDataFromSelection() const override;
    void insertFromMimeData(const QMimeData *source) override;
    void keyPressEvent(QKeyEvent *event) override;

    // Loads plain text without raising Change; the caller raises it once.
    void replaceContent(const QString &text);
    // Runs a content replacement as one change, raising Change once after it.
    template<typename F>
    void asOneChange(F &&replace);

private:
    struct Load;
    void onContentsChange(int position, int charsRemoved, int charsAdded);
    // True when path names the file the document was read from or saved to.
    bool isDocumentFile(const QString &path) const;
    // True when inserting text at the cursor (over its selection) leaves no
    // line longer than maxLineLength.
    bool lineLimitAllows(const QTextCursor &cursor, QStringView text) const;
    // The content as the bytes SaveFile writes, and the encoding they are in.
    QByteArray encodedText(TextEncoding *used) const;
    // Connects the control to the document it shows.
    void attachDocument(QTextDocument *doc);
    // Shows doc in place of the document shown now, which the caller takes.
    QTextDocument *swapDocument(QTextDocument *doc);
    // Puts the next part of the file in; false once all of it is in.
    bool loadStep(qsizetype pieces);
    void scheduleLoadStep();
    void runLoadStep();
    void completeLoad();

    std::unique_ptr<Load> m_load;
    QTimer *m_loadTimer = nullptr;
    // Short enough that the window repaints and takes input well within the
    // 50 ms a user notices as a stall, even when a piece now and then takes
    // 20 ms more (the document growing one of its tables).
    int m_loadStepMs = 12;

    int m_batchDepth = 0;
    bool m_hasFormatting = false;
    // The undo step count right after an insertion made a formatted document
    // plain; fewer steps (undone) mean the formatting is back. -1: none.
    int m_plainAtStep = -1;
    TextFile m_file;
    bool m_richSource = false;
    TextEncoding m_encoding = TextEncoding::Auto;
    bool m_bom = false;
    QString m_errorString;
};
