#include "textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError()
{
    return qt_error_string(errno);
}

// Writes all of bytes to fd from its current offset; false on the first error.
bool writeAll(int fd, const QByteArray &bytes)
{
    for (qint64 done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
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

QString tooLarge(qint64 maxSize)
{
    return QObject::tr("The file is larger than %1 MB.").arg(maxSize / (1024 * 1024));
}

} // namespace

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
        m_errorString
            = errno == EISDIR ? QObject::tr("It is a folder, not a file.") : systemError();
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        m_errorString = S_ISDIR(st.st_mode) ? QObject::tr("It is a folder, not a file.")
                                            : QObject::tr("It is not a regular file.");
        ::close(fd);
        return false;
    }
    if (st.st_size > maxSize) {
        m_errorString = tooLarge(maxSize);
        ::close(fd);
        return false;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        m_errorString = file.errorString();
        ::close(fd);
        return false;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError || bytes.size() > maxSize) {
        m_errorString
            = file.error() != QFileDevice::NoError ? file.errorString() : tooLarge(maxSize);
        return false;
    }
    m_bytes = std::move(bytes);
    m_path = path;
    m_noticed = {};
    m_identity = identityOf(st);
    return true;
}

bool TextFile::write(const QString &path, const QByteArray &bytes)
{
    m_errorString.clear();
    // A symlink stays one: its target is what gets written.
    const QFileInfo info(path);
    const QString target = info.isSymLink() && info.exists() ? info.canonicalFilePath() : path;
    struct stat st;
    const bool exists = ::stat(QFile::encodeName(target).constData(), &st) == 0;
    const bool inPlace = exists && S_ISREG(st.st_mode)
        && (st.st_nlink > 1 || st.st_uid != ::geteuid() || st.st_gid != ::getegid()
            || (st.st_mode & (S_ISUID | S_ISGID | S_ISVTX))
            || ::access(QFile::encodeName(QFileInfo(target).absolutePath()).constData(), W_OK)
                != 0);
    if (!(inPlace ? writeInPlace(target, bytes) : writeAtomically(target, bytes)))
        return false;
    remember(path);
    return true;
}

bool TextFile::writeAtomically(const QString &path, const QByteArray &bytes)
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

bool TextFile::writeInPlace(const QString &path, const QByteArray &bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        m_errorString = systemError();
        return false;
    }
    QByteArray old;
    {
        QFile current;
        if (!current.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
            m_errorString = current.errorString();
            ::close(fd);
            return false;
        }
        old = current.readAll();
    }
    // The backup goes next to the file, where it survives a crash and the
    // user looks first; into the temporary folder when that is not writable.
    const QFileInfo info(path);
    QTemporaryFile backup(info.absolutePath() + QStringLiteral("/.") + info.fileName()
                          + QStringLiteral(".XXXXXX~"));
    if (!backup.open()) {
        backup.setFileTemplate(QDir::temp().filePath(info.fileName() + QStringLiteral(".XXXXXX~")));
        if (!backup.open()) {
            m_errorString = backup.errorString();
            ::close(fd);
            return false;
        }
    }
    if (backup.write(old) != old.size() || !backup.flush() || ::fsync(backup.handle()) != 0) {
        m_errorString = backup.errorString();
        ::close(fd);
        return false;
    }
    if (overwrite(fd, bytes)) {
        ::close(fd);
        return true; // the backup removes itself
    }
    m_errorString = systemError();
    if (!overwrite(fd, old)) {
        backup.setAutoRemove(false);
        m_errorString += QLatin1Char(' ')
            + QObject::tr("The old content is kept in \"%1\".")
                  .arg(QDir::toNativeSeparators(backup.fileName()));
    }
    ::close(fd);
    return false;
}

void TextFile::remember(const QString &path)
{
    m_path = path;
    m_identity = fileIdentity(path);
    m_noticed = {};
}

bool TextFile::changedOnDisk() const
{
    if (m_path.isEmpty())
        return false;
    const FileIdentity now = fileIdentity(m_path);
    return now.exists && now != m_identity;
}

bool TextFile::takeUnnoticedChange()
{
    if (m_path.isEmpty())
        return false;
    const FileIdentity now = fileIdentity(m_path);
    if (!now.exists || now == m_identity || now == m_noticed)
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
}
