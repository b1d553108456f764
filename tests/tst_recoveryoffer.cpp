#include "document.h"
#include "journal.h"
#include "recoveryjournal.h"
#include "recoveryoffer.h"
#include "richtextbox.h"
#include "testutil.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// What each answer to the offer of unsaved work does, without the editor
// window: which journals stay on disk, which one the editor takes as its
// own, and what the document then holds.
class TestRecoveryOffer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void answers_data();
    void answers();
};

namespace {

// Leaves the journal id as an editor that died leaves it, changed age seconds ago.
bool leaveJournal(const JournalStore &store, const QString &id, int age)
{
    JournalEntry entry;
    entry.text = id == "newer" ? "newer" : "older\nwork";
    entry.caret = id == "newer" ? 2 : 99;
    const QByteArray bytes = id == "bad" ? QByteArray("?") : serializeJournal(entry);
    QFile file(store.journalPath(id));
    // Written out before its time is set: a write at close would make it now.
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush()
        && file.setFileTime(QDateTime::currentDateTime().addSecs(-age),
                            QFileDevice::FileModificationTime);
}

} // namespace

void TestRecoveryOffer::answers_data()
{
    const QStringList all{"bad", "newer", "older"};
    QTest::addColumn<QStringList>("journals");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("kept"); // on disk afterwards
    QTest::addColumn<QString>("adopted");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("caret");
    // clang-format off
    QTest::newRow("later") << all << QStringList() << all << QString() << QString() << 0;
    QTest::newRow("recover") << all << QStringList{"recover"} << all << u"newer"_s << u"newer"_s << 2;
    QTest::newRow("discard, recover") << all << QStringList{"discard", "recover"} << QStringList{"older"} << u"older"_s << u"older\nwork"_s << 10;
    QTest::newRow("discard all") << all << QStringList{"discard", "discard"} << QStringList() << QString() << QString() << 0;
    QTest::newRow("unreadable, later") << QStringList{"bad"} << QStringList() << QStringList{"bad"} << QString() << QString() << 0;
    QTest::newRow("unreadable, discard") << QStringList{"bad"} << QStringList{"discard-unreadable"} << QStringList() << QString() << QString() << 0;
    // clang-format on
}

void TestRecoveryOffer::answers()
{
    QFETCH(QStringList, journals);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, kept);
    QFETCH(QString, adopted);
    QFETCH(QString, text);
    QFETCH(int, caret);
    QTemporaryDir dir;
    JournalStore store(dir.filePath("journals"));
    QVERIFY(store.ensureFolder());
    for (const QString &id : std::as_const(journals))
        QVERIFY(leaveJournal(store, id, id == "older" ? 60 : 0));
    Document document;
    RichTextBox view;
    view.setModel(&document);
    RecoveryJournal journal(&document, &view, &store);
    {
        RecoveryOffer offer(&store);
        QCOMPARE(offer.unreadableFiles().size(), qsizetype(journals.contains("bad")));
        for (const QString &step : std::as_const(steps)) {
            if (step == "recover")
                offer.recoverFirst(&document, &view, &journal);
            else if (step == "discard")
                offer.discardFirst();
            else
                offer.discardUnreadable();
        }
    }
    journal.flush();
    QCOMPARE(document.text(QLatin1String("\n")), text);
    QCOMPARE(view.textCursor().position(), caret);
    QStringList onDisk = QDir(store.folder()).entryList({"*.journal"}, QDir::Files, QDir::Name);
    onDisk.replaceInStrings(".journal", "");
    QCOMPARE(onDisk, kept);
    // What was not recovered waits for a later start, which claims it.
    JournalStore later(store.folder());
    QStringList released = later.claimOrphans();
    released.sort();
    kept.removeAll(adopted);
    QCOMPARE(released, kept);
    if (!adopted.isEmpty()) {
        JournalEntry entry;
        QVERIFY(later.read(adopted, &entry));
        QCOMPARE(entry.text, text);
        QCOMPARE(store.ownId(), adopted);
    }
}

QTEST_MAIN(TestRecoveryOffer)
#include "tst_recoveryoffer.moc"
