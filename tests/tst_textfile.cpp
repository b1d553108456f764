#include "memory.h"
#include "testutil.h"
#include "textfile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

QByteArray name(const QString &path)
{
    return QFile::encodeName(path);
}

// What a save keeps of a name: whether it is a symlink, then of the file
// behind it the mode, owner, group, link count and the value of attr.
QString metadata(const QString &path, const QByteArray &attr = {})
{
    struct stat link = {}, st = {};
    ::lstat(name(path), &link);
    ::stat(name(path), &st);
    QByteArray value(256, '\0');
    value.resize(qMax<ssize_t>(0, ::getxattr(name(path), attr, value.data(), 256)));
    return QString::asprintf("%d %o %u:%u %u ", S_ISLNK(link.st_mode), st.st_mode, st.st_uid,
                             st.st_gid, unsigned(st.st_nlink))
        + value.toHex();
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                  | QDir::NoDotAndDotDot);
}

} // namespace

class TestTextFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void writeKeepsTheFile_data();
    void writeKeepsTheFile();
    void refuses_data();
    void refuses();
    void diskFull_data();
    void diskFull();
    void changesOnDisk_data();
    void changesOnDisk();
    void availableMemory();

private:
    QString path(const QString &file) const { return m_dir->filePath(file); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_mounted;
};

void TestTextFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(TestUtil::writeBytes(path("a.vyx"), "old"));
}

void TestTextFile::cleanup()
{
    if (!m_mounted.isEmpty())
        ::umount2(std::exchange(m_mounted, {}), MNT_DETACH);
    m_dir.reset();
}

void TestTextFile::writeKeepsTheFile_data()
{
    QTest::addColumn<QString>("setup"); // or an extended attribute to set on a.vyx
    // True when a new file is renamed over the old one, so that no
    // half-written file ever stands under the name; false when the file has
    // to be overwritten in place to stay what it is.
    QTest::addColumn<bool>("replaced");
    QTest::newRow("plain") << "" << true;
    QTest::newRow("symlink") << "symlink" << true;
    QTest::newRow("hard link") << "link" << false;
    QTest::newRow("mode") << "0640" << true;
    QTest::newRow("special bits") << "07640" << false;
    QTest::newRow("owner") << "chown" << false;
    QTest::newRow("user xattr") << "user.vyx" << true;
    QTest::newRow("acl") << "system.posix_acl_access" << true;
}

// Every name of the file sees the new text; what the file is stays, and
// nothing is left beside it.
void TestTextFile::writeKeepsTheFile()
{
    QFETCH(QString, setup);
    const QByteArray attr = setup.contains('.') ? setup.toLatin1() : QByteArray();
    // The ACL: the owner, user 12345, the group, the mask and others, as the kernel stores them.
    const QByteArray value = !setup.startsWith("system")
        ? QByteArray("tag")
        : QByteArray::fromHex("02000000 01000600ffffffff 0200040039300000"
                              "04000400ffffffff 10000400ffffffff 20000000ffffffff");
    const QByteArray a = name(path("a.vyx")), b = name(path("b.vyx"));
    QVERIFY(setup != "symlink" || ::symlink("a.vyx", b) == 0);
    QVERIFY(setup != "link" || ::link(a, b) == 0);
    QVERIFY(!setup.startsWith('0') || ::chmod(a, mode_t(setup.toUInt(nullptr, 8))) == 0);
    if (setup == "chown" && ::geteuid() != 0)
        QSKIP("only root can give a file to another user");
    QVERIFY(setup != "chown" || ::chown(a, 65534, 65534) == 0);
    if (!attr.isEmpty() && ::setxattr(a, attr, value, size_t(value.size()), 0) != 0)
        QSKIP(qPrintable("this file system keeps no " + attr + ": " + qt_error_string(errno)));
    const QStringList names = entries(m_dir->path());
    QStringList before, after;
    for (const QString &n : names)
        before << metadata(path(n), attr);

    struct stat old, now;
    QCOMPARE(::stat(a, &old), 0);
    TextFile file;
    QVERIFY2(file.write(path(names.last()), "new text"), qPrintable(file.errorString()));
    QCOMPARE(::stat(a, &now), 0);
    QTEST(now.st_ino != old.st_ino, "replaced");
    for (const QString &n : names) {
        after << metadata(path(n), attr);
        QCOMPARE(TestUtil::readBytes(path(n)), "new text");
    }
    QCOMPARE(after, before);
    QCOMPARE(entries(m_dir->path()), names);
    QVERIFY(!file.changedOnDisk());
}

void TestTextFile::refuses_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("write");
    QTest::addColumn<QString>("error");
    const QString folder = "It is a folder, not a file.";
    const QString special = "It is not a regular file.";
    QTest::newRow("read folder") << "folder" << false << folder;
    QTest::newRow("write folder") << "folder" << true << folder;
    QTest::newRow("read fifo") << "fifo" << false << special;
    QTest::newRow("write fifo") << "fifo" << true << special;
    QTest::newRow("read too big") << "huge" << false << "The file is larger than 1 MB.";
}

// Folders and pipes are refused without waiting for a writer and stay as
// they were; so are files over the size limit.
void TestTextFile::refuses()
{
    QFETCH(QString, setup);
    QFETCH(bool, write);
    const QString target = path(setup == "huge" ? "a.vyx" : "t");
    QVERIFY(setup != "folder" || QDir().mkdir(target));
    QVERIFY(setup != "fifo" || ::mkfifo(name(target), 0644) == 0);
    // Sparse: costs no disk.
    QVERIFY(setup != "huge" || ::truncate(name(target), 1024 * 1024 + 1) == 0);
    const QString before = metadata(target);
    TextFile file;
    QVERIFY(write ? !file.write(target, "new") : !file.read(target, 1024 * 1024));
    QTEST(file.errorString(), "error");
    QCOMPARE(metadata(target), before);
    QCOMPARE(file.path(), QString());
}

void TestTextFile::diskFull_data()
{
    QTest::addColumn<bool>("hardLink");
    QTest::newRow("through a new file") << false;
    QTest::newRow("in place, hard link") << true;
}

// A save that finds the disk full says so and leaves the file as it was.
void TestTextFile::diskFull()
{
    QFETCH(bool, hardLink);
    const QString disk = path("disk");
    QVERIFY(QDir().mkdir(disk));
    if (::mount("tmpfs", name(disk), "tmpfs", 0, "size=64k") != 0)
        QSKIP(qPrintable("cannot mount a small file system: " + qt_error_string(errno)));
    m_mounted = name(disk);
    // The old text takes most of the room: neither a new file nor a copy of
    // the old one beside it fits.
    const QByteArray old(40 * 1024, 'o');
    QVERIFY(TestUtil::writeBytes(disk + "/a.vyx", old));
    QVERIFY(!hardLink || ::link(name(disk + "/a.vyx"), name(disk + "/b.vyx")) == 0);
    const QStringList names = entries(disk);
    TextFile file;
    QVERIFY(!file.write(disk + "/a.vyx", QByteArray(128 * 1024, 'n')));
    QCOMPARE(file.errorString(), qt_error_string(ENOSPC));
    QCOMPARE(entries(disk), names);
    for (const QString &n : names)
        QCOMPARE(TestUtil::readBytes(disk + u'/' + n), old);
}

void TestTextFile::changesOnDisk_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<bool>("news");
    QTest::newRow("none") << "" << false << false;
    QTest::newRow("saved by the editor") << "save" << false << false;
    QTest::newRow("rewritten") << "rewrite" << true << true;
    QTest::newRow("touched") << "touch" << true << true;
    QTest::newRow("replaced") << "replace" << true << true;
    QTest::newRow("removed") << "remove" << false << true;
}

// Another program's change counts, and is news once; the editor's own save
// does not. A removed file is news too, but no change to write over.
void TestTextFile::changesOnDisk()
{
    QFETCH(QString, change);
    QFETCH(bool, changed);
    const QString a = path("a.vyx");
    const timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
    TextFile file;
    QVERIFY(file.read(a, 1024));
    QCOMPARE(file.bytes(), "old");
    QVERIFY(change != "save" || file.write(a, "new"));
    QVERIFY(change != "rewrite" || TestUtil::writeBytes(a, "newer"));
    QVERIFY(change != "touch" || ::utimensat(AT_FDCWD, name(a), times, 0) == 0);
    QVERIFY(change != "replace"
            || (TestUtil::writeBytes(path("b.vyx"), "old")
                && ::rename(name(path("b.vyx")), name(a)) == 0));
    QVERIFY(change != "remove" || QFile::remove(a));
    QCOMPARE(file.changedOnDisk(), changed);
    QCOMPARE(file.removedFromDisk(), change == "remove");
    QTEST(file.takeUnnoticedChange(), "news");
    QCOMPARE(file.takeUnnoticedChange(), false);
    QCOMPARE(file.changedOnDisk(), changed);
}

// The cap on what a load may take reads /proc/meminfo's kB as bytes: more
// than a thousandth of the machine's memory, never more than all of it.
void TestTextFile::availableMemory()
{
    const qint64 total = qint64(::sysconf(_SC_PHYS_PAGES)) * ::sysconf(_SC_PAGESIZE);
    const qint64 available = availableMemoryBytes();
    QVERIFY2(available > total / 1000 && available <= total,
             qPrintable(QString::number(available)));
}

QTEST_GUILESS_MAIN(TestTextFile)
#include "tst_textfile.moc"
