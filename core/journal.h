#pragma once

#include "textcodec.h"
#include "textfile.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QThreadPool>

#include <map>
#include <memory>

class QLockFile;

// What a recovery journal keeps of a document with unsaved changes: enough
// to bring it back as it was after a crash, a kill or a power cut.
struct JournalEntry
{
    // The file the document belongs to, and how that file stood when it was
    // read or last written; empty for a document never saved.
    QString path;
    FileIdentity identity;
    FileEncoding encoding;
    int caret = 0;
    QDateTime changed; // when the text was last changed
    // The text with LF line ends; kept bytes stay the codec's escapes (lone
    // surrogates), which the journal stores as the UTF-16 units they are.
    QString text;
};

QByteArray serializeJournal(const JournalEntry &entry);
// False when the bytes are not a complete journal (cut short, another file).
bool parseJournal(const QByteArray &bytes, JournalEntry *entry);

// The folder of recovery journals, and which of them belong to a running
// editor. Each running editor holds a lock on its journal, so that another
// editor starting never offers its live work for recovery; the lock of an
// editor that died goes stale with its process and is taken over.
//
// Journals live in the user's state folder, never next to the edited file,
// where game loaders and version control would pick them up; only the user
// can read them.
class JournalStore
{
public:
    // $XDG_STATE_HOME/vyx-editor, or ~/.local/state/vyx-editor when that is
    // unset (Qt 6.4 has no standard location for state).
    static QString defaultFolder();

    explicit JournalStore(const QString &folder = defaultFolder());
    ~JournalStore();

    QString folder() const { return m_folder; }

    // The journals no running editor owns, newest first. Each is locked for
    // this editor until it is released, removed or adopted.
    QStringList claimOrphans();
    bool read(const QString &id, JournalEntry *entry) const;
    // Leaves a claimed journal for a later start.
    void release(const QString &id);

    // This editor's own journal; made and locked on first use.
    QString ownId();
    // Makes a claimed journal this editor's own (its work was recovered),
    // in place of the one it had.
    void adopt(const QString &id);

    // Writes the entry as the journal id, atomically (a temporary file,
    // synced, then renamed over the old one) and only readable by the user.
    // Returns false when it could not be written.
    bool write(const QString &id, const JournalEntry &entry);
    // Deletes the journal id; a claimed one is released as well.
    void remove(const QString &id);

    QString journalPath(const QString &id) const;

private:
    bool ensureFolder();
    bool lock(const QString &id);

    QString m_folder;
    QString m_ownId;
    std::map<QString, std::unique_ptr<QLockFile>> m_locks;
};

// Writes and removes one editor's journal off the GUI thread, one request
// after another in the order given, so that a removal never races a write
// still under way.
class JournalWriter
{
public:
    explicit JournalWriter(JournalStore *store);
    // Waits for what is under way.
    ~JournalWriter();

    // The entry's text may still hold a text document's U+2029 block and
    // U+2028 line separators: they are written as LF.
    void write(const QString &id, JournalEntry entry);
    void remove(const QString &id);
    // Waits until every request given so far is done.
    void wait();

private:
    JournalStore *m_store;
    QThreadPool m_pool;
};
