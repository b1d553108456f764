#pragma once

#include "journal.h"

#include <QList>
#include <QStringList>

class Document;
class QPlainTextEdit;
class RecoveryJournal;

// The unsaved work of editors that ended without saving it, as offered at
// start: the journals no running editor owns, claimed for this one so that
// no other start offers them at the same time. The user decides on the
// first entry (the most recently changed) at a time; whatever is left
// undecided is released for a later start when the offer ends.
//
// A journal that cannot be read (cut short, damaged, or of a later version
// of the program) is never deleted unless the user says so: its bytes may
// still be of use to someone.
class RecoveryOffer
{
public:
    explicit RecoveryOffer(JournalStore *store);
    ~RecoveryOffer();
    RecoveryOffer(const RecoveryOffer &) = delete;
    RecoveryOffer &operator=(const RecoveryOffer &) = delete;

    // The work that can be recovered, newest first.
    const QList<JournalEntry> &entries() const { return m_entries; }
    // The file names of the journals that cannot be read, in folder().
    QStringList unreadableFiles() const;
    QString folder() const { return m_store->folder(); }

    // Brings the first entry's work back into document, shown in view with
    // the caret where it was, and makes its journal the editor's own (kept
    // by journal from now on) in place of the one it had.
    void recoverFirst(Document *document, QPlainTextEdit *view, RecoveryJournal *journal);
    // Deletes the first entry's journal, and those that cannot be read.
    void discardFirst();
    // Deletes the journals that cannot be read.
    void discardUnreadable();

private:
    JournalStore *m_store;
    QStringList m_ids; // of m_entries
    QList<JournalEntry> m_entries;
    QStringList m_unreadable;
};
