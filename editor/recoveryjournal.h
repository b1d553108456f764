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
class RecoveryJournal : public QObject
{
    Q_OBJECT
public:
    static constexpr int delayMs = 2000;

    // The journal of model, shown in view (whose caret it keeps), kept in
    // store as the editor's own journal.
    RecoveryJournal(Document *model, QPlainTextEdit *view, JournalStore *store,
                    QObject *parent = nullptr);
    ~RecoveryJournal() override;

    // The user answered No to "Save Changes?": the work is dropped.
    void discard();
    // Writes the journal now, when there is unsaved work (the timer's work).
    void writeNow();
    // Waits until what was written or removed so far is on disk.
    void flush();

private:
    void watchDocument();
    void onChange();
    void onModifiedChanged(bool modified);

    Document *m_model;
    QPointer<QPlainTextEdit> m_view;
    JournalStore *m_store;
    JournalWriter m_writer;
    QTimer *m_timer;
    QMetaObject::Connection m_contentsWatch;
    QMetaObject::Connection m_modifiedWatch;
    bool m_written = false; // a journal of this document is on disk
};
