#include "document.h"
#include "frmmain.h"
#include "helpmenu.h"
#include "journal.h"
#include "recoveryjournal.h"
#include "richtextbox.h"
#include "testutil.h"

#include "searchwindows.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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
    void journalOfEdits_data();
    void journalOfEdits();
    void tornRecord_data();
    void tornRecord();
    void killDuringCopy();
    void journalFailures_data();
    void journalFailures();
    void unreadableJournals_data();
    void unreadableJournals();

private:
    QString path(const QString &name) const { return m_files.filePath(name); }
    FrmMainWindow *win() const { return frmMain().win(); }
    RecoveryJournal *journal() const { return TestUtil::part<RecoveryJournal>(win(), "journal"); }
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
    QString ownJournal() const
    {
        return frmMain().journalStore()->journalPath(frmMain().journalStore()->ownId());
    }
    // The document's text as its journal keeps it.
    QString journalText() const
    {
        return TestUtil::shownDocument()->textDocument()->toRawText().replace(
            QChar::ParagraphSeparator, u'\n');
    }

    QTemporaryDir m_state;
    QStringList m_asked; // the texts of the questions answered
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
        TestUtil::shownDocument()->textDocument()->setModified(false);
        journal()->flush();
        frmMain().unload();
    }
    TestUtil::flushDeferredDeletes();
    QSettings().clear(); // else the place left in a file would come back
    for (const QString &name : journals())
        QFile::remove(m_state.filePath("vyx-editor/" + name));
}

void TestRecovery::typeAndJournal(const char *text)
{
    QTest::keyClicks(frmMain().rtfMain(), text);
    journal()->writeNow();
    journal()->flush();
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
    TestUtil::shownDocument()->textDocument()->setModified(false);
    journal()->flush();
    frmMain().unload();
    TestUtil::flushDeferredDeletes();
    frmMain().load();
}

void TestRecovery::answer(const QStringList &buttons)
{
    if (buttons.isEmpty())
        return;
    TestUtil::whenModalShows([this, buttons](QWidget *modal) {
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            m_asked << box->text();
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
    QTest::keyClicks(frmMain().rtfMain(), "x");
    QTRY_COMPARE_WITH_TIMEOUT(journals().size(), 1, RecoveryJournal::delayMs + 2000);
    journal()->flush();
    QCOMPARE(QDir(m_files.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"b.vyx"});
    const auto mode = [this](const QString &name) {
        struct stat s = {};
        ::stat(QFile::encodeName(m_state.filePath("vyx-editor/" + name)).constData(), &s);
        return s.st_mode & 07777;
    };
    QCOMPARE(mode(""), 0700u);
    QCOMPARE(mode(journals().first()), 0600u);
    // Typing on, the document already modified, starts the clock again.
    QTest::keyClicks(frmMain().rtfMain(), "y");
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
        TestUtil::menuItem("mnuSave")->trigger();
    else if (how.startsWith("new"))
        TestUtil::menuItem("mnuNew")->trigger();
    else
        win()->close();
    if (frmMain().isLoaded())
        journal()->flush();
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
        TestUtil::menuItem(qPrintable("mnuEncoding_" + reopen))->trigger();
    typeAndJournal("x");
    leaveDeadJournal();
    restart();
    answer({"Recover"});
    QVERIFY(win()->offerRecovery());
    frmMain().show();
    QVERIFY(TestUtil::shownDocument()->isModified());
    QCOMPARE(frmMain().caption(), untitled ? QStringLiteral("VYX Editor 1.0") : "r.vyx");
    QCOMPARE(frmMain().rtfMain()->textCursor().position(), 1);
    if (untitled) {
        QCOMPARE(frmMain().rtfMain()->Text(), QStringLiteral("x"));
    } else {
        TestUtil::menuItem("mnuSave")->trigger();
        QCOMPARE(TestUtil::readBytes(file), saved);
    }
    journal()->flush(); // saved, the work needs its journal no more
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

namespace {

mode_t modeOf(const QString &path)
{
    struct stat s = {};
    ::lstat(QFile::encodeName(path).constData(), &s);
    return s.st_mode & 07777;
}

} // namespace

void TestRecovery::journalOfEdits_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("action");
    // Edits added after the text (1), or the text alone written again (0);
    // -1: either, as the timer may write while Replace All goes on.
    QTest::addColumn<int>("logged");
    const QByteArray commas = QByteArray(",,,,,,,,,,\r\n").repeated(500000);
    QTest::newRow("keys here and there") << QByteArray("bee\r\n") << "keys" << 1;
    QTest::newRow("Undo") << QByteArray("bee\r\n") << "undo" << 1;
    QTest::newRow("another file loaded") << QByteArray("bee\r\n") << "load" << 0;
    QTest::newRow("Replace All of 5 M hits") << commas << "replace" << -1;
    QTest::newRow("legacy encoding") << QByteArray("\xEF\xF0\xE8\r\n") << "legacy" << 1;
}

// After the first write of its text, a journal grows by the edits made:
// whatever they are, replaying them gives the text of the document.
void TestRecovery::journalOfEdits()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, action);
    QFETCH(int, logged);
    QVERIFY(TestUtil::writeBytes(path("e.vyx"), bytes));
    QVERIFY(win()->openDocument(path("e.vyx")));
    TestUtil::shownDocument()->finishLoad();
    if (action == "legacy") {
        win()->reopenWithEncoding("Windows-1251");
        TestUtil::shownDocument()->finishLoad();
    }
    typeAndJournal("x");
    if (action == "keys" || action == "legacy") {
        QTest::keyClicks(frmMain().rtfMain(), "yz");
        QTest::keyClick(frmMain().rtfMain(), Qt::Key_Backspace);
        QTest::keyClick(frmMain().rtfMain(), Qt::Key_End);
        QTest::keyClicks(frmMain().rtfMain(), " !");
    } else if (action == "undo") {
        TestUtil::menuItem("mnuItemSeparator")->trigger();
        TestUtil::menuItem("mnuUndo")->trigger();
    } else if (action == "load") {
        QVERIFY(win()->openDocument(path("b.vyx")));
        QTest::keyClicks(frmMain().rtfMain(), "q");
    } else {
        QTest::keyClick(frmMain().rtfMain(), Qt::Key_H, Qt::ControlModifier);
        FrmSearchWindow *replace = TestUtil::part<FrmSearchWindow>(win(), "frmReplace");
        QTest::keyClicks(replace->txtFind, ",");
        QTest::keyClicks(replace->txtReplace, ";");
        QTest::mouseClick(replace->cmdReplaceAll, Qt::LeftButton);
        replace->close();
    }
    journal()->writeNow();
    journal()->flush();
    JournalEntry entry;
    QVERIFY(frmMain().journalStore()->read(frmMain().journalStore()->ownId(), &entry));
    QVERIFY(entry.text == journalText());
    // Records of edits after the text, never more than the bound: Replace
    // All, a change of millions of characters, has the text written again.
    const qint64 records = QFileInfo(ownJournal()).size() - serializeJournal(entry).size();
    if (logged >= 0)
        QCOMPARE(records > 0, bool(logged));
    QVERIFY(records < 3 * RecoveryJournal::logLimit);
    QCOMPARE(entry.encoding.legacyCodec, QString(action == "legacy" ? "Windows-1251" : ""));
    QCOMPARE(entry.caret, frmMain().rtfMain()->textCursor().position());
}

void TestRecovery::tornRecord_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("text"); // empty: the journal cannot be read
    QTest::newRow("whole") << ""
                           << "abXY\n";
    QTest::newRow("last record cut short") << "cut 3"
                                           << "abXc";
    QTest::newRow("last record's head only") << "head"
                                             << "abXc";
    QTest::newRow("last record zeroes") << "zero"
                                        << "abXc";
    QTest::newRow("the text cut short") << "text"
                                        << "";
}

// A crash while a record is appended leaves it torn: the records before it
// are replayed, it is not, not even in part.
void TestRecovery::tornRecord()
{
    QFETCH(QString, damage);
    QFETCH(QString, text);
    JournalEntry entry;
    entry.text = "abc";
    entry.caret = 1;
    const QByteArray start = serializeJournal(entry);
    entry.caret = 3;
    const QByteArray first = serializeJournalRecord(entry, {{2, 0, "X"}});
    entry.caret = 5;
    QByteArray last
        = serializeJournalRecord(entry, {{3, 1, QString("Y") + QChar::ParagraphSeparator}});
    QByteArray bytes = start + first + last;
    if (damage == "cut 3")
        bytes.chop(3);
    else if (damage == "head")
        bytes.chop(last.size() - 10);
    else if (damage == "zero")
        bytes = start + first + QByteArray(last.size(), '\0');
    else if (damage == "text")
        bytes = start.chopped(6);
    JournalEntry read;
    QCOMPARE(parseJournal(bytes, &read), !text.isEmpty());
    if (!text.isEmpty()) {
        QCOMPARE(read.text, text);
        QCOMPARE(read.caret, damage.isEmpty() ? 5 : 3);
    }
}

// An editor killed while it writes its text again, a slice at a time, leaves
// the journal before that whole: its text and edits come back, and the new
// text cut short is removed at the next start.
void TestRecovery::killDuringCopy()
{
    QVERIFY(TestUtil::writeBytes(path("big.vyx"), QByteArray("line\r\n").repeated(1000000)));
    QVERIFY(win()->openDocument(path("big.vyx")));
    TestUtil::shownDocument()->finishLoad();
    typeAndJournal("x");
    typeAndJournal("y");
    journal()->rewrite();
    journal()->writeNow();
    QCoreApplication::processEvents(); // the first slices
    QVERIFY(journal()->isCopying());
    const QString copy = ownJournal() + ".new";
    // No event may come meanwhile: the copy would go on.
    for (int i = 0; i < 500 && QFileInfo(copy).size() < 2 * RecoveryJournal::pieceLength; ++i)
        QThread::msleep(10);
    QVERIFY(QFileInfo(copy).size() >= 2 * RecoveryJournal::pieceLength);
    const QString dead = m_state.filePath("vyx-editor/dead-copy.journal");
    QVERIFY(QFile::copy(ownJournal(), dead));
    QVERIFY(QFile::copy(copy, dead + ".new"));
    restart();
    // The torn copy is gone by the time the question is asked: what the
    // editor then writes under that name is its own.
    bool tornCopyLeft = true;
    TestUtil::whenModalShows([&tornCopyLeft, dead](QWidget *modal) {
        tornCopyLeft = QFile::exists(dead + ".new");
        modal->findChild<QAbstractButton *>("cmdRecover")->click();
    });
    QVERIFY(win()->offerRecovery());
    QVERIFY(!tornCopyLeft);
    QCOMPARE(frmMain().rtfMain()->Text(), "xy" + QString("line\r\n").repeated(1000000));
}

void TestRecovery::journalFailures_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason"); // %1: the folder
    QTest::newRow("folder a file") << "file"
                                   << "\"%1\" is not a folder";
    QTest::newRow("folder a link") << "link"
                                   << "\"%1\" is a symbolic link, not a folder of its own";
    QTest::newRow("file-size limit") << "size"
                                     << "cannot write in \"%1\": File too large";
    QTest::newRow("unwritable") << "unwritable"
                                << "cannot write in \"%1\": ";
}

// A journal that cannot be written is said at once, in the status bar and
// in a message that leaves the keyboard to the text; the mode of nothing
// outside the journals' folder changes.
void TestRecovery::journalFailures()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QVERIFY(win()->openDocument(path("b.vyx")));
    typeAndJournal("x");
    const QString folder = m_state.filePath("vyx-editor");
    QTemporaryDir shared;
    QCOMPARE(::chmod(QFile::encodeName(shared.path()).constData(), 02775), 0);
    const mode_t stateMode = modeOf(m_state.path());
    struct rlimit old = {};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    if (kind == "file" || kind == "link")
        QVERIFY(QFile::rename(folder, folder + ".aside"));
    if (kind == "file")
        QVERIFY(TestUtil::writeBytes(folder, "a file"));
    if (kind == "link")
        QVERIFY(QFile::link(shared.path(), folder));
    if (kind == "size") {
        std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit small = {100, old.rlim_max};
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    if (kind == "unwritable") {
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0500), 0);
        // The user root writes anywhere: what he cannot write is a folder.
        if (::geteuid() == 0)
            QVERIFY(QDir().mkdir(ownJournal() + ".new"));
        journal()->rewrite();
    }
    QTest::keyClicks(frmMain().rtfMain(), "y");
    journal()->writeNow();
    journal()->flush();
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &old), 0);
    const QString expected = "Unsaved work cannot be kept safe from a crash: " + reason.arg(folder);
    QTRY_VERIFY(win()->statusBar()->currentMessage().startsWith(expected));
    auto *box = win()->findChild<QMessageBox *>("msgJournalFailed");
    QVERIFY(box && box->isVisible());
    QCOMPARE(box->text(), win()->statusBar()->currentMessage());
    QTest::keyClicks(frmMain().rtfMain(), "z");
    QVERIFY(frmMain().rtfMain()->Text().startsWith("xyzbee"));
    QCOMPARE(modeOf(shared.path()), mode_t(02775));
    QCOMPARE(modeOf(m_state.path()), stateMode);
    box->close();
    if (kind == "unwritable") {
        QDir().rmdir(ownJournal() + ".new");
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0700), 0);
    }
    if (kind == "file" || kind == "link") {
        QVERIFY(QFile::remove(folder));
        QVERIFY(QFile::rename(folder + ".aside", folder));
    }
}

void TestRecovery::unreadableJournals_data()
{
    JournalEntry later;
    later.text = "later";
    QByteArray laterBytes = serializeJournal(later);
    laterBytes[7] = 99; // the format's version
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("withWork"); // beside a journal that can be recovered
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("cut short") << serializeJournal(later).chopped(8) << false;
    QTest::newRow("not a journal") << QByteArray("#include <ships.vyx>\n") << false;
    QTest::newRow("a later version") << laterBytes << false;
    QTest::newRow("beside work to recover") << QByteArray("?") << true;
}

// Journals that cannot be read are named at start, in the question about
// the work there is to recover or in a notice of their own; Later keeps
// them, and only Discard deletes them.
void TestRecovery::unreadableJournals()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, withWork);
    if (withWork) {
        typeAndJournal("work");
        leaveDeadJournal();
    }
    const QString bad = m_state.filePath("vyx-editor/bad.journal");
    QVERIFY(TestUtil::writeBytes(bad, bytes));
    restart();
    for (const QString button : {"Later", "Discard"}) {
        m_asked.clear();
        answer(withWork && button == "Discard" ? QStringList{button, "Yes"} : QStringList{button});
        QVERIFY(!win()->offerRecovery());
        QCOMPARE(QFile::exists(bad), button == "Later");
        QVERIFY(!m_asked.isEmpty());
        QVERIFY(m_asked.first().contains(
            QString("1 recovery file could not be read (in \"%1\"): bad.journal.")
                .arg(m_state.filePath("vyx-editor"))));
        QCOMPARE(m_asked.first().startsWith("Unsaved work was found"), withWork);
    }
}

QTEST_MAIN(TestRecovery)
#include "tst_recovery.moc"
