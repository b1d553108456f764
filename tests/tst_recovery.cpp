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
#include <QMessageBox>
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
    QStringList journals() const;
    // Brings a window's unsaved work to disk as its timer would.
    void journalNow();
    // Answers the questions the next command asks with the given buttons.
    void answer(const QStringList &buttons);
    // Leaves a copy of the editor's journal as a killed editor leaves its
    // own: on disk, its lock gone with its process.
    void leaveDeadJournal();

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
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(TestUtil::writeBytes(path("b.vyx"), "bee\r\n"));
    frmMain().show();
    QVERIFY(QTest::qWaitForWindowExposed(frmMain().window()));
}

void TestRecovery::cleanup()
{
    if (frmMain().isLoaded()) {
        win()->document->textDocument()->setModified(false);
        win()->journal->flush();
        frmMain().unload();
    }
    TestUtil::flushDeferredDeletes();
    // The place left in a file would be restored in the next case.
    QSettings().clear();
    for (const QString &name : journals())
        QFile::remove(m_state.filePath("vyx-editor/" + name));
}

QStringList TestRecovery::journals() const
{
    return QDir(m_state.filePath("vyx-editor")).entryList({"*.journal"}, QDir::Files);
}

void TestRecovery::journalNow()
{
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

void TestRecovery::answer(const QStringList &buttons)
{
    if (buttons.isEmpty())
        return;
    TestUtil::whenModalShows([this, buttons](QWidget *modal) {
        const QString text = buttons.first();
        for (QAbstractButton *button : modal->findChildren<QAbstractButton *>()) {
            if (button->text().remove(u'&') == text) {
                answer(buttons.mid(1));
                button->click();
                return;
            }
        }
        QFAIL(qPrintable("no button " + text));
    });
}

// Typing starts the clock: within two seconds the work is in a journal in
// the user's state folder, readable by the user alone, and nothing new lies
// beside the edited file.
void TestRecovery::journalKeptPrivately()
{
    QVERIFY(win()->openDocument(path("b.vyx")));
    QTest::keyClicks(win()->rtfMain, "x");
    QTRY_COMPARE_WITH_TIMEOUT(journals().size(), 1, RecoveryJournal::delayMs + 2000);
    win()->journal->flush();
    QCOMPARE(QDir(m_files.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"b.vyx"});
    struct stat folder, file;
    QCOMPARE(::stat(QFile::encodeName(m_state.filePath("vyx-editor")).constData(), &folder), 0);
    QCOMPARE(
        ::stat(QFile::encodeName(m_state.filePath("vyx-editor/" + journals().first())).constData(),
               &file),
        0);
    QCOMPARE(folder.st_mode & 07777, 0700u);
    QCOMPARE(file.st_mode & 07777, 0600u);
}

void TestRecovery::journalRemoved_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("removed");
    QTest::newRow("saved") << "save" << true;
    QTest::newRow("undone to the saved text") << "undo" << true;
    QTest::newRow("No to Save Changes? of New") << "new No" << true;
    QTest::newRow("Cancel to Save Changes? of New") << "new Cancel" << false;
    QTest::newRow("No to Save Changes? of the close box") << "close No" << true;
}

// A journal goes only when the document has no unsaved work left.
void TestRecovery::journalRemoved()
{
    QFETCH(QString, how);
    QFETCH(bool, removed);
    QVERIFY(win()->openDocument(path("b.vyx")));
    QTest::keyClicks(win()->rtfMain, "x");
    journalNow();
    QCOMPARE(journals().size(), 1);
    const QStringList words = how.split(u' ');
    answer(words.mid(1));
    if (words.first() == "save")
        win()->mnuSave->trigger();
    else if (words.first() == "undo")
        win()->mnuUndo->trigger();
    else if (words.first() == "new")
        win()->mnuNew->trigger();
    else
        win()->close();
    if (frmMain().isLoaded())
        win()->journal->flush();
    else
        TestUtil::flushDeferredDeletes(); // the window waits for its writes as it goes
    QCOMPARE(journals().isEmpty(), removed);
    if (words.first() == "save")
        QCOMPARE(TestUtil::readBytes(path("b.vyx")), QByteArray("xbee\r\n"));
}

void TestRecovery::recoverKeepsBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("saved"); // after recovery, as Save writes it
    QTest::newRow("UTF-8 with BOM and a kept byte") << QByteArray("\xEF\xBB\xBF"
                                                                  "caf\xC3\xA9 \xFF\r\n")
                                                    << QByteArray("\xEF\xBB\xBF"
                                                                  "xcaf\xC3\xA9 \xFF\r\n");
    QTest::newRow("UTF-16 LE with BOM")
        << QByteArray("\xFF\xFEz\0\r\0\n\0", 8) << QByteArray("\xFF\xFEx\0z\0\r\0\n\0", 10);
    QTest::newRow("untitled") << QByteArray() << QByteArray("x");
}

// What a journal brings back is the text, character and kept byte exactly,
// as a modified document of the same file in the same encoding: Save then
// writes that file as it would have before the crash.
void TestRecovery::recoverKeepsBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, saved);
    const bool untitled = bytes.isEmpty();
    const QString file = path("r.vyx");
    if (!untitled) {
        QVERIFY(TestUtil::writeBytes(file, bytes));
        QVERIFY(win()->openDocument(file));
    }
    QTest::keyClicks(win()->rtfMain, "x");
    journalNow();
    leaveDeadJournal();
    win()->document->textDocument()->setModified(false);
    frmMain().unload();
    TestUtil::flushDeferredDeletes();
    frmMain().load();
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
    // Saved, the recovered work needs its journal no more.
    win()->journal->flush();
    QCOMPARE(journals().isEmpty(), !untitled);
}

// A running editor's journal is its own: another editor starting is not
// offered it, while Later keeps a dead editor's journal for the next start.
void TestRecovery::runningEditorsKeepTheirOwn()
{
    QTest::keyClicks(win()->rtfMain, "live");
    journalNow();
    JournalStore second(m_state.filePath("vyx-editor"));
    QVERIFY(second.claimOrphans().isEmpty()); // the first editor still runs
    leaveDeadJournal();
    win()->document->textDocument()->setModified(false);
    win()->journal->flush();
    frmMain().unload();
    TestUtil::flushDeferredDeletes();
    const QStringList orphans = second.claimOrphans();
    QCOMPARE(orphans.size(), 1);
    QVERIFY(orphans.first().startsWith("dead-"));
    JournalEntry entry;
    QVERIFY(second.read(orphans.first(), &entry));
    QCOMPARE(entry.text, QStringLiteral("live"));
    second.release(orphans.first());

    frmMain().load();
    answer({"Later"});
    QVERIFY(!win()->offerRecovery());
    QCOMPARE(journals().size(), 1);
    answer({"Discard", "Yes"});
    QVERIFY(!win()->offerRecovery());
    QVERIFY(journals().isEmpty());
}

QTEST_MAIN(TestRecovery)
#include "tst_recovery.moc"
