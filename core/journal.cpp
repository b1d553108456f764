#include "journal.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QLockFile>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr quint32 journalMagic = 0x56594a31; // "VYJ1"
// 2 adds the legacy encoding after the text; journals of 1 still read.
constexpr quint32 journalVersion = 2;
const QLatin1String journalSuffix(".journal");

} // namespace

QByteArray serializeJournal(const JournalEntry &e)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << journalMagic << journalVersion << e.path << e.identity.exists << e.identity.device
        << e.identity.inode << e.identity.size << e.identity.mtimeNs << qint32(e.encoding.kind)
        << e.encoding.bom << qint32(e.caret) << e.changed << e.text << e.encoding.legacyCodec
        << e.encoding.exact << journalMagic;
    return bytes;
}

bool parseJournal(const QByteArray &bytes, JournalEntry *e)
{
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0, version = 0, endMagic = 0;
    qint32 encoding = 0, caret = 0;
    bool bom = false, exact = false;
    QString legacyCodec;
    in >> magic >> version;
    if (magic != journalMagic || version < 1 || version > journalVersion)
        return false;
    in >> e->path >> e->identity.exists >> e->identity.device >> e->identity.inode
        >> e->identity.size >> e->identity.mtimeNs >> encoding >> bom >> caret >> e->changed
        >> e->text;
    if (version >= 2)
        in >> legacyCodec >> exact;
    in >> endMagic;
    if (in.status() != QDataStream::Ok || endMagic != journalMagic
        || encoding < int(TextEncoding::Auto) || encoding > int(TextEncoding::Utf16BE))
        return false;
    // A legacy name this editor does not offer is left out: the text is
    // then written as the detected encoding says.
    e->encoding = legacyEncodingNames().contains(legacyCodec)
        ? FileEncoding::legacy(legacyCodec, exact)
        : FileEncoding::detected({TextEncoding(encoding), bom});
    e->caret = qMax(0, caret);
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

bool JournalStore::ensureFolder()
{
    if (!QDir().mkpath(m_folder))
        return false;
    // Unsaved work is private: only the user may list or read it.
    return QFile::setPermissions(
        m_folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
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
    const QFileInfoList files = QDir(m_folder).entryInfoList({QLatin1String("*") + journalSuffix},
                                                             QDir::Files, QDir::Time);
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
    if (m_ownId.isEmpty()) {
        ensureFolder();
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

bool JournalStore::write(const QString &id, const JournalEntry &entry)
{
    if (!ensureFolder())
        return false;
    const QByteArray bytes = serializeJournal(entry);
    const QString target = journalPath(id);
    const QByteArray temp = QFile::encodeName(target + QLatin1String(".new"));
    // Written by hand rather than with QSaveFile, which makes the new file
    // with the umask's permissions: here it must be private from the start.
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, 0600) == 0;
    for (qsizetype done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += n > 0 ? n : 0;
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temp.constData(), QFile::encodeName(target).constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    // The rename itself is on disk once the folder is synced.
    const int dir = ::open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

void JournalStore::remove(const QString &id)
{
    QFile::remove(journalPath(id));
    release(id);
}

JournalWriter::JournalWriter(JournalStore *store)
    : m_store(store)
{
    // One thread: requests run in the order given.
    m_pool.setMaxThreadCount(1);
}

JournalWriter::~JournalWriter()
{
    wait();
}

void JournalWriter::write(const QString &id, JournalEntry entry)
{
    JournalStore *store = m_store;
    m_pool.start([store, id, entry = std::move(entry)]() mutable {
        // A text document's own block and line separators become line ends
        // here, off the GUI thread.
        entry.text.replace(QChar::ParagraphSeparator, u'\n');
        entry.text.replace(QChar::LineSeparator, u'\n');
        store->write(id, entry);
    });
}

void JournalWriter::remove(const QString &id)
{
    JournalStore *store = m_store;
    m_pool.start([store, id] { QFile::remove(store->journalPath(id)); });
}

void JournalWriter::wait()
{
    m_pool.waitForDone();
}
