#pragma once

#include "journal.h"

#include <QObject>
#include <QPointer>

class Document;
class QPlainTextEdit;
class QTimer;

// Keeps a recovery journal of a document while it has unsaved changes, so
// that a crash or a kill loses no work: written within two seconds of the
// last edit, at most every two seconds while typing goes on, off the GUI
// thread. The journal goes only when the document has no unsaved work left
// (saved, or undone back to its saved text), or when the user chose to drop
// that work (discard()).
//
// What is written follows the size of the edits, not of the document: the
// changes the text document reports are handed to the writer as they are.
// The whole text is written only when there is no journal of it yet, after
// a load, after a change too big to keep as an edit, or when the edits kept
// pass logLimit. It is then copied a slice at a time, one per turn of the
// event loop, so that typing never waits for a copy of a big document.
class RecoveryJournal : public QObject
{
    Q_OBJECT
public:
    static constexpr int delayMs = 2000;
    // Characters of edits (and edits) kept after the whole text before it is
    // written again; a single change larger than that is not copied at all.
    static constexpr qint64 logLimit = 1 << 20;
    static constexpr int editLimit = 4096;
    // A turn of the event loop copies pieces of the text for at most this
    // long: a key pressed meanwhile waits no longer. (A text document gives
    // out a million characters in 20 to 30 ms, a piece at a time.)
    static constexpr int sliceMs = 2;
    static constexpr int pieceLength = 1 << 16;
    // Times a copy starts again because the text changed under it; after
    // that, the text is copied in one step.
    static constexpr int copyRestarts = 2;

    // The journal of model, shown in view (whose caret it keeps), kept in
    // store as the editor's own journal.
    RecoveryJournal(Document *model, QPlainTextEdit *view, JournalStore *store,
                    QObject *parent = nullptr);
    ~RecoveryJournal() override;

    // The user answered No to "Save Changes?": the work is dropped.
    void discard();
    // Writes the journal now, when there is unsaved work (the timer's work).
    void writeNow();
    // Waits until what was written or removed so far is on disk; a whole
    // text being copied is copied to its end first.
    void flush();
    // Makes the next write one of the whole text.
    void rewrite();
    // True while the whole text is being copied, a slice at a time.
    bool isCopying() const { return m_copying; }

Q_SIGNALS:
    // A write failed, with the reason for the user; told once, until a
    // write succeeds again (written()).
    void failed(const QString &reason);
    void written();

private:
    void watchDocument();
    void onChange();
    void onContentsChange(int position, int removed, int added);
    void onModifiedChanged(bool modified);
    void onWritten(bool ok, const QString &reason);
    JournalEntry state() const;
    void startCopy();
    void copySlice();
    void stopCopy();

    Document *m_model;
    QPointer<QPlainTextEdit> m_view;
    JournalStore *m_store;
    JournalWriter m_writer;
    QTimer *m_timer;
    QTimer *m_sliceTimer;
    QMetaObject::Connection m_contentsWatch;
    QMetaObject::Connection m_modifiedWatch;
    bool m_written = false; // a journal of this document is on disk
    bool m_failing = false; // the last write failed, and the user was told
    // The journal on disk holds the whole text, with edits after it, of
    // m_id; the edits since are pending.
    bool m_whole = false;
    QString m_id;
    QList<JournalEdit> m_pending;
    qint64 m_loggedChars = 0; // of the edits pending and written since the whole text
    int m_loggedEdits = 0;
    // Changes to the text so far, for telling whether a copy is still of
    // one and the same text.
    quint64 m_changes = 0;
    // The whole text being copied.
    bool m_copying = false;
    int m_copyRestarts = 0;
    quint64 m_copyChanges = 0;
    qint64 m_copied = 0;
    qint64 m_copyLength = 0;
};
