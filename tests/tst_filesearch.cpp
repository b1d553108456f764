#include "filesearch.h"

#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using Scope = FileSearchOptions::Scope;

namespace {

// Each hit as "path:line:column,column".
QStringList describe(const QList<FileSearchHit> &hits)
{
    QStringList lines;
    for (const FileSearchHit &hit : hits) {
        QStringList columns;
        for (const int column : hit.columns)
            columns << QString::number(column);
        lines << QStringLiteral("%1:%2:%3")
                     .arg(QDir::fromNativeSeparators(hit.displayPath))
                     .arg(hit.line)
                     .arg(columns.join(u','));
    }
    return lines;
}

} // namespace

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
        QVERIFY(m_dir.isValid());
        const QString utf16 = QStringLiteral("//\r\nship \u03A9mega");
        write(QStringLiteral("utf16.vyx"),
              "\xFF\xFE"
                  + QByteArray(reinterpret_cast<const char *>(utf16.utf16()), utf16.size() * 2));
        write(QStringLiteral("cp1252.vyx"), "Caf\xE9 au lait\r\n");
        write(QStringLiteral("stray.vyx"),
              "Gr\xC3\xBC\xC3\x9F"
              "e \xFF mark\n");
        write(QStringLiteral("binary.vyx"), QByteArray("needle\0\x01\x02", 9));
        write(QStringLiteral("words.vyx"), "Needle needles\nneedle\r\n");
        write(QStringLiteral("notes.txt"), "a needle\n");
        write(QStringLiteral("sub/deep.vyx"), "deep needle");
        QVERIFY(QFile::link(QStringLiteral(".."), path(QStringLiteral("sub/loop"))));
        write(QStringLiteral("inc/a.vyx"), "#include \"b.vyx\"\nold\n");
        write(QStringLiteral("inc/b.vyx"),
              "#include \"a.vyx\"\r\n#include \"..\\sub\\deep.vyx\"\r\n"
              "#include \"gone.vyx\"\r\nneedle b\r\n");
        write(QStringLiteral("locked/hidden.vyx"), "needle");
        QVERIFY(QFile::setPermissions(path(QStringLiteral("locked")), QFileDevice::Permissions()));
        // Root reads any folder whatever its permissions.
        m_locked = ::geteuid() != 0;
    }

    void cleanupTestCase()
    {
        QFile::setPermissions(path(QStringLiteral("locked")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                  | QFileDevice::ExeOwner);
    }

    void search_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("options"); // "case", "word", "includes", "flat", "live"
        QTest::addColumn<QString>("patterns");
        QTest::addColumn<QStringList>("hits");
        QTest::addColumn<QString>("summary");

        const QString locked = m_locked ? QStringLiteral(", 1 unreadable folder") : QString();
        const QStringList lockedHit
            = m_locked ? QStringList() : QStringList{QStringLiteral("locked/hidden.vyx:1:0")};
        QTest::newRow("utf16-le-bom") << QStringLiteral("\u03A9mega") << ""
                                      << "*.vyx" << QStringList{"utf16.vyx:2:5"}
                                      << "1 match in 1 file (1 binary file skipped" + locked + ")";
        QTest::newRow("windows-1252") << QStringLiteral("caf\u00E9") << ""
                                      << "*.vyx" << QStringList{"cp1252.vyx:1:0"}
                                      << "1 match in 1 file (1 binary file skipped" + locked + ")";
        QTest::newRow("utf8-stray-byte")
            << QStringLiteral("Gr\u00FC\u00DFe") << "case"
            << "*.VYX" << QStringList{"stray.vyx:1:0"}
            << "1 match in 1 file (1 binary file skipped" + locked + ")";
        QTest::newRow("after-stray-byte")
            << "mark"
            << "case"
            << "*.vyx" << QStringList{"stray.vyx:1:8"}
            << "1 match in 1 file (1 binary file skipped" + locked + ")";
        // The symlink loop in sub/ leads back to the folder: walked once.
        QTest::newRow("ignore-case")
            << "needle"
            << ""
            << "*.vyx"
            << QStringList{"words.vyx:1:0,7", "words.vyx:2:0", "inc/a.vyx:2:0", "inc/b.vyx:4:0"}
                + lockedHit + QStringList{"sub/deep.vyx:1:5"}
            << QStringLiteral("%1 matches in %2 files (1 binary file skipped%3)")
                   .arg(m_locked ? 6 : 7)
                   .arg(m_locked ? 4 : 5)
                   .arg(locked);
        QTest::newRow("match-case") << "Needle"
                                    << "case"
                                    << "*.vyx" << QStringList{"words.vyx:1:0"}
                                    << "1 match in 1 file (1 binary file skipped" + locked + ")";
        QTest::newRow("whole-word") << "needle"
                                    << "word flat"
                                    << "*.vyx" << QStringList{"words.vyx:1:0", "words.vyx:2:0"}
                                    << "2 matches in 1 file (1 binary file skipped)";
        QTest::newRow("patterns") << "needle"
                                  << "case word flat"
                                  << "*.txt; words.*;"
                                  << QStringList{"notes.txt:1:2", "words.vyx:2:0"}
                                  << "2 matches in 2 files";
        // The open document is searched as it stands, not as saved.
        QTest::newRow("open-document-live")
            << "live"
            << "case"
            << "*.vyx" << QStringList{"inc/a.vyx:2:7"}
            << "1 match in 1 file (1 binary file skipped" + locked + ")";
        QTest::newRow("open-document-saved-text")
            << "old"
            << "case"
            << "*.vyx" << QStringList()
            << "0 matches in 0 files (1 binary file skipped" + locked + ")";
        // A folder that cannot be listed is reported, and the search goes on.
        QTest::newRow("missing-folder")
            << "needle"
            << "nowhere"
            << "*.vyx" << QStringList() << "0 matches in 0 files (1 unreadable folder)";
        // a.vyx and b.vyx include each other; each is searched once.
        QTest::newRow("includes-with-cycle")
            << "needle"
            << "includes"
            << "*.txt" << QStringList{"a.vyx:2:0", "b.vyx:4:0", "../sub/deep.vyx:1:5"}
            << "3 matches in 3 files (1 included file not found)";
    }

    void search()
    {
        QFETCH(QString, text);
        QFETCH(QString, options);
        QFETCH(QString, patterns);
        QFETCH(QStringList, hits);
        QFETCH(QString, summary);

        FileSearchOptions search;
        search.text = text;
        search.matchCase = options.contains(QLatin1String("case"));
        search.wholeWord = options.contains(QLatin1String("word"));
        search.scope
            = options.contains(QLatin1String("includes")) ? Scope::Includes : Scope::Folder;
        search.subfolders = !options.contains(QLatin1String("flat"));
        search.folder = options.contains(QLatin1String("nowhere")) ? path(QStringLiteral("nowhere"))
                                                                   : m_dir.path();
        search.patterns = patterns;
        search.documentPath = path(QStringLiteral("inc/a.vyx"));
        search.documentText = QStringLiteral("#include \"b.vyx\"\r\nneedle live\r\n");
        QList<FileSearchHit> found;
        const std::atomic<bool> cancel = false;
        const FileSearchSummary result = searchFiles(
            search, cancel, [&found](const QList<FileSearchHit> &batch, int) { found += batch; });
        QCOMPARE(describe(found), hits);
        QCOMPARE(summaryLine(result), summary);
        for (const FileSearchHit &hit : std::as_const(found))
            QCOMPARE(hit.lineText.mid(hit.columns.first(), hit.length)
                         .compare(text, Qt::CaseInsensitive),
                     0);
    }

    // Cancelled after the first file, the search ends at once and says so.
    void cancel()
    {
        FileSearchOptions search;
        search.text = QStringLiteral("needle");
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
        QVERIFY(summaryLine(result).endsWith(QLatin1String("cancelled)")));
    }
};

QTEST_GUILESS_MAIN(TestFileSearch)
#include "tst_filesearch.moc"
