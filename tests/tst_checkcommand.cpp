// `vyx-editor --check` as a release script runs it: the real program, with
// no display to reach (the xcb platform would abort a program that made a
// QApplication without one).
#include "testutil.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestCheckCommand : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(QDir().mkpath(m_dir.filePath("mod/ships")));
        QVERIFY(TestUtil::writeBytes(m_dir.filePath("mod/hull.vyx"), "hull 1\r\n"));
        QVERIFY(TestUtil::writeBytes(m_dir.filePath("mod/ships/a.vyx"),
                                     "#include \"..\\hull.vyx\"\r\n#include \"Hull.vyx\"\r\n"));
        QVERIFY(TestUtil::writeBytes(m_dir.filePath("mod/ships/b.vyx"),
                                     "#include \"../hull.vyx\"\r\n#include \"../hull.vyx\"\r\n"));
    }

    void check_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");

        // clang-format off
        QTest::newRow("errors") << QStringList{"--check", "mod"} << 1 << "mod/ships/a.vyx:2:10: error: missing include \"Hull.vyx\"\nmod/ships/b.vyx:2:10: warning: \"../hull.vyx\" is included twice\n1 error, 1 warning in 3 files\n" << "";
        QTest::newRow("warnings-only") << QStringList{"mod/ships/b.vyx", "--check"} << 0 << "mod/ships/b.vyx:2:10: warning: \"../hull.vyx\" is included twice\n0 errors, 1 warning in 2 files\n" << "";
        QTest::newRow("clean") << QStringList{"--check", "mod/hull.vyx"} << 0 << "0 errors, 0 warnings in 1 file\n" << "";
        QTest::newRow("unknown-option") << QStringList{"--check", "--strict", "mod"} << 2 << "" << "vyx-editor: Unknown option 'strict'.\nTry 'vyx-editor --help' for more information.\n";
        QTest::newRow("value-given") << QStringList{"--check=mod"} << 2 << "" << "vyx-editor: Unexpected value after '--check'.\nTry 'vyx-editor --help' for more information.\n";
        QTest::newRow("no-such-path") << QStringList{"--check", "mod", "gone"} << 2 << "" << "vyx-editor: gone: no such file or folder.\nTry 'vyx-editor --help' for more information.\n";
        QTest::newRow("nothing-to-check") << QStringList{"--check"} << 2 << "" << "vyx-editor: --check needs a file or folder to check.\nTry 'vyx-editor --help' for more information.\n";
        // clang-format on
    }

    void check()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(m_dir.path());
        program.start(QStringLiteral(VYX_EDITOR_PROGRAM), arguments);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(QString::fromUtf8(program.readAllStandardError()), err);
        QCOMPARE(QString::fromUtf8(program.readAllStandardOutput()), out);
        QCOMPARE(program.exitCode(), status);
    }
};

QTEST_GUILESS_MAIN(TestCheckCommand)
#include "tst_checkcommand.moc"
