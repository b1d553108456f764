#pragma once

#include "textcodec.h"
#include "textfile.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QThreadPool>

#include <functional>
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

// One change to the text, as a text document reports it: `removed`
// characters at `position` gave way to `added`.
struct JournalEdit
{
    qint64 position = 0;
    qint64 removed = 0;
    QString added;
};

// A journal is the whole text once, with the state of the document then,
// followed by records of the edits made since, each with the state after
// them. Typing thus costs a record the size of what was typed, whatever the
// size of the document; the whole text is written again only now and then.
//
// The text and the edits may hold a text document's U+2029 block and U+2028
// line separators: they are written as LF.

// The whole journal of entry at once.
QByteArray serializeJournal(const JournalEntry &entry);
// The same in parts, for a text copied a slice at a time: the start (the
// state, and the length of the text to follow), the text's slices, the end.
QByteArray serializeJournalStart(const JournalEntry &state, qint64 length);
QByteArray serializeJournalText(QStringView slice);
QByteArray serializeJournalEnd();
// A record of edits, with the state after them (its text unused).
QByteArray serializeJournalRecord(const JournalEntry &state, const QList<JournalEdit> &edits);
// False when the bytes are not a journal this program can read (cut short
// before the end of its text, another file, a later format). Records after
// the text are replayed as far as they are whole: a record cut short by a
// crash, and whatever follows it, is left out.
bool parseJournal(const QByteArray &bytes, JournalEntry *entry);

// The folder of recovery journals, and which of them belong to a running
// editor. Each running editor holds a lock on its journal, so that another
// editor starting never offers its live work for recovery; the lock of an
// editor that died goes stale with its process and is taken over.
//
// Journals live in the user's state folder, never next to the edited file,
// where game loaders and version control would pick them up; only the user
// can read them. A folder that is a link, or not the user's, is refused
// rather than made private: its mode belongs to whoever made it.
class JournalStore
{
public:
    // $XDG_STATE_HOME/vyx-editor, or ~/.local/state/vyx-editor when that is
    // unset (Qt 6.4 has no standard location for state).
    static QString defaultFolder();

    explicit JournalStore(const QString &folder = defaultFolder());
    ~JournalStore();

    QString folder() const { return m_folder; }

    // Makes the folder (mode 0700) when there is none. False, with the
    // reason for the user, when journals cannot be kept in it. Safe on any
    // thread.
    bool ensureFolder(QString *reason = nullptr) const;
    // The reason for the user when the system refused with errno err.
    QString failure(int err) const;

    // The journals no running editor owns, newest first. Each is locked for
    // this editor until it is released, removed or adopted. A journal's text
    // half-written by an editor that died is deleted on the way; journals
    // that cannot be read are claimed too, for the user to decide on.
    QStringList claimOrphans();
    bool read(const QString &id, JournalEntry *entry) const;
    // Leaves a claimed journal for a later start.
    void release(const QString &id);

    // This editor's own journal; made and locked on first use. Empty while
    // the folder cannot be used.
    QString ownId();
    // Makes a claimed journal this editor's own (its work was recovered),
    // in place of the one it had.
    void adopt(const QString &id);

    // Deletes the journal id; a claimed one is released as well.
    void remove(const QString &id);

    QString journalPath(const QString &id) const;

private:
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
    // How a write went, told on the writer's thread: ok, or not with the
    // reason for the user (empty when there is nothing to tell, as when the
    // journal was deleted under the editor). After a failure, records are
    // refused until a whole text is written again.
    using Report = std::function<void(bool ok, const QString &reason)>;

    explicit JournalWriter(JournalStore *store, Report report = {});
    // Waits for what is under way.
    ~JournalWriter();

    // A whole text in parts, into a new file that replaces the journal id
    // atomically once finished (synced, then renamed over the old one): the
    // state and the length of the text, its slices in order, then finish().
    // abandon() drops a text under way; the journal before it stays.
    void begin(const QString &id, JournalEntry state, qint64 length);
    void addSlice(QString slice);
    void finish();
    void abandon();
    // The whole entry at once.
    void write(const QString &id, JournalEntry entry);
    // Appends a record of edits to the journal id, synced.
    void append(const QString &id, JournalEntry state, QList<JournalEdit> edits);
    void remove(const QString &id);
    // Waits until every request given so far is done.
    void wait();

private:
    struct Work;
    JournalStore *m_store;
    std::shared_ptr<Work> m_work; // touched on the writer's thread only
    QThreadPool m_pool;
};
