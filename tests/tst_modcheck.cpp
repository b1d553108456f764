#include "modcheck.h"
#include "testutil.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class TestModCheck : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    void write(const QString &relative, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(m_dir.filePath(relative)).absolutePath());
        QVERIFY(TestUtil::writeBytes(m_dir.filePath(relative), bytes));
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Paths are given relative to the mod's parent, as on a command line.
        QVERIFY(QDir::setCurrent(m_dir.path()));
        write("mod/hull.vyx", "hull 100\r\n");
        write("mod/weapons/laser.vyx", "laser 5\r\n");
        write("mod/missing.vyx", "// a ship\r\n#include \"gone.vyx\"\r\n");
        write("mod/case.vyx", "#include \"Weapons\\Laser.VYX\"\r\n");
        write("mod/malformed.vyx",
              "#include \"\"\r\n#include \"open\r\n\t#include\r\n#includes \"x\"\r\n");
        write("mod/twice.vyx", "#include \"hull.vyx\"\r\n  #include \"./hull.vyx\"\r\n");
        write("mod/cycle/a.vyx", "#include \"b.vyx\"\r\n");
        write("mod/cycle/b.vyx", "x 1\r\n#include \"c.vyx\"\r\n");
        write("mod/cycle/c.vyx", "#include \"../cycle/a.vyx\"\r\n#include \"../hull.vyx\"\r\n");
        write("mod/special/inc.vyx", "#include \"sub\"\r\n#include \"pipe.vyx\"\r\n");
        QVERIFY(QDir().mkpath(m_dir.filePath("mod/special/sub")));
        QCOMPARE(::mkfifo(QFile::encodeName(m_dir.filePath("mod/special/pipe.vyx")), 0600), 0);
        // "//\r\n" then U+00E9 and a lone high surrogate, whose two bytes are kept.
        write("mod/utf16.vyx", QByteArray("\xFF\xFE/\0/\0\r\0\n\0\xE9\0\x00\xD8", 14));
        write("mod/stray.vyx",
              "Gr\xC3\xBC\xC3\x9F"
              "e\n\n\xFF\n");
        write("mod/data.vyx", QByteArray("#include \"gone\"\0\x01", 17));
        write("mod/long.vyx", "a\n" + QByteArray(32769, 'b') + "\n#include \"gone.vyx\"\n");
        write("mod/out.vyx", "#include \"..\\outside\\extra.vyx\"\r\n");
        write("mod/50%1.vyx", "#include \"gone.vyx\"\r\n");
        write("outside/extra.vyx", "\r\n#include \"none.vyx\"\r\n");
    }

    void check_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QStringList>("lines"); // the problems, then the summary

        // clang-format off
        QTest::newRow("clean") << QStringList{"mod/hull.vyx"} << QStringList{"0 errors, 0 warnings in 1 file"};
        QTest::newRow("missing") << QStringList{"mod/missing.vyx"} << QStringList{"mod/missing.vyx:2:10: error: missing include \"gone.vyx\"", "1 error, 0 warnings in 1 file"};
        QTest::newRow("letter-case") << QStringList{"mod/case.vyx"} << QStringList{"mod/case.vyx:1:10: error: missing include \"Weapons\\Laser.VYX\" (found \"weapons\\laser.vyx\" with other letter case)", "1 error, 0 warnings in 1 file"};
        QTest::newRow("malformed") << QStringList{"mod/malformed.vyx"} << QStringList{"mod/malformed.vyx:1:10: error: malformed include", "mod/malformed.vyx:2:10: error: malformed include", "mod/malformed.vyx:3:10: error: malformed include", "3 errors, 0 warnings in 1 file"};
        QTest::newRow("twice") << QStringList{"mod/twice.vyx"} << QStringList{"mod/twice.vyx:2:12: warning: \"./hull.vyx\" is included twice", "0 errors, 1 warning in 2 files"};
        QTest::newRow("cycle-of-three") << QStringList{"mod/cycle"} << QStringList{"mod/cycle/c.vyx:1:10: warning: include cycle: mod/cycle/a.vyx -> mod/cycle/b.vyx -> mod/cycle/c.vyx -> mod/cycle/a.vyx", "0 errors, 1 warning in 4 files"};
        QTest::newRow("folder-and-fifo") << QStringList{"mod/special/"} << QStringList{"mod/special/pipe.vyx:1:1: error: cannot open: It is not a regular file.", "mod/special/sub:1:1: error: cannot open: It is a folder, not a file.", "2 errors, 0 warnings in 3 files"};
        QTest::newRow("kept-bytes-utf16") << QStringList{"mod/utf16.vyx"} << QStringList{"mod/utf16.vyx:2:1: warning: 2 bytes that are not UTF-16 LE text", "0 errors, 1 warning in 1 file"};
        QTest::newRow("kept-byte-utf8") << QStringList{"mod/stray.vyx"} << QStringList{"mod/stray.vyx:3:1: warning: 1 byte that is not UTF-8 text", "0 errors, 1 warning in 1 file"};
        QTest::newRow("binary") << QStringList{"mod/data.vyx"} << QStringList{"mod/data.vyx:1:1: warning: binary file", "0 errors, 1 warning in 1 file"};
        QTest::newRow("line-too-long") << QStringList{"mod/long.vyx"} << QStringList{"mod/long.vyx:2:1: error: cannot open: It has a line longer than 32768 characters, too long to edit.", "mod/long.vyx:3:10: error: missing include \"gone.vyx\"", "2 errors, 0 warnings in 1 file"};
        QTest::newRow("percent-in-name") << QStringList{"mod/50%1.vyx"} << QStringList{"mod/50%1.vyx:1:10: error: missing include \"gone.vyx\"", "1 error, 0 warnings in 1 file"};
        QTest::newRow("outside-every-path") << QStringList{"mod/out.vyx"} << QStringList{"ABS/outside/extra.vyx:2:10: error: missing include \"none.vyx\"", "1 error, 0 warnings in 2 files"};
        QTest::newRow("sorted-by-path") << QStringList{"mod/twice.vyx", "mod/missing.vyx", "mod/hull.vyx"} << QStringList{"mod/missing.vyx:2:10: error: missing include \"gone.vyx\"", "mod/twice.vyx:2:12: warning: \"./hull.vyx\" is included twice", "1 error, 1 warning in 3 files"};
        // clang-format on
    }

    void check()
    {
        QFETCH(QStringList, paths);
        QFETCH(QStringList, lines);
        ModCheckOptions options;
        options.paths = paths;
        const std::atomic<bool> cancel{false};
        const ModCheckResult result = checkMod(options, cancel);
        QStringList got;
        for (const CheckProblem &problem : result.problems)
            got << problemLine(problem).replace(m_dir.path(), QStringLiteral("ABS"));
        got << checkSummaryLine(result);
        QCOMPARE(got, lines);
    }
};

QTEST_GUILESS_MAIN(TestModCheck)
#include "tst_modcheck.moc"
