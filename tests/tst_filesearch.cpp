#include "filesearch.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestFileSearch : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    bool m_locked = false; // the unreadable folder is there and unreadable

    QString path(const QString &relative) const { return m_dir.filePath(relative); }
    void write(const QString &relative, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        QVERIFY(TestUtil::writeBytes(path(relative), bytes));
    }

private Q_SLOTS:
    void initTestCase()
    {
        write("utf16.vyx", QByteArray("\xFF\xFE/\0\r\0\n\0 \0\xA9\x03m\0e\0g\0a\0", 20));
        write("cp1252.vyx", "Caf\xE9 au lait\r\n");
        write("stray.vyx",
              "Gr\xC3\xBC\xC3\x9F"
              "e \xFF mark\n");
        write("binary.vyx", QByteArray("needle\0\x01\x02", 9));
        write("words.vyx", "Needle needles\nneedle\r\n");
        write("notes.txt", "a needle\n");
        write("sub/deep.vyx", "deep needle");
        QVERIFY(QFile::link("..", path("sub/loop")));
        write("inc/a.vyx", "#include \"b.vyx\"\nold\n");
        write("inc/b.vyx",
              "#include \"a.vyx\"\r\n#include \"..\\sub\\deep.vyx\"\r\n"
              "#include \"gone.vyx\"\r\nneedle b\r\n");
        write("locked/hidden.vyx", "needle");
        QVERIFY(QFile::setPermissions(path("locked"), {}));
        // Root reads any folder whatever its permissions.
        m_locked = ::geteuid() != 0;
    }

    void cleanupTestCase() { ::chmod(QFile::encodeName(path("locked")), 0700); }

    void search_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("options"); // "case", "word", "includes", "flat", "nowhere"
        QTest::addColumn<QString>("patterns");
        QTest::addColumn<QStringList>("hits"); // each as "path:line:column,column"
        QTest::addColumn<QString>("summary");

        const QString locked = m_locked ? ", 1 unreadable folder" : "";
        const QString one = "1 match in 1 file (1 binary file skipped" + locked + ")";
        const QStringList lockedHit
            = m_locked ? QStringList() : QStringList{"locked/hidden.vyx:1:0"};
        const QString all = QString("%1 matches in %2 files (1 binary file skipped%3)")
                                .arg(m_locked ? 6 : 7)
                                .arg(m_locked ? 4 : 5)
                                .arg(locked);
        // clang-format off
        QTest::newRow("utf16-le-bom") << u"\u03A9mega"_s << "" << "*.vyx" << QStringList{"utf16.vyx:2:1"} << one;
        QTest::newRow("windows-1252") << u"caf\u00E9"_s << "" << "*.vyx" << QStringList{"cp1252.vyx:1:0"} << one;
        // Found where it stands past a byte UTF-8 cannot read, kept as it was.
        QTest::newRow("after-stray-byte") << "mark" << "case" << "*.VYX" << QStringList{"stray.vyx:1:8"} << one;
        // The symlink loop in sub/ leads back to the folder: walked once. The
        // open document, inc/a.vyx, is searched as it stands, not as saved.
        QTest::newRow("ignore-case") << "needle" << "" << "*.vyx" << QStringList{"words.vyx:1:0,7", "words.vyx:2:0", "inc/a.vyx:2:0", "inc/b.vyx:4:0"} + lockedHit + QStringList{"sub/deep.vyx:1:5"} << all;
        QTest::newRow("match-case") << "Needle" << "case" << "*.vyx" << QStringList{"words.vyx:1:0"} << one;
        QTest::newRow("whole-word") << "needle" << "word flat" << "*.vyx" << QStringList{"words.vyx:1:0", "words.vyx:2:0"} << "2 matches in 1 file (1 binary file skipped)";
        QTest::newRow("patterns") << "needle" << "case word flat" << "*.txt; words.*;" << QStringList{"notes.txt:1:2", "words.vyx:2:0"} << "2 matches in 2 files";
        QTest::newRow("saved-text-of-open-document") << "old" << "case" << "*.vyx" << QStringList() << "0 matches in 0 files (1 binary file skipped" + locked + ")";
        // A folder that cannot be listed is reported, and the search goes on.
        QTest::newRow("missing-folder") << "needle" << "nowhere" << "*.vyx" << QStringList() << "0 matches in 0 files (1 unreadable folder)";
        // a.vyx and b.vyx include each other; each is searched once.
        QTest::newRow("includes-with-cycle") << "needle" << "includes" << "*.txt" << QStringList{"a.vyx:2:0", "b.vyx:4:0", "../sub/deep.vyx:1:5"} << "3 matches in 3 files (1 included file not found)";
        // clang-format on
    }

    void search()
    {
        QFETCH(QString, text);
        QFETCH(QString, options);
        QFETCH(QString, patterns);
        FileSearchOptions search;
        search.text = text;
        search.matchCase = options.contains("case");
        search.wholeWord = options.contains("word");
        search.scope = options.contains("includes") ? FileSearchOptions::Scope::Includes
                                                    : FileSearchOptions::Scope::Folder;
        search.subfolders = !options.contains("flat");
        search.folder = options.contains("nowhere") ? path("nowhere") : m_dir.path();
        search.patterns = patterns;
        search.documentPath = path("inc/a.vyx");
        search.documentText = "#include \"b.vyx\"\r\nneedle live\r\n";
        QStringList found;
        const std::atomic<bool> cancel = false;
        const FileSearchSummary result
            = searchFiles(search, cancel, [&](const QList<FileSearchHit> &batch, int) {
                  for (const FileSearchHit &hit : batch) {
                      QStringList columns;
                      for (const int column : hit.columns) {
                          columns << QString::number(column);
                          QCOMPARE(hit.lineText.mid(column - hit.textStart, hit.length).toLower(),
                                   text.toLower());
                      }
                      found << QDir::fromNativeSeparators(hit.displayPath) + ':'
                              + QString::number(hit.line) + ':' + columns.join(',');
                  }
              });
        QTEST(found, "hits");
        QTEST(summaryLine(result), "summary");
    }

    void longLine_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("matches");
        QTest::addColumn<int>("textStart");
        QTest::addColumn<QString>("shown"); // the piece kept holds it
        QTest::addColumn<int>("moreMatches");
        const QByteArray ships = QByteArray("Ship,").repeated(400000); // 2 MB, one line
        const QByteArray deep = QByteArray(40000, 'x') + "Ship" + QByteArray(40000, 'y');
        QTest::newRow("400,000 matches")
            << ships << 400000 << 0 << QString("Ship,").repeated(100) << 399000;
        // Longer than Open takes, still searched; the match in the middle.
        QTest::newRow("past Open's limit")
            << deep << 1 << 39752 << QString(248, 'x') + "Ship" + QString(248, 'y') << 0;
        QTest::newRow("short") << QByteArray("a Ship b") << 1 << 0 << QString("a Ship b") << 0;
    }

    // A line of megabytes costs a row of 500 characters around its first
    // match and the places of its first 1,000 matches; the rest are counted.
    void longLine()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, matches);
        QTemporaryDir dir;
        QVERIFY(TestUtil::writeBytes(dir.filePath("long.vyx"), line + "\r\nShip\r\n"));
        FileSearchOptions search;
        search.text = "Ship";
        search.matchCase = true;
        search.folder = dir.path();
        QList<FileSearchHit> hits;
        const std::atomic<bool> cancel = false;
        const FileSearchSummary result = searchFiles(
            search, cancel, [&](const QList<FileSearchHit> &batch, int) { hits += batch; });
        QCOMPARE(hits.size(), 2);
        const FileSearchHit &hit = hits.first();
        QCOMPARE(result.matches, matches + 1);
        QCOMPARE(hit.lineLength, line.size());
        QTEST(hit.textStart, "textStart");
        QTEST(hit.lineText, "shown");
        QCOMPARE(hit.columns.size() + hit.moreMatches, result.matches - 1);
        QVERIFY(hit.columns.size() <= FileSearchHit::maxColumns);
        QTEST(hit.moreMatches, "moreMatches");
        QCOMPARE(hit.lineText.mid(hit.columns.first() - hit.textStart, 4), "Ship");
        QCOMPARE(hits.last().line, 2);
    }

    // A name not in UTF-8 and a folder deeper than PATH_MAX name nothing the
    // editor can open: each is named in the summary for what it is.
    void namesSkipped()
    {
        QTemporaryDir dir;
        QVERIFY(TestUtil::writeBytes(dir.filePath("ok.vyx"), "needle"));
        const QByteArray root = QFile::encodeName(dir.path());
        const int file = ::open((root + "/caf\xE9.vyx").constData(), O_CREAT | O_WRONLY, 0600);
        QVERIFY(file >= 0 && ::write(file, "needle", 6) == 6);
        ::close(file);
        // 20 folders of 250 characters: the path passes 4096 on the way down.
        int folder = ::open(root.constData(), O_RDONLY | O_DIRECTORY);
        for (int depth = 0; depth < 20 && folder >= 0; ++depth) {
            const QByteArray name(250, char('a' + depth));
            QCOMPARE(::mkdirat(folder, name.constData(), 0700), 0);
            const int inner = ::openat(folder, name.constData(), O_RDONLY | O_DIRECTORY);
            ::close(folder);
            folder = inner;
        }
        QVERIFY(folder >= 0);
        const int deep = ::openat(folder, "deep.vyx", O_CREAT | O_WRONLY, 0600);
        QVERIFY(deep >= 0 && ::write(deep, "needle", 6) == 6);
        ::close(deep);
        ::close(folder);

        FileSearchOptions search;
        search.text = "needle";
        search.folder = dir.path();
        const std::atomic<bool> cancel = false;
        const FileSearchSummary result
            = searchFiles(search, cancel, [](const QList<FileSearchHit> &, int) {});
        QCOMPARE(summaryLine(result),
                 "1 match in 1 file (1 name not in UTF-8 skipped, 1 path too long skipped)");
        // rm walks a tree of any depth; QTemporaryDir gives up at PATH_MAX.
        QCOMPARE(QProcess::execute("rm", {"-rf", dir.path()}), 0);
    }

    // Cancelled after the first file, the search ends at once and says so.
    void cancel()
    {
        FileSearchOptions search;
        search.text = "needle";
        search.folder = m_dir.path();
        std::atomic<bool> cancel = false;
        int reports = 0;
        const FileSearchSummary result
            = searchFiles(search, cancel, [&](const QList<FileSearchHit> &, int) {
                  ++reports;
                  cancel = true;
              });
        QCOMPARE(reports, 1);
        QCOMPARE(result.filesSearched, 1);
        QVERIFY(result.cancelled);
        QVERIFY(summaryLine(result).endsWith("cancelled)"));
    }
};

QTEST_GUILESS_MAIN(TestFileSearch)
#include "tst_filesearch.moc"
