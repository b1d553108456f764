#pragma once

#include "textcodec.h"
#include "textfile.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QTextCursor;
class QTextDocument;
class QTimer;

// Something that writing the document to a file would lose or change, which
// the user decides on before Save goes on.
struct SaveQuestion
{
    enum Kind {
        // The file is the rich-text file read: plain text would replace it.
        ReplaceRichText,
        // Another program changed the file since it was read or written.
        OverwriteOtherChanges,
        // Another program removed or renamed the file: Save would create it.
        CreateRemovedFile,
        // Kept bytes that UTF-16 cannot hold as they are, from line `line`.
        MisplacedKeptBytes,
        // The legacy encoding cannot give the file's bytes back exactly.
        LegacyNotExact,
        // A Windows-1252 file would be written as UTF-8.
        Windows1252BecomesUtf8,
    };
    Kind kind;
    int line = 0;
};

// The document the editor works on: its text (a QTextDocument, which the
// editing control shows), the file it belongs to and how that file is
// written (path, identity on disk, encoding, byte order mark, rich-text
// origin), loading a file in the background and saving it. It asks the user
// nothing: the commands do, from what it says.
class Document : public QObject
{
    Q_OBJECT
public:
    // Files above this size are refused instead of exhausting memory: what
    // the machine has available now, over what a loaded and then saved
    // document takes per byte of its file.
    static qint64 maxFileSize();
    // The memory a document takes at its peak (while it is saved) per byte of
    // its file: measured about 5 once loaded and 8.5 while saving, for
    // files of 10 to 500 MB; with some room to spare.
    static constexpr qint64 peakBytesPerFileByte = 10;
    // A document is filled in steps of about this many bytes of its file.
    static constexpr qsizetype loadPieceBytes = 64 * 1024;
    // Lines longer than this many characters are refused (see textfile.h).
    // Every edit keeps to it, and save() refuses a longer line made some
    // other way, so that every file the editor writes opens again.
    static constexpr qsizetype maxLineLength = maxTextLineLength;
    // The line rule, in one place: true when a line of that many characters
    // may be edited.
    static bool lineLimitAllows(qsizetype lineLength) { return lineLength <= maxLineLength; }
    // True when inserting text at the cursor (over its selection) leaves no
    // line of the cursor's document longer than the limit.
    static bool lineLimitAllows(const QTextCursor &cursor, QStringView text);
    // The text between two positions of doc, lines separated by U+2029, in
    // one pass over the document's pieces (reading it line by line costs ten
    // times that on a document of a million lines).
    static QString textBetween(QTextDocument *doc, qint64 from, qint64 to);

    explicit Document(QObject *parent = nullptr);
    ~Document() override;

    // The text shown and edited. A load fills a fresh one, so this changes
    // (documentReplaced) when a load starts and when it is cancelled.
    QTextDocument *textDocument() const { return m_doc; }

    // The file the document belongs to; empty for a new document. During a
    // load it is already the file being loaded, and goes back if the load is
    // cancelled.
    QString filePath() const { return m_path; }
    // True when the document has unsaved changes; during a load, the
    // document shown before it, which is the one a question is about.
    bool isModified() const;

    // The whole text with CR LF line ends (or those given), every character
    // kept exactly.
    QString text(QLatin1String lineEnd = QLatin1String("\r\n")) const;

    // Starts reading the file at path. With richText a file that starts as
    // rich text keeps its formatting; anything else is plain text, every
    // byte kept (see textcodec.h). The first screenful goes in at once, the
    // rest from the event loop in steps short enough for the window to
    // repaint and answer in between; a file that fits in the first step is
    // complete before this returns. Meanwhile the document shown before is
    // kept aside untouched. Returns false, nothing changed, when the file
    // cannot be read (a folder, a pipe or device, too large, a line too
    // long); errorString() then says why.
    bool beginLoad(const QString &path, bool richText = true);
    // Reads the document's file again as plain text in that encoding (its
    // byte order mark is the file's), as beginLoad() does; false, nothing
    // changed, when it cannot.
    bool beginReload(const FileEncoding &encoding);
    // The same, complete when it returns.
    bool load(const QString &path, bool richText = true);
    bool isLoading() const { return m_load != nullptr; }
    // Runs then(completed) once the load under way ends, while context
    // lives; with no load under way (the file fitted in the first step, or
    // nothing was loaded) it runs at once, as completed. What a command
    // does once a file is in goes here, whatever the file's size.
    void whenLoaded(QObject *context, std::function<void(bool completed)> then);
    // Loads the rest of the file now.
    void finishLoad();
    // Stops the load and puts the document shown before back, exactly as it
    // was: its text, undo history and modified state.
    void cancelLoad();
    // How long one step of a load may run before the window gets its turn;
    // at least one piece goes in per step, so 0 makes each step one piece.
    void setLoadStepMs(int ms) { m_loadStepMs = ms; }

    // What writing the document to path would lose or change, in the order
    // the user is asked; empty when Save can go ahead. Another program's
    // change is taken as told to the user from then on.
    QList<SaveQuestion> saveQuestions(const QString &path);
    // Does what the user agreed to: kept bytes UTF-16 cannot hold become
    // U+FFFD, a legacy encoding that cannot write the bytes back exactly
    // gives way to UTF-8; the other answers need nothing done.
    void accept(const SaveQuestion &question);

    // Writes the text as plain text with CR LF line ends in the document's
    // encoding, and makes path the document's file. Returns false on
    // failure, the file then as it was; also when a line is longer than
    // load() would open, or the legacy encoding cannot write it exactly.
    bool save(const QString &path);
    QString errorString() const { return m_errorString; }

    // Forgets the file the document came from: a new document has none.
    void forgetFile();

    // The encoding the document is written in: as found by the last load or
    // chosen by the user, kept through any number of saves. An Auto
    // encoding's name follows the text.
    FileEncoding encoding() const { return m_encoding; }

    // True when path is the document's file, which was on disk when read or
    // written and is gone now (removed or renamed by another program).
    bool fileRemovedFromDisk(const QString &path) const;
    // True when path is the document's file and it has changed on disk since
    // it was read or written (another program wrote, replaced or touched
    // it). The user is taken to know of that change from then on.
    bool fileChangedOnDisk(const QString &path);
    // The same for the document's own file, but true only once for each new
    // change, for telling the user without being asked.
    bool newFileChangeOnDisk();
    // True when path is the rich-text file the document was read from, which
    // save() would replace with plain text.
    bool isRichTextSource(const QString &path) const;
    // How the document's file stood when it was read or last written.
    FileIdentity fileIdentity() const { return m_file.identity(); }
    // Brings back a document from its recovery journal: the text as a
    // modified document of the same file, in the same encoding, so that
    // Save writes that file and sees whether it changed since.
    void restore(const QString &path, const FileIdentity &identity, const FileEncoding &encoding,
                 const QString &text);

    // True when the text came from a rich-text file, with its formatting.
    bool cameFromRichText() const { return m_richSource; }

Q_SIGNALS:
    // textDocument() is now another object: a load started or was cancelled.
    void documentReplaced();
    // A load goes on in the background: the first part of the file is shown.
    void loadStarted();
    // How far a load has come, in percent of the file; at most once per step.
    void loadProgress(int percent);
    // A load ended: completed, or cancelled with the earlier document back.
    void loadEnded(bool completed);
    // filePath() changed.
    void filePathChanged(const QString &path);
    // encoding() changed (a load, a reload, a save, text an Auto encoding
    // writes as UTF-8 typed or removed).
    void encodingChanged();

private:
    struct Load;
    // True when path names the file the document was read from or saved to.
    bool isDocumentFile(const QString &path) const;
    QTextDocument *newTextDocument();
    // Reads the file and sets up what turns its bytes into text: decoded in
    // the encoding named (or the one detected), or read as rich text. Null,
    // with errorString() set, when the file cannot be opened.
    std::unique_ptr<Load> prepareLoad(const QString &path, bool richText,
                                      const FileEncoding *chosen);
    // Shows the file's first piece in a fresh text document and goes on in
    // the background.
    bool startLoad(const QString &path, bool richText, const FileEncoding *chosen);
    void setFilePath(const QString &path);
    void setEncoding(const FileEncoding &encoding);
    // The content as the bytes save() writes, and the encoding they are in.
    QByteArray encodedText(TextEncoding *used) const;
    // The line (from 1) of the first kept byte that cannot be written in the
    // document's encoding as it is (see misplacedKeptByte), or 0.
    int misplacedKeptByteLine() const;
    // Replaces each such byte with U+FFFD, as one step that Undo takes back.
    void replaceMisplacedKeptBytes();
    // True when save() cannot give back the file's bytes in its legacy
    // encoding: they did not come back exactly when read, or the text now
    // has a character the encoding lacks.
    bool cannotWriteBackExactly() const;
    // True when save() would have to write the document as UTF-8 although
    // it was read as Windows-1252, changing the bytes of its accented letters.
    bool saveChangesEncoding() const;
    // An Auto encoding is named as what Save writes: followed edit by edit,
    // since looking at all of a big document on every key would be too slow.
    void watchText();
    void onContentsChange(int position, int charsRemoved, int charsAdded);
    void checkWholeText();
    void setAutoNeedsUtf8(bool needsUtf8);
    // Puts the next part of the file in; false once all of it is in.
    bool loadStep(qsizetype pieces);
    void scheduleLoadStep();
    void runLoadStep();
    void completeLoad();
    // Deletes a text document that is no longer shown nor kept aside.
    void dropDocument(QTextDocument *doc);

    QTextDocument *m_doc = nullptr;
    std::unique_ptr<Load> m_load;
    QTimer *m_loadTimer = nullptr;
    // Short enough that the window repaints and takes input well within the
    // 50 ms a user notices as a stall, even when a piece now and then takes
    // 20 ms more (the document growing one of its tables).
    int m_loadStepMs = 12;

    QString m_path;
    TextFile m_file;
    bool m_richSource = false;
    FileEncoding m_encoding;
    // After a removal from a big Auto document that needed UTF-8: a look at
    // the whole text, once typing pauses.
    QTimer *m_recheck = nullptr;
    QString m_errorString;
};

// The document's raw text (blocks separated by U+2029, soft line breaks as
// U+2028) as plain text with the given line ends.
QString withLineEnds(QString raw, QLatin1String lineEnd);
