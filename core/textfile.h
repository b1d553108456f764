#pragma once

#include <QByteArray>
#include <QString>

// Lines longer than this many characters are refused, by Open and by the
// check of a mod alike: the editing control lays out a line as a whole, so
// each key pressed on a line of megabytes would take seconds. At this length
// a key typed at the end of the line still answers within 50 ms even for CJK
// text, whose shaping costs about five times that of ASCII (see make bench).
constexpr qsizetype maxTextLineLength = 32768;
// Why a file with such a line is not opened.
QString lineTooLongReason();

// Writes all of bytes to the file descriptor fd from its current offset,
// going on after an interrupted write; false on the first error, which
// errno then tells.
bool writeAll(int fd, QByteArrayView bytes);

// Which file a path names and how it stood when looked at: a file replaced
// (a new inode), rewritten (size or time) or removed since then compares
// unequal.
struct FileIdentity
{
    bool exists = false; // a regular file is there
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 mtimeNs = 0;
    bool operator==(const FileIdentity &o) const
    {
        return exists == o.exists && device == o.device && inode == o.inode && size == o.size
            && mtimeNs == o.mtimeNs;
    }
    bool operator!=(const FileIdentity &o) const { return !(*this == o); }
};
// The identity of the file at path, symlinks followed; a folder or anything
// else that is not a regular file counts as no file.
FileIdentity fileIdentity(const QString &path);

// A file on disk as the editor read or last wrote it: its bytes while they
// are needed and its identity, so that the editor can tell whether someone
// else has changed it since.
class TextFile
{
public:
    // Reads the whole file. Refuses folders, pipes, devices and anything
    // else that is not a regular file (reading one could wait forever), and
    // files larger than maxSize; errorString() then says why.
    bool read(const QString &path, qint64 maxSize);
    const QByteArray &bytes() const { return m_bytes; }
    // Drops the bytes read, keeping the path and identity.
    void releaseBytes() { m_bytes = QByteArray(); }

    // Replaces the file's content with bytes, then remembers the file as
    // written; refuses folders, pipes and devices as read() does. Normally
    // through a temporary file, given the old one's extended attributes and
    // ACLs and renamed over it, so that a failed write leaves the old file
    // intact. Where that rename would change what the file is (other hard
    // links to it, an owner or group the editor's user could not give the new
    // file, setuid/setgid/sticky bits, an attribute the new file would not
    // take), the file is overwritten in place instead, after a complete copy
    // of its old content has been written and synced next to it (or in the
    // temporary folder where it does not fit); the copy is removed once the
    // new content is on disk, and is put back if the overwrite fails.
    bool write(const QString &path, const QByteArray &bytes);

    // The path last read or written; empty before.
    QString path() const { return m_path; }
    // True when the file at path() is no longer as it was read or written
    // (replaced, rewritten or removed).
    bool changedOnDisk() const;
    // True when the file was there when read or written and is gone now.
    bool removedFromDisk() const;
    // True, once for each new state of the file (removed too), when it has changed on disk
    // and the user has not yet been told of that state.
    bool takeUnnoticedChange();
    // Forgets the file: a new document has none.
    void clear();

    // The file as it stood when last read or written.
    FileIdentity identity() const { return m_identity; }
    // Takes the file as known from elsewhere (a recovered journal): its path
    // and how it stood then, so that a change since still shows.
    void restore(const QString &path, const FileIdentity &identity);

    QString errorString() const { return m_errorString; }

private:
    // old: the file being replaced, open for reading and writing; -1 for a new file.
    bool writeAtomically(const QString &path, const QByteArray &bytes, int old);
    bool writeInPlace(int fd, const QString &path, const QByteArray &bytes);
    void remember(const QString &path);

    QString m_path;
    FileIdentity m_identity;
    FileIdentity m_noticed; // the last changed state the user was told of
    QByteArray m_bytes;
    QString m_errorString;
};
