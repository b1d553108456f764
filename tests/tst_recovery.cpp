#include "document.h"
#include "frmmain.h"
#include "helpmenu.h"
#include "journal.h"
#include "recoveryjournal.h"
#include "richtextbox.h"
#include "testutil.h"

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QMenu>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

// The recovery journals of unsaved work, from the editor window's side:
// when they are written and removed, where, and what Recover brings back.
class TestRecovery : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void journalKeptPrivately();
    void journalRemoved_data();
    void journalRemoved();
    void recoverKeepsBytes_data();
    void recoverKeepsBytes();
    void runningEditorsKeepTheirOwn();

private:
    QString path(const QString &name) const { return m_files.filePath(name); }
    FrmMainWindow *win() const { return frmMain().win(); }
    QStringList journals() const
    {
        return QDir(m_state.filePath("vyx-editor")).entryList({"*.journal"}, QDir::Files);
    }
    // Types, and brings the unsaved work to disk as the window's timer would.
    void typeAndJournal(const char *text);
    // Answers the questions the next command asks with the given buttons.
    void answer(const QStringList &buttons);
    // Copies the journal as a killed editor leaves its own: its lock gone with its process.
    void leaveDeadJournal();
    void restart();

    QTemporaryDir m_state;
    QTemporaryDir m_files;
};

void TestRecovery::initTestCase()
{
    // Before the editor's journal store is made: it reads the variable once.
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_state.path()));
    installHelpMenu();
}

void TestRecovery::init()
{
    QVERIFY(TestUtil::writeBytes(path("b.vyx"), "bee\r\n"));
    QVERIFY(TestUtil::showEditor());
}

void TestRecovery::cleanup()
{
    if (frmMain().isLoaded()) {
        win()->document->textDocument()->setModified(false);
        win()->journal->flush();
        frmMain().unload();
    }
    TestUtil::flushDeferredDeletes();
    QSettings().clear(); // else the place left in a file would come back
    for (const QString &name : journals())
        QFile::remove(m_state.filePath("vyx-editor/" + name));
}

void TestRecovery::typeAndJournal(const char *text)
{
    QTest::keyClicks(win()->rtfMain, text);
    win()->journal->writeNow();
    win()->journal->flush();
}

void TestRecovery::leaveDeadJournal()
{
    static int deaths = 0;
    const QString own = frmMain().journalStore()->journalPath(frmMain().journalStore()->ownId());
    const QString dead = QStringLiteral("vyx-editor/dead-%1.journal").arg(++deaths);
    QVERIFY(QFile::copy(own, m_state.filePath(dead)));
}

void TestRecovery::restart()
{
    win()->document->textDocument()->setModified(false);
    win()->journal->flush();
    frmMain().unload();
    TestUtil::flushDeferredDeletes();
    frmMain().load();
}

void TestRecovery::answer(const QStringList &buttons)
{
    if (buttons.isEmpty())
        return;
    TestUtil::whenModalShows([this, buttons](QWidget *modal) {
        for (QAbstractButton *button : modal->findChildren<QAbstractButton *>()) {
            if (button->text().remove(u'&') == buttons.first()) {
                answer(buttons.mid(1));
                button->click();
                return;
            }
        }
        QFAIL(qPrintable("no button " + buttons.first()));
    });
}

// Typing starts the clock: within two seconds the work is in a journal in the user's
// state folder, readable by the user alone, and nothing new lies beside the edited file.
void TestRecovery::journalKeptPrivately()
{
    QVERIFY(win()->openDocument(path("b.vyx")));
    QTest::keyClicks(win()->rtfMain, "x");
    QTRY_COMPARE_WITH_TIMEOUT(journals().size(), 1, RecoveryJournal::delayMs + 2000);
    win()->journal->flush();
    QCOMPARE(QDir(m_files.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"b.vyx"});
    const auto mode = [this](const QString &name) {
        struct stat s = {};
        ::stat(QFile::encodeName(m_state.filePath("vyx-editor/" + name)).constData(), &s);
        return s.st_mode & 07777;
    };
    QCOMPARE(mode(""), 0700u);
    QCOMPARE(mode(journals().first()), 0600u);
    // Typing on, the document already modified, starts the clock again.
    QTest::keyClicks(win()->rtfMain, "y");
    JournalStore *store = frmMain().journalStore();
    JournalEntry entry;
    QTRY_VERIFY_WITH_TIMEOUT(store->read(store->ownId(), &entry) && entry.text.startsWith("xyb"),
                             RecoveryJournal::delayMs + 2000);
}

void TestRecovery::journalRemoved_data()
{
    QTest::addColumn<QString>("how"); // the command and the answer to Save Changes?
    QTest::addColumn<bool>("removed");
    QTest::newRow("saved") << "save" << true;
    QTest::newRow("New, Cancel") << "new Cancel" << false;
    QTest::newRow("close box, No") << "close No" << true;
}

// A journal goes only when the document has no unsaved work left.
void TestRecovery::journalRemoved()
{
    QFETCH(QString, how);
    QFETCH(bool, removed);
    QVERIFY(win()->openDocument(path("b.vyx")));
    typeAndJournal("x");
    QCOMPARE(journals().size(), 1);
    answer(how.split(u' ').mid(1));
    if (how == "save")
        win()->mnuSave->trigger();
    else if (how.startsWith("new"))
        win()->mnuNew->trigger();
    else
        win()->close();
    if (frmMain().isLoaded())
        win()->journal->flush();
    else
        TestUtil::flushDeferredDeletes(); // the window waits for its writes as it goes
    QCOMPARE(journals().isEmpty(), removed);
    if (how == "save")
        QCOMPARE(TestUtil::readBytes(path("b.vyx")), QByteArray("xbee\r\n"));
}

void TestRecovery::recoverKeepsBytes_data()
{
    QTest::addColumn<QByteArray>("bytes"); // empty: untitled
    QTest::addColumn<QByteArray>("saved"); // after recovery, as Save writes it
    QTest::addColumn<QString>("reopen"); // the file reopened in this encoding first
    // clang-format off
    QTest::newRow("UTF-8 with BOM, a kept byte") << QByteArray("\xEF\xBB\xBF\xC3\xA9\xFF") << QByteArray("\xEF\xBB\xBFx\xC3\xA9\xFF") << "";
    QTest::newRow("UTF-16 LE") << QByteArray("\xFF\xFEz\0", 4) << QByteArray("\xFF\xFEx\0z\0", 6) << "";
    QTest::newRow("KOI8-R, chosen") << QByteArray("\xF0\xD2") << QByteArray("x\xF0\xD2") << "KOI8-R";
    QTest::newRow("untitled") << QByteArray() << QByteArray("x") << "";
    // clang-format on
}

// A journal brings back the text, character and kept byte exactly, as a modified
// document of the same file in the same encoding: Save writes it as it would have.
void TestRecovery::recoverKeepsBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, saved);
    QFETCH(QString, reopen);
    const bool untitled = bytes.isEmpty();
    const QString file = path("r.vyx");
    if (!untitled) {
        QVERIFY(TestUtil::writeBytes(file, bytes));
        QVERIFY(win()->openDocument(file));
    }
    if (!reopen.isEmpty())
        win()->mnuReopenEncoding->findChild<QAction *>("mnuEncoding_" + reopen)->trigger();
    typeAndJournal("x");
    leaveDeadJournal();
    restart();
    answer({"Recover"});
    QVERIFY(win()->offerRecovery());
    frmMain().show();
    QVERIFY(win()->document->isModified());
    QCOMPARE(frmMain().caption(), untitled ? QStringLiteral("VYX Editor 1.0") : "r.vyx");
    QCOMPARE(win()->rtfMain->textCursor().position(), 1);
    if (untitled) {
        QCOMPARE(win()->rtfMain->Text(), QStringLiteral("x"));
    } else {
        win()->mnuSave->trigger();
        QCOMPARE(TestUtil::readBytes(file), saved);
    }
    win()->journal->flush(); // saved, the work needs its journal no more
    QCOMPARE(journals().isEmpty(), !untitled);
}

// A running editor's journal is its own: another editor starting is not
// offered it, while Later keeps a dead editor's journal for the next start.
void TestRecovery::runningEditorsKeepTheirOwn()
{
    typeAndJournal("live");
    JournalStore second(m_state.filePath("vyx-editor"));
    QVERIFY(second.claimOrphans().isEmpty()); // the first editor still runs
    leaveDeadJournal();
    restart();
    const QStringList orphans = second.claimOrphans();
    QCOMPARE(orphans.size(), 1);
    QVERIFY(orphans.first().startsWith("dead-"));
    JournalEntry entry;
    QVERIFY(second.read(orphans.first(), &entry));
    QCOMPARE(entry.text, QStringLiteral("live"));
    second.release(orphans.first());
    answer({"Later"});
    QVERIFY(!win()->offerRecovery());
    QCOMPARE(journals().size(), 1);
    answer({"Discard", "Yes"});
    QVERIFY(!win()->offerRecovery());
    QVERIFY(journals().isEmpty());
}

QTEST_MAIN(TestRecovery)
#include "tst_recovery.moc"
