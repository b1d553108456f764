#include "textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

QString systemError()
{
    return qt_error_string(errno);
}

// Overwrites the whole file behind fd with bytes and puts them on disk.
bool overwrite(int fd, const QByteArray &bytes)
{
    return ::lseek(fd, 0, SEEK_SET) == 0 && writeAll(fd, bytes)
        && ::ftruncate(fd, off_t(bytes.size())) == 0 && ::fsync(fd) == 0;
}

FileIdentity identityOf(const struct stat &st)
{
    return {true, quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

QString notRegularFile(mode_t mode)
{
    return S_ISDIR(mode) ? QObject::tr("It is a folder, not a file.")
                         : QObject::tr("It is not a regular file.");
}

// Gives the file behind `to` the extended attributes of the one behind
// `from`: user attributes and ACLs alike. False when one could not be read
// or set; true when the file system keeps none.
bool copyExtendedAttributes(int from, int to)
{
    ssize_t size = ::flistxattr(from, nullptr, 0);
    if (size < 0)
        return errno == ENOTSUP;
    QByteArray names(size, Qt::Uninitialized);
    size = ::flistxattr(from, names.data(), size_t(names.size()));
    if (size < 0)
        return false;
    names.truncate(size);
    for (const QByteArray &name : names.split('\0')) {
        if (name.isEmpty())
            continue;
        ssize_t length = ::fgetxattr(from, name.constData(), nullptr, 0);
        QByteArray value(qMax<ssize_t>(length, 0), Qt::Uninitialized);
        if (length >= 0)
            length = ::fgetxattr(from, name.constData(), value.data(), size_t(value.size()));
        if (length < 0
            || ::fsetxattr(to, name.constData(), value.constData(), size_t(length), 0) != 0)
            return false;
    }
    return true;
}

QString tooLarge(qint64 maxSize)
{
    return QObject::tr("The file is larger than %1 MB.").arg(maxSize / (1024 * 1024));
}

} // namespace

bool writeAll(int fd, QByteArrayView bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A write that takes nothing would never end: said as an I/O error.
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += n;
    }
    return true;
}

QString lineTooLongReason()
{
    return QObject::tr("It has a line longer than %1 characters, too long to edit.")
        .arg(maxTextLineLength);
}

FileIdentity fileIdentity(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return identityOf(st);
}

bool TextFile::read(const QString &path, qint64 maxSize)
{
    m_errorString.clear();
    // Opened without waiting, so that a pipe with no writer or a device
    // never blocks; its type is then checked on what was opened.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        m_errorString = systemError();
        return false;
    }
    QFile file;
    // Cannot fail on an open descriptor; the file closes it from here on.
    file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        m_errorString = systemError();
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        m_errorString = notRegularFile(st.st_mode);
        return false;
    }
    if (st.st_size > maxSize) {
        m_errorString = tooLarge(maxSize);
        return false;
    }
    // No more than the size checked: a file that grows meanwhile no longer
    // has the identity kept, so it shows as changed on disk.
    QByteArray bytes = file.read(st.st_size);
    if (file.error() != QFileDevice::NoError) {
        m_errorString = file.errorString();
        return false;
    }
    m_bytes = std::move(bytes);
    m_path = path;
    m_identity = identityOf(st);
    m_noticed = m_identity;
    return true;
}

bool TextFile::write(const QString &path, const QByteArray &bytes)
{
    m_errorString.clear();
    // A symlink stays one: its target is what gets written.
    const QFileInfo info(path);
    const QString target = info.isSymLink() && info.exists() ? info.canonicalFilePath() : path;
    // How to write is decided on the file opened, not on another look at the
    // path, which may name another file by then. Opened without waiting, as
    // for reading; opening for writing refuses a folder.
    const int fd
        = ::open(QFile::encodeName(target).constData(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 && errno != ENOENT) {
        m_errorString = errno == EISDIR ? notRegularFile(S_IFDIR) : systemError();
        return false;
    }
    bool written = false;
    if (fd < 0) {
        written = writeAtomically(target, bytes, -1);
    } else {
        struct stat st;
        if (::fstat(fd, &st) != 0) {
            m_errorString = systemError();
        } else if (!S_ISREG(st.st_mode)) {
            m_errorString = notRegularFile(st.st_mode);
        } else {
            const bool inPlace = st.st_nlink > 1 || st.st_uid != ::geteuid()
                || st.st_gid != ::getegid() || (st.st_mode & (S_ISUID | S_ISGID | S_ISVTX))
                || ::access(QFile::encodeName(QFileInfo(target).absolutePath()).constData(), W_OK)
                    != 0;
            written
                = inPlace ? writeInPlace(fd, target, bytes) : writeAtomically(target, bytes, fd);
        }
        ::close(fd);
    }
    if (written)
        remember(path);
    return written;
}

bool TextFile::writeAtomically(const QString &path, const QByteArray &bytes, int old)
{
    // Unbuffered, and written until all is out: through Qt's buffer a full
    // disk would only show in commit(), which ignores it and renames the cut
    // file over the old one; and a short write carries no reason, the write
    // of the rest does.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        m_errorString = file.errorString();
        return false;
    }
    // The new file is a new inode: it has the old one's extended attributes
    // (ACLs among them) only if they are copied over. Where one cannot be,
    // the old file is overwritten in place instead, as for hard links.
    if (old >= 0 && !copyExtendedAttributes(old, file.handle())) {
        file.cancelWriting();
        return writeInPlace(old, path, bytes);
    }
    for (qint64 done = 0, written = 0; done < bytes.size(); done += written) {
        written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            m_errorString = file.errorString();
            file.cancelWriting();
            return false;
        }
    }
    if (!file.commit()) {
        m_errorString = file.errorString();
        return false;
    }
    return true;
}

bool TextFile::writeInPlace(int fd, const QString &path, const QByteArray &bytes)
{
    QByteArray old;
    {
        QFile current;
        // Cannot fail on an open descriptor.
        current.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle);
        old = current.readAll();
        if (current.error() != QFileDevice::NoError) {
            m_errorString = current.errorString();
            return false;
        }
    }
    // The backup goes next to the file, where it survives a crash and the
    // user looks first; into the temporary folder when it cannot be written
    // there (no right to, or no room).
    const QFileInfo info(path);
    std::unique_ptr<QTemporaryFile> backup;
    for (const QString &name :
         {info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX~"),
          QDir::temp().filePath(info.fileName() + QStringLiteral(".XXXXXX~"))}) {
        backup = std::make_unique<QTemporaryFile>(name);
        if (!backup->open()) {
            m_errorString = backup->errorString();
        } else if (!writeAll(backup->handle(), old) || ::fsync(backup->handle()) != 0) {
            m_errorString = systemError();
        } else {
            m_errorString.clear();
            break;
        }
        backup.reset();
    }
    if (!backup)
        return false;
    if (overwrite(fd, bytes))
        return true; // the backup removes itself
    m_errorString = systemError();
    if (!overwrite(fd, old)) {
        backup->setAutoRemove(false);
        m_errorString += QLatin1Char(' ')
            + QObject::tr("The old content is kept in \"%1\".")
                  .arg(QDir::toNativeSeparators(backup->fileName()));
    }
    return false;
}

void TextFile::remember(const QString &path)
{
    m_path = path;
    m_identity = fileIdentity(path);
    // Nothing new to tell yet: the state told of last is the one known.
    m_noticed = m_identity;
}

bool TextFile::changedOnDisk() const
{
    if (m_path.isEmpty())
        return false;
    const FileIdentity now = fileIdentity(m_path);
    return now.exists && now != m_identity;
}

bool TextFile::removedFromDisk() const
{
    // Nothing at all by that name: a folder or a pipe put there is another
    // matter, which writing reports.
    return !m_path.isEmpty() && m_identity.exists && !QFileInfo::exists(m_path);
}

bool TextFile::takeUnnoticedChange()
{
    if (m_path.isEmpty())
        return false;
    const FileIdentity now = fileIdentity(m_path);
    if (now == m_identity || now == m_noticed || (!now.exists && !m_identity.exists))
        return false;
    m_noticed = now;
    return true;
}

void TextFile::clear()
{
    *this = TextFile();
}

void TextFile::restore(const QString &path, const FileIdentity &identity)
{
    clear();
    m_path = path;
    m_identity = identity;
    m_noticed = identity;
}
