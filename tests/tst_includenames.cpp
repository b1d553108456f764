#include "includenames.h"

#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestIncludeNames : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QDir root(m_dir.path());
        QVERIFY(root.mkpath("mod/sub/deep") && root.mkpath("outside"));
        for (const char *file : {"mod/main.vyx", "mod/Ships.VYX", "mod/notes.txt",
                                 "mod/sub/laser.vyx", "mod/sub/deep/core.vyx", "outside/far.vyx"})
            QVERIFY(TestUtil::writeBytes(root.filePath(file), "x"));
        // A linked folder is not walked: it could lead back up the tree.
        QVERIFY(QFile::link(root.filePath("outside"), root.filePath("mod/link")));
    }

    void offered_data()
    {
        QTest::addColumn<QString>("document"); // in mod/, or untitled
        QTest::addColumn<QStringList>("otherIncludes");
        QTest::addColumn<bool>("withExtension");
        QTest::addColumn<QStringList>("names");
        // clang-format off
        QTest::newRow("subfolders, /") << "main.vyx" << QStringList{"a/b.vyx"} << true << QStringList{"Ships.VYX", "sub/deep/core.vyx", "sub/laser.vyx"};
        QTest::newRow("a \\ among them") << "main.vyx" << QStringList{"a/b.vyx", "sub\\laser.vyx"} << true << QStringList{"Ships.VYX", "sub\\deep\\core.vyx", "sub\\laser.vyx"};
        QTest::newRow(".vyx there") << "main.vyx" << QStringList() << false << QStringList{"Ships", "sub/deep/core", "sub/laser"};
        QTest::newRow("another document") << "Ships.VYX" << QStringList() << true << QStringList{"main.vyx", "sub/deep/core.vyx", "sub/laser.vyx"};
        QTest::newRow("untitled") << "" << QStringList() << true << QStringList();
        // clang-format on
    }

    void offered()
    {
        QFETCH(QString, document);
        QFETCH(QStringList, otherIncludes);
        QFETCH(bool, withExtension);
        const QString folder = m_dir.filePath("mod");
        const std::atomic<bool> cancel{false};
        const QStringList files = IncludeNames::definitionFiles(folder, cancel);
        const QString path = document.isEmpty() ? QString() : folder + "/" + document;
        QTEST(IncludeNames::offered(files, path, IncludeNames::separatorOf(otherIncludes),
                                    withExtension),
              "names");
    }

    void atMostMaxFiles()
    {
        QTemporaryDir many;
        for (int i = 0; i <= IncludeNames::maxFiles; ++i)
            QVERIFY(TestUtil::writeBytes(many.filePath(QString("%1.vyx").arg(i)), ""));
        const std::atomic<bool> cancel{false};
        QCOMPARE(IncludeNames::definitionFiles(many.path(), cancel).size(), IncludeNames::maxFiles);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestIncludeNames)
#include "tst_includenames.moc"
