#include "journal.h"
#include "textfile.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QLockFile>
#include <QUuid>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr quint32 journalMagic = 0x56594a31; // "VYJ1"
// 2 adds the legacy encoding after the text; 3 keeps the text as raw UTF-16
// after the state, followed by records of edits. Journals of 1 and 2 still read.
constexpr quint32 journalVersion = 3;
constexpr quint32 recordMagic = 0x56594a52; // "VYJR"
// A record's head: its magic, the size of what follows the head, and a
// checksum of that, so that a record cut short or never filled in by a
// crash is told from a whole one.
constexpr int recordHeadSize = 10;
const QLatin1String journalSuffix(".journal");
const QLatin1String textSuffix(".journal.new");

void writeState(QDataStream &out, const JournalEntry &e)
{
    out << e.path << e.identity.exists << e.identity.device << e.identity.inode << e.identity.size
        << e.identity.mtimeNs << qint32(e.encoding.kind) << e.encoding.bom << qint32(e.caret)
        << e.changed << e.encoding.legacyCodec << e.encoding.exact;
}

// A legacy name this editor does not offer is left out: the text is then
// written as the detected encoding says.
FileEncoding encodingRead(qint32 kind, bool bom, const QString &legacyCodec, bool exact)
{
    return legacyEncodingNames().contains(legacyCodec)
        ? FileEncoding::legacy(legacyCodec, exact)
        : FileEncoding::detected({TextEncoding(kind), bom});
}

bool readState(QDataStream &in, JournalEntry *e)
{
    qint32 encoding = 0, caret = 0;
    bool bom = false, exact = false;
    QString legacyCodec;
    in >> e->path >> e->identity.exists >> e->identity.device >> e->identity.inode
        >> e->identity.size >> e->identity.mtimeNs >> encoding >> bom >> caret >> e->changed
        >> legacyCodec >> exact;
    if (in.status() != QDataStream::Ok || encoding < int(TextEncoding::Auto)
        || encoding > int(TextEncoding::Utf16BE))
        return false;
    e->encoding = encodingRead(encoding, bom, legacyCodec, exact);
    e->caret = qMax(0, caret);
    return true;
}

// Journals of 1 and 2: the state with the text in the middle, in one piece.
bool parseWholeJournal(QDataStream &in, quint32 version, JournalEntry *e)
{
    quint32 endMagic = 0;
    qint32 encoding = 0, caret = 0;
    bool bom = false, exact = false;
    QString legacyCodec;
    in >> e->path >> e->identity.exists >> e->identity.device >> e->identity.inode
        >> e->identity.size >> e->identity.mtimeNs >> encoding >> bom >> caret >> e->changed
        >> e->text;
    if (version >= 2)
        in >> legacyCodec >> exact;
    in >> endMagic;
    if (in.status() != QDataStream::Ok || endMagic != journalMagic
        || encoding < int(TextEncoding::Auto) || encoding > int(TextEncoding::Utf16BE))
        return false;
    e->encoding = encodingRead(encoding, bom, legacyCodec, exact);
    e->caret = qMax(0, caret);
    return true;
}

// The text after a series of edits, as pieces of the text before and of
// what was added: an edit splits at most two pieces, however long the text,
// and the result is put together once at the end. Applying each edit to the
// text itself would move all that follows it, every time.
class Replay
{
public:
    explicit Replay(QString base)
        : m_length(base.size())
    {
        m_sources.push_back(std::move(base));
        if (m_length)
            m_pieces.push_back({0, 0, m_length});
    }

    // Positions past the end are taken as the end: a text document counts
    // the end of its last block, which the text does not hold.
    void apply(qint64 position, qint64 removed, QString added)
    {
        position = qBound<qint64>(0, position, m_length);
        removed = qBound<qint64>(0, removed, m_length - position);
        const size_t at = split(position);
        const size_t last = split(position + removed);
        m_pieces.erase(m_pieces.begin() + at, m_pieces.begin() + last);
        m_length -= removed;
        if (!added.isEmpty()) {
            m_pieces.insert(m_pieces.begin() + at, {m_sources.size(), 0, added.size()});
            m_length += added.size();
            m_sources.push_back(std::move(added));
        }
    }

    QString text() const
    {
        if (m_pieces.size() == 1 && m_pieces.front().source == 0)
            return m_sources.front().mid(m_pieces.front().from, m_pieces.front().length);
        QString text;
        text.reserve(m_length);
        for (const Piece &piece : m_pieces)
            text += QStringView(m_sources[piece.source]).mid(piece.from, piece.length);
        return text;
    }

private:
    struct Piece
    {
        size_t source;
        qint64 from;
        qint64 length;
    };

    // The index of the piece that starts at position, splitting one if needed.
    size_t split(qint64 position)
    {
        qint64 start = 0;
        for (size_t i = 0; i < m_pieces.size(); ++i) {
            if (start == position)
                return i;
            Piece &piece = m_pieces[i];
            if (position < start + piece.length) {
                const qint64 head = position - start;
                Piece tail{piece.source, piece.from + head, piece.length - head};
                piece.length = head;
                m_pieces.insert(m_pieces.begin() + i + 1, tail);
                return i + 1;
            }
            start += piece.length;
        }
        return m_pieces.size();
    }

    std::vector<QString> m_sources;
    std::vector<Piece> m_pieces;
    qint64 m_length;
};

QByteArray streamed(const std::function<void(QDataStream &)> &fill)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    fill(out);
    return bytes;
}

void syncFolder(const QString &folder)
{
    // A rename or a new file is on disk once its folder is synced.
    const int dir = ::open(QFile::encodeName(folder).constData(),
                           O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace

QByteArray serializeJournalStart(const JournalEntry &state, qint64 length)
{
    return streamed([&](QDataStream &out) {
        out << journalMagic << journalVersion;
        writeState(out, state);
        out << length;
    });
}

QByteArray serializeJournalText(QStringView slice)
{
    // Raw UTF-16 in the machine's own order on the usual little-endian
    // machines, so that a slice costs a copy and nothing more; lone
    // surrogates (kept bytes) go through as they are.
    QByteArray bytes(slice.size() * 2, Qt::Uninitialized);
    auto *out = reinterpret_cast<char16_t *>(bytes.data());
    for (const QChar c : slice) {
        const char16_t u
            = c == QChar::ParagraphSeparator || c == QChar::LineSeparator ? u'\n' : c.unicode();
        *out++ = qToLittleEndian(u);
    }
    return bytes;
}

QByteArray serializeJournalEnd()
{
    return streamed([](QDataStream &out) { out << journalMagic; });
}

QByteArray serializeJournal(const JournalEntry &e)
{
    return serializeJournalStart(e, e.text.size()) + serializeJournalText(e.text)
        + serializeJournalEnd();
}

QByteArray serializeJournalRecord(const JournalEntry &state, const QList<JournalEdit> &edits)
{
    const QByteArray body = streamed([&](QDataStream &out) {
        writeState(out, state);
        out << qint32(edits.size());
        for (const JournalEdit &edit : edits) {
            out << edit.position << edit.removed;
            out << QString(edit.added)
                       .replace(QChar::ParagraphSeparator, u'\n')
                       .replace(QChar::LineSeparator, u'\n');
        }
    });
    return streamed([&](QDataStream &out) {
               out << recordMagic << quint32(body.size()) << qChecksum(body);
           })
        + body;
}

bool parseJournal(const QByteArray &bytes, JournalEntry *e)
{
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0, version = 0;
    in >> magic >> version;
    if (magic != journalMagic || version < 1 || version > journalVersion)
        return false;
    if (version < 3)
        return parseWholeJournal(in, version, e);
    qint64 length = -1;
    if (!readState(in, e))
        return false;
    in >> length;
    qint64 at = in.device()->pos();
    if (in.status() != QDataStream::Ok || length < 0 || length > (bytes.size() - at - 4) / 2)
        return false;
    QString base(length, Qt::Uninitialized);
    const auto *units = bytes.constData() + at;
    for (qint64 i = 0; i < length; ++i)
        base[i] = QChar(qFromLittleEndian<char16_t>(units + 2 * i));
    at += 2 * length;
    if (qFromBigEndian<quint32>(bytes.constData() + at) != journalMagic)
        return false;
    at += 4;

    Replay replay(std::move(base));
    while (bytes.size() - at >= recordHeadSize) {
        const char *head = bytes.constData() + at;
        const quint32 size = qFromBigEndian<quint32>(head + 4);
        if (qFromBigEndian<quint32>(head) != recordMagic
            || size > quint64(bytes.size() - at - recordHeadSize))
            break;
        const QByteArrayView body(head + recordHeadSize, size);
        if (qFromBigEndian<quint16>(head + 8) != qChecksum(body))
            break;
        QDataStream record(body.toByteArray());
        record.setVersion(QDataStream::Qt_6_4);
        JournalEntry state;
        qint32 count = 0;
        if (!readState(record, &state))
            break;
        record >> count;
        QList<JournalEdit> edits;
        for (qint32 i = 0; i < count && record.status() == QDataStream::Ok; ++i) {
            JournalEdit edit;
            record >> edit.position >> edit.removed >> edit.added;
            edits << edit;
        }
        if (record.status() != QDataStream::Ok)
            break;
        for (JournalEdit &edit : edits)
            replay.apply(edit.position, edit.removed, std::move(edit.added));
        *e = state;
        at += recordHeadSize + size;
    }
    e->text = replay.text();
    return true;
}

QString JournalStore::defaultFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    // The XDG rules ignore a relative path.
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QLatin1String("/.local/state");
    return state + QLatin1String("/vyx-editor");
}

JournalStore::JournalStore(const QString &folder)
    : m_folder(folder)
{
}

JournalStore::~JournalStore() = default;

QString JournalStore::journalPath(const QString &id) const
{
    return m_folder + u'/' + id + journalSuffix;
}

QString JournalStore::failure(int err) const
{
    return QStringLiteral("cannot write in \"%1\": %2")
        .arg(QDir::toNativeSeparators(m_folder), QString::fromLocal8Bit(::strerror(err)));
}

bool JournalStore::ensureFolder(QString *reason) const
{
    const QByteArray name = QFile::encodeName(m_folder);
    const QString shown = QDir::toNativeSeparators(m_folder);
    const auto refuse = [reason](const QString &why) {
        if (reason)
            *reason = why;
        return false;
    };
    struct stat st = {};
    if (::lstat(name.constData(), &st) != 0) {
        if (errno != ENOENT)
            return refuse(failure(errno));
        QDir().mkpath(QFileInfo(m_folder).path());
        // Unsaved work is private: only the user may list or read it.
        if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
            return refuse(failure(errno));
        if (::lstat(name.constData(), &st) != 0)
            return refuse(failure(errno));
        // The umask may have taken more away; the folder is ours to set.
        if (S_ISDIR(st.st_mode) && (st.st_mode & 0777) != 0700)
            ::chmod(name.constData(), 0700);
    }
    if (S_ISLNK(st.st_mode))
        return refuse(
            QStringLiteral("\"%1\" is a symbolic link, not a folder of its own").arg(shown));
    if (!S_ISDIR(st.st_mode))
        return refuse(QStringLiteral("\"%1\" is not a folder").arg(shown));
    if (st.st_uid != ::geteuid())
        return refuse(QStringLiteral("\"%1\" belongs to another user").arg(shown));
    return true;
}

bool JournalStore::lock(const QString &id)
{
    if (m_locks.count(id))
        return true;
    auto lock = std::make_unique<QLockFile>(m_folder + u'/' + id + QLatin1String(".lock"));
    // A lock left by an editor that is no longer running is taken over at once.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return false;
    m_locks[id] = std::move(lock);
    return true;
}

QStringList JournalStore::claimOrphans()
{
    if (!ensureFolder())
        return {};
    const QDir dir(m_folder);
    // A text that was being written when its editor died: the journal
    // before it, if any, is whole.
    for (const QString &name : dir.entryList({QLatin1String("*") + textSuffix}, QDir::Files)) {
        const QString id = name.chopped(textSuffix.size());
        if (id == m_ownId || !lock(id))
            continue;
        QFile::remove(dir.filePath(name));
        if (!QFile::exists(journalPath(id)))
            release(id);
    }
    // The lock of an editor that died with no unsaved work: taken over and
    // let go, which deletes it.
    for (const QString &name : dir.entryList({QStringLiteral("*.lock")}, QDir::Files)) {
        const QString id = name.chopped(5);
        if (id != m_ownId && !QFile::exists(journalPath(id)) && lock(id))
            release(id);
    }
    const QFileInfoList files
        = dir.entryInfoList({QLatin1String("*") + journalSuffix}, QDir::Files, QDir::Time);
    QStringList ids;
    for (const QFileInfo &file : files) {
        const QString id = file.completeBaseName();
        if (id == m_ownId || !lock(id))
            continue;
        ids << id;
    }
    return ids;
}

bool JournalStore::read(const QString &id, JournalEntry *entry) const
{
    QFile file(journalPath(id));
    return file.open(QIODevice::ReadOnly) && parseJournal(file.readAll(), entry);
}

void JournalStore::release(const QString &id)
{
    if (id != m_ownId)
        m_locks.erase(id);
}

QString JournalStore::ownId()
{
    if (m_ownId.isEmpty() && ensureFolder()) {
        const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        if (lock(id))
            m_ownId = id;
    }
    return m_ownId;
}

void JournalStore::adopt(const QString &id)
{
    if (!m_ownId.isEmpty() && m_ownId != id) {
        QFile::remove(journalPath(m_ownId));
        m_locks.erase(m_ownId);
    }
    m_ownId = id;
}

void JournalStore::remove(const QString &id)
{
    QFile::remove(journalPath(id));
    release(id);
}

// What the writer's thread knows of the journal on disk.
struct JournalWriter::Work
{
    JournalStore *store = nullptr;
    Report report;
    // The text being written, into its new file.
    QString id;
    QByteArray temp;
    int fd = -1;
    QString failure; // why the text under way cannot be finished
    // Whether the journal on disk ends with what the records follow on:
    // false after a failure or a removal, until a whole text is written.
    bool whole = false;

    void tell(bool ok, const QString &reason)
    {
        if (report)
            report(ok, reason);
    }

    void fail(const QString &reason)
    {
        if (failure.isEmpty())
            failure = reason;
        if (fd >= 0) {
            ::close(fd);
            ::unlink(temp.constData());
            fd = -1;
        }
    }

    void begin(const QString &journal, const QByteArray &start)
    {
        abandon();
        id = journal;
        failure.clear();
        if (!store->ensureFolder(&failure))
            return;
        temp = QFile::encodeName(store->journalPath(id) + QLatin1String(".new"));
        // Written by hand rather than with QSaveFile, which makes the new
        // file with the umask's permissions: here it must be private from the
        // start. A link put in its place is not followed.
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0 || ::fchmod(fd, 0600) != 0)
            return fail(store->failure(errno));
        add(start);
    }

    void add(const QByteArray &bytes)
    {
        if (fd >= 0 && !writeAll(fd, bytes))
            fail(store->failure(errno));
    }

    void finish()
    {
        add(serializeJournalEnd());
        if (fd >= 0 && ::fsync(fd) != 0)
            fail(store->failure(errno));
        if (fd >= 0) {
            const int closed = ::close(fd);
            fd = -1;
            const QByteArray target = QFile::encodeName(store->journalPath(id));
            if (closed != 0 || ::rename(temp.constData(), target.constData()) != 0) {
                failure = store->failure(errno);
                ::unlink(temp.constData());
            }
        }
        whole = failure.isEmpty();
        if (whole)
            syncFolder(store->folder());
        tell(whole, failure);
    }

    void abandon()
    {
        if (fd >= 0) {
            ::close(fd);
            ::unlink(temp.constData());
            fd = -1;
        }
    }

    void append(const QString &journal, const QByteArray &record)
    {
        if (!whole || journal != id)
            return tell(false, QString());
        QString reason;
        if (!store->ensureFolder(&reason)) {
            whole = false;
            return tell(false, reason);
        }
        const QByteArray path = QFile::encodeName(store->journalPath(id));
        const int out = ::open(path.constData(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW);
        if (out < 0) {
            whole = false;
            // Deleted under the editor: the next whole text makes it again.
            return tell(false, errno == ENOENT ? QString() : store->failure(errno));
        }
        struct stat st = {};
        const bool ok = ::fstat(out, &st) == 0 && writeAll(out, record) && ::fdatasync(out) == 0;
        const int err = errno;
        // A record cut short goes; and as its edits are not in the journal,
        // no record may follow until a whole text is written again.
        if (!ok) {
            whole = false;
            const int truncated = ::ftruncate(out, st.st_size);
            Q_UNUSED(truncated);
        }
        ::close(out);
        tell(ok, ok ? QString() : store->failure(err));
    }
};

JournalWriter::JournalWriter(JournalStore *store, Report report)
    : m_store(store)
    , m_work(std::make_shared<Work>())
{
    m_work->store = store;
    m_work->report = std::move(report);
    // One thread: requests run in the order given.
    m_pool.setMaxThreadCount(1);
}

JournalWriter::~JournalWriter()
{
    wait();
    m_work->abandon();
}

void JournalWriter::begin(const QString &id, JournalEntry state, qint64 length)
{
    m_pool.start([work = m_work, id, state = std::move(state), length] {
        work->begin(id, serializeJournalStart(state, length));
    });
}

void JournalWriter::addSlice(QString slice)
{
    // The text document's own separators become line ends here, off the
    // GUI thread.
    m_pool.start([work = m_work, slice = std::move(slice)] {
        // Nothing to convert once the text cannot be written.
        if (work->fd >= 0)
            work->add(serializeJournalText(slice));
    });
}

void JournalWriter::finish()
{
    m_pool.start([work = m_work] { work->finish(); });
}

void JournalWriter::abandon()
{
    m_pool.start([work = m_work] { work->abandon(); });
}

void JournalWriter::write(const QString &id, JournalEntry entry)
{
    const qint64 length = entry.text.size();
    QString text = std::move(entry.text);
    entry.text.clear();
    begin(id, std::move(entry), length);
    addSlice(std::move(text));
    finish();
}

void JournalWriter::append(const QString &id, JournalEntry state, QList<JournalEdit> edits)
{
    m_pool.start([work = m_work, id, state = std::move(state), edits = std::move(edits)] {
        work->append(id, serializeJournalRecord(state, edits));
    });
}

void JournalWriter::remove(const QString &id)
{
    m_pool.start([work = m_work, path = m_store->journalPath(id)] {
        work->abandon();
        work->whole = false;
        QFile::remove(path);
    });
}

void JournalWriter::wait()
{
    m_pool.waitForDone();
}
