#include "commondialog.h"
#include "filecommands.h"
#include "frmmain.h"
#include "helpmenu.h"
#include "richtextbox.h"
#include "testutil.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QPointer>
#include <QPushButton>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// What a test saw of a modal window before it answered it.
struct Seen {
    bool shown = false;
    QString kind; // "file" or "message"
    QString objectName;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptOpen;
    QFileDialog::FileMode fileMode = QFileDialog::AnyFile;
    QString directory;
    QString fileNameField;
    QString filterShown;
    QStringList listed;
};
using SeenPtr = std::shared_ptr<Seen>;

// The names the dialog's file list shows, once its folder has been read.
QStringList listedNames(QFileDialog *dialog, const QString &waitFor)
{
    auto *view = dialog->findChild<QListView *>(QStringLiteral("listView"));
    if (!view)
        return {};
    QStringList names;
    QElapsedTimer clock;
    clock.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        names.clear();
        const QModelIndex root = view->rootIndex();
        for (int row = 0; row < view->model()->rowCount(root); ++row)
            names << view->model()->index(row, 0, root).data().toString();
    } while (!names.contains(waitFor) && clock.elapsed() < 5000);
    names.sort();
    return names;
}

void record(QWidget *modal, const SeenPtr &seen, const QString &waitFor = QString())
{
    if (!seen)
        return;
    seen->shown = true;
    seen->objectName = modal->objectName();
    seen->title = modal->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        seen->kind = QStringLiteral("message");
        seen->text = box->text();
        seen->icon = box->icon();
        seen->buttons = box->standardButtons();
    } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
        seen->kind = QStringLiteral("file");
        seen->acceptMode = dialog->acceptMode();
        seen->fileMode = dialog->fileMode();
        seen->directory = dialog->directory().absolutePath();
        if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            seen->fileNameField = edit->text();
        if (auto *combo = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo")))
            seen->filterShown = combo->currentText();
        if (!waitFor.isEmpty())
            seen->listed = listedNames(dialog, waitFor);
    }
}

// Answers the next file dialog with path, or cancels it when path is empty.
// Replacing an existing file is confirmed when the dialog asks. then() runs
// just before the answer, to arm the answer of what comes next.
void answerFileDialog(const QString &path, SeenPtr seen = {}, const QString &waitFor = QString(),
                      std::function<void()> then = {})
{
    TestUtil::whenModalShows([path, seen, waitFor, then](QWidget *modal) {
        record(modal, seen, waitFor);
        if (then)
            then();
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog || path.isEmpty()) {
            modal->close();
            return;
        }
        if (dialog->acceptMode() == QFileDialog::AcceptSave && QFileInfo(path).isFile()) {
            TestUtil::whenModalShows([](QWidget *confirm) {
                if (auto *box = qobject_cast<QMessageBox *>(confirm))
                    box->button(QMessageBox::Yes)->click();
            });
        }
        // Type the full path into the name field, as a user may (selectFile()
        // leaves the field alone while it has the focus).
        // The file the dialog started with stays selected in the list unless
        // the field has the focus while typing; a user's click would move it.
        if (auto *list = dialog->findChild<QListView *>(QStringLiteral("listView")))
            list->clearSelection();
        if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            edit->setText(path);
        // Press the dialog's own Open or Save button.
        auto *buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        QAbstractButton *go = buttons ? buttons->button(dialog->acceptMode() == QFileDialog::AcceptSave
                                                            ? QDialogButtonBox::Save
                                                            : QDialogButtonBox::Open)
                                      : nullptr;
        if (go && go->isEnabled())
            go->click();
        else
            dialog->reject(); // the dialog refuses the name: let the test see it
    });
}

// Answers the next message box with button; then() runs just before, to
// arm the answer of whatever the click brings up next.
void answerMessage(QMessageBox::StandardButton button, SeenPtr seen = {}, std::function<void()> then = {})
{
    TestUtil::whenModalShows([button, seen, then](QWidget *modal) {
        record(modal, seen);
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (then)
            then();
        if (box && box->button(button))
            box->button(button)->click();
        else
            modal->close();
    });
}

// While alive, closes any modal window that shows up and remembers its title,
// so that a command that should ask nothing cannot hang the test.
class NoModalExpected
{
public:
    NoModalExpected()
    {
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                m_titles << modal->windowTitle() + QLatin1Char('/') + modal->objectName();
                modal->close();
            }
        });
        m_timer.start(10);
    }
    QStringList titles() const { return m_titles; }

private:
    QTimer m_timer;
    QStringList m_titles;
};

// Exit asks the application to quit, which in a test (no main loop running)
// would make every later event loop return at once, modal dialogs included.
// Entering and leaving the main loop once clears that request.
void settleAfterProgramEnd()
{
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

QByteArray bytesOf(const QString &path)
{
    return TestUtil::readBytes(path);
}

} // namespace

class TestFileCommands : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void saveAtStartAsksForName_data();
    void saveAtStartAsksForName();
    void saveAsThenSave();
    void openThenSave();
    void typedNameInSaveDialog();
    void cancelChangesNothing_data();
    void cancelChangesNothing();
    void saveNeverWritesStalePath_data();
    void saveNeverWritesStalePath();
    void newEmptiesDocument();
    void saveChangesQuestion_data();
    void saveChangesQuestion();
    void yesOnUntitledDocumentRunsSaveAs_data();
    void yesOnUntitledDocumentRunsSaveAs();
    void unmodifiedDocumentIsNotAsked_data();
    void unmodifiedDocumentIsNotAsked();
    void failuresAreReported_data();
    void failuresAreReported();
    void failedWriteKeepsOldFile();
    void saveKeepsPermissions();
    void encodingRoundTrip_data();
    void encodingRoundTrip();
    void newDocumentEncoding_data();
    void newDocumentEncoding();
    void openDialogSetup();
    void saveDialogAfterOpen();
    void saveDialogRefusesMissingFolderAfterOpen();
    void filterStringBecomesNameFilters_data();
    void filterStringBecomesNameFilters();
    void commandLineFile();
    void binaryFileOpens();

private:
    FrmMainWindow *w() const { return frmMain().win(); }
    RichTextBox *rtf() const { return frmMain().rtfMain(); }
    QString path(const QString &name) const { return m_dir->filePath(name); }
    void type(const QString &text);
    // Runs Open or Save As through the real dialog, choosing path.
    void openFile(const QString &path);
    void saveFileAs(const QString &path);

    std::unique_ptr<QTemporaryDir> m_dir;
    // Closes a modal window that nobody answers, so that a faulty command
    // fails its test instead of hanging the run.
    QTimer m_rescue;
    QPointer<QWidget> m_waiting;
    QElapsedTimer m_waitingFor;
    QString m_stuck;
};

void TestFileCommands::initTestCase()
{
    connect(&m_rescue, &QTimer::timeout, this, [this] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal != m_waiting) {
            m_waiting = modal;
            m_waitingFor.start();
        } else if (modal && m_waitingFor.elapsed() > 10000) {
            m_stuck = modal->windowTitle() + QLatin1Char('/') + modal->objectName();
            modal->close();
        }
    });
    m_rescue.start(100);
}

void TestFileCommands::init()
{
    m_stuck.clear();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    frmMain().strLastopen.clear();
    frmMain().strLastsave.clear();
    installHelpMenu();
    frmMain().show();
    QVERIFY(QTest::qWaitForWindowExposed(frmMain().window()));
}

void TestFileCommands::cleanup()
{
    if (frmMain().isLoaded()) {
        rtf()->document()->setModified(false);
        frmMain().unload();
    }
    TestUtil::flushDeferredDeletes();
    m_dir.reset();
    // Answers armed for windows that never came must not answer the next test's.
    for (QTimer *pending : qApp->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly))
        delete pending;
    QVERIFY2(m_stuck.isEmpty(), qPrintable(QStringLiteral("unanswered modal window: ") + m_stuck));
}

void TestFileCommands::type(const QString &text)
{
    rtf()->moveCursor(QTextCursor::End);
    // Key by key, as typed; keyClicks() only knows ASCII letters.
    for (const QChar c : text) {
        if (c == QLatin1Char('\n'))
            QTest::keyClick(rtf(), Qt::Key_Return);
        else
            QTest::sendKeyEvent(QTest::Click, rtf(), Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

void TestFileCommands::openFile(const QString &file)
{
    answerFileDialog(file);
    w()->mnuOpen->trigger();
}

void TestFileCommands::saveFileAs(const QString &file)
{
    answerFileDialog(file);
    w()->mnuSaveAs->trigger();
}

void TestFileCommands::saveAtStartAsksForName_data()
{
    QTest::addColumn<bool>("choose");
    QTest::newRow("cancel") << false;
    QTest::newRow("choose-name") << true;
}

void TestFileCommands::saveAtStartAsksForName()
{
    QFETCH(bool, choose);
    type(QStringLiteral("ship"));
    const QString target = path(QStringLiteral("new.vyx"));
    auto seen = std::make_shared<Seen>();
    answerFileDialog(choose ? target : QString(), seen);
    w()->mnuSave->trigger();

    QVERIFY(seen->shown);
    QCOMPARE(seen->kind, QStringLiteral("file"));
    QCOMPARE(seen->acceptMode, QFileDialog::AcceptSave);
    QCOMPARE(seen->title, QStringLiteral("Save As"));
    QCOMPARE(seen->objectName, QStringLiteral("cdl1Dialog"));
    if (choose) {
        QCOMPARE(bytesOf(target), QByteArray("ship"));
        QCOMPARE(frmMain().caption(), target);
        QCOMPARE(frmMain().strLastsave, target);
        QVERIFY(!rtf()->document()->isModified());
    } else {
        QVERIFY(QDir(m_dir->path()).isEmpty());
        QCOMPARE(frmMain().caption(), QStringLiteral("VYX Editor 1.0"));
        QVERIFY(frmMain().strLastsave.isEmpty());
        QVERIFY(rtf()->document()->isModified());
    }
}

void TestFileCommands::saveAsThenSave()
{
    const QString a = path(QStringLiteral("a.vyx"));
    type(QStringLiteral("one"));
    saveFileAs(a);
    QCOMPARE(bytesOf(a), QByteArray("one"));
    QCOMPARE(frmMain().caption(), a);
    QCOMPARE(frmMain().strLastsave, a);
    QVERIFY(frmMain().strLastopen.isEmpty());

    type(QStringLiteral("\ntwo"));
    {
        NoModalExpected none;
        w()->mnuSave->trigger();
        QCOMPARE(none.titles(), QStringList());
    }
    QCOMPARE(bytesOf(a), QByteArray("one\r\ntwo"));
    QCOMPARE(frmMain().caption(), a);
    QVERIFY(!rtf()->document()->isModified());
}

void TestFileCommands::openThenSave()
{
    const QString b = path(QStringLiteral("b.vyx"));
    QVERIFY(TestUtil::writeBytes(b, "line1\r\nline2\r\n"));
    openFile(b);
    QCOMPARE(frmMain().caption(), QStringLiteral("b.vyx"));
    QCOMPARE(rtf()->Text(), QStringLiteral("line1\r\nline2\r\n"));
    QCOMPARE(frmMain().strLastopen, b);
    QVERIFY(frmMain().strLastsave.isEmpty());
    QVERIFY(!rtf()->document()->isModified());
    QVERIFY(w()->mnuCopy->isEnabled());

    type(QStringLiteral("line3"));
    {
        NoModalExpected none;
        w()->mnuSave->trigger();
        QCOMPARE(none.titles(), QStringList());
    }
    QCOMPARE(bytesOf(b), QByteArray("line1\r\nline2\r\nline3"));
    QCOMPARE(frmMain().caption(), QStringLiteral("b.vyx"));
}

void TestFileCommands::typedNameInSaveDialog()
{
    // The way a user does it: type the name into the dialog's field, press Enter.
    type(QStringLiteral("typed"));
    const QString target = path(QStringLiteral("typed.vyx"));
    frmMain().strLastsave = path(QStringLiteral("earlier.vyx")); // start in the temporary folder
    TestUtil::whenModalShows([](QWidget *modal) {
        auto *edit = modal->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (!edit) {
            modal->close();
            return;
        }
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("typed.vyx"));
        QTest::keyClick(edit, Qt::Key_Return);
    });
    w()->mnuSaveAs->trigger();
    QCOMPARE(bytesOf(target), QByteArray("typed"));
    QCOMPARE(frmMain().caption(), target);
}

void TestFileCommands::cancelChangesNothing_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("open") << "open";
    QTest::newRow("save-as") << "saveAs";
}

void TestFileCommands::cancelChangesNothing()
{
    QFETCH(QString, command);
    const QString b = path(QStringLiteral("b.vyx"));
    QVERIFY(TestUtil::writeBytes(b, "bee"));
    openFile(b);
    frmMain().strLastsave = path(QStringLiteral("s.vyx"));

    QAction *action = command == QLatin1String("open") ? w()->mnuOpen : w()->mnuSaveAs;
    auto seen = std::make_shared<Seen>();
    answerFileDialog(QString(), seen);
    action->trigger();
    QVERIFY(seen->shown);
    QCOMPARE(frmMain().caption(), QStringLiteral("b.vyx"));
    QCOMPARE(rtf()->Text(), QStringLiteral("bee"));
    QCOMPARE(frmMain().strLastopen, b);
    QCOMPARE(frmMain().strLastsave, path(QStringLiteral("s.vyx")));
    QCOMPARE(frmMain().documentPath, b);
    QCOMPARE(bytesOf(b), QByteArray("bee"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("b.vyx")});
}

void TestFileCommands::saveNeverWritesStalePath_data()
{
    QTest::addColumn<QString>("between");
    // After Save As A: Open B, New, or a visit to the help window (which
    // reloads the editor) make A no longer the document's file.
    QTest::newRow("open-other-file") << "open";
    QTest::newRow("new") << "new";
    QTest::newRow("window-reloaded") << "reload";
}

void TestFileCommands::saveNeverWritesStalePath()
{
    QFETCH(QString, between);
    const QString a = path(QStringLiteral("a.vyx"));
    const QString b = path(QStringLiteral("b.vyx"));
    QVERIFY(TestUtil::writeBytes(b, "bee"));
    type(QStringLiteral("one"));
    saveFileAs(a);
    QCOMPARE(bytesOf(a), QByteArray("one"));

    if (between == QLatin1String("open")) {
        openFile(b);
    } else if (between == QLatin1String("new")) {
        w()->mnuNew->trigger();
    } else {
        frmMain().unload();
        TestUtil::flushDeferredDeletes();
        frmMain().show();
    }
    type(QStringLiteral("edited"));

    auto seen = std::make_shared<Seen>();
    answerFileDialog(QString(), seen); // only the untitled cases ask for a name
    w()->mnuSave->trigger();
    QCOMPARE(bytesOf(a), QByteArray("one"));
    if (between == QLatin1String("open")) {
        QCOMPARE(bytesOf(b), QByteArray("beeedited"));
        QVERIFY(!seen->shown);
        // The dialog answer is still armed: use it up.
        w()->mnuSaveAs->trigger();
    } else {
        QCOMPARE(bytesOf(b), QByteArray("bee"));
        QVERIFY(seen->shown);
        QCOMPARE(seen->acceptMode, QFileDialog::AcceptSave);
    }
    QCOMPARE(frmMain().strLastsave, a);
}

void TestFileCommands::newEmptiesDocument()
{
    const QString b = path(QStringLiteral("b.vyx"));
    QVERIFY(TestUtil::writeBytes(b, "bee"));
    openFile(b);
    w()->mnuPaste->setEnabled(true);
    w()->mnuNew->trigger();
    QCOMPARE(rtf()->Text(), QString());
    QCOMPARE(frmMain().caption(), QStringLiteral("b.vyx"));
    QVERIFY(!w()->mnuCut->isEnabled());
    QVERIFY(!w()->mnuCopy->isEnabled());
    QVERIFY(w()->mnuPaste->isEnabled());
    QVERIFY(!rtf()->document()->isModified());
    QVERIFY(frmMain().documentPath.isEmpty());
    QCOMPARE(frmMain().strLastopen, b);
    QCOMPARE(rtf()->fileEncoding(), TextEncoding::Auto);
}

void TestFileCommands::saveChangesQuestion_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("goesOn");
    QTest::addColumn<QByteArray>("onDisk");

    const QByteArray saved("orig+");
    const QByteArray kept("orig");
    for (const char *command : {"new", "open", "exit", "close"}) {
        QTest::addRow("%s-yes", command) << command << int(QMessageBox::Yes) << true << saved;
        QTest::addRow("%s-no", command) << command << int(QMessageBox::No) << true << kept;
        QTest::addRow("%s-cancel", command) << command << int(QMessageBox::Cancel) << false << kept;
    }
}

void TestFileCommands::saveChangesQuestion()
{
    QFETCH(QString, command);
    QFETCH(int, answer);
    QFETCH(bool, goesOn);
    QFETCH(QByteArray, onDisk);

    const QString b = path(QStringLiteral("b.vyx"));
    const QString c = path(QStringLiteral("c.vyx"));
    QVERIFY(TestUtil::writeBytes(b, "orig"));
    QVERIFY(TestUtil::writeBytes(c, "other"));
    openFile(b);
    type(QStringLiteral("+"));
    QVERIFY(rtf()->document()->isModified());

    QSignalSpy ended(RuntimeEvents::instance(), &RuntimeEvents::endRequested);
    QSignalSpy unloaded(&frmMain(), &Form::unloaded);
    auto question = std::make_shared<Seen>();
    auto openDialog = std::make_shared<Seen>();
    const bool open = command == QLatin1String("open");
    answerMessage(QMessageBox::StandardButton(answer), question, [=] {
        if (open && goesOn)
            answerFileDialog(c, openDialog);
    });
    if (command == QLatin1String("new"))
        w()->mnuNew->trigger();
    else if (open)
        w()->mnuOpen->trigger();
    else if (command == QLatin1String("exit"))
        w()->mnuExit->trigger();
    else
        frmMain().window()->close();

    QVERIFY(question->shown);
    QCOMPARE(question->text, QStringLiteral("Save Changes?"));
    QCOMPARE(question->title, QStringLiteral("VYX Editor 1.0"));
    QCOMPARE(question->icon, QMessageBox::Question);
    QCOMPARE(question->buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(bytesOf(b), onDisk);

    if (!goesOn) {
        QVERIFY(frmMain().isLoaded());
        QCOMPARE(rtf()->Text(), QStringLiteral("orig+"));
        QVERIFY(rtf()->document()->isModified());
        QCOMPARE(frmMain().caption(), QStringLiteral("b.vyx"));
        QCOMPARE(ended.count(), 0);
        QCOMPARE(unloaded.count(), 0);
        return;
    }
    if (command == QLatin1String("new")) {
        QCOMPARE(rtf()->Text(), QString());
    } else if (open) {
        QVERIFY(openDialog->shown);
        QCOMPARE(rtf()->Text(), QStringLiteral("other"));
        QCOMPARE(frmMain().caption(), QStringLiteral("c.vyx"));
    } else if (command == QLatin1String("exit")) {
        settleAfterProgramEnd();
        QCOMPARE(ended.count(), 1);
    } else {
        QCOMPARE(unloaded.count(), 1);
        QVERIFY(!frmMain().isLoaded());
    }
}

void TestFileCommands::yesOnUntitledDocumentRunsSaveAs_data()
{
    QTest::addColumn<bool>("chooseName");
    QTest::newRow("name-chosen") << true;
    QTest::newRow("save-as-cancelled") << false;
}

void TestFileCommands::yesOnUntitledDocumentRunsSaveAs()
{
    QFETCH(bool, chooseName);
    const QString target = path(QStringLiteral("untitled.vyx"));
    type(QStringLiteral("draft"));
    auto dialog = std::make_shared<Seen>();
    answerMessage(QMessageBox::Yes, {}, [=] { answerFileDialog(chooseName ? target : QString(), dialog); });
    w()->mnuNew->trigger();
    QVERIFY(dialog->shown);
    QCOMPARE(dialog->acceptMode, QFileDialog::AcceptSave);
    if (chooseName) {
        QCOMPARE(bytesOf(target), QByteArray("draft"));
        QCOMPARE(rtf()->Text(), QString()); // New went on
    } else {
        QVERIFY(!QFileInfo::exists(target));
        QCOMPARE(rtf()->Text(), QStringLiteral("draft")); // New stopped
        QVERIFY(rtf()->document()->isModified());
    }
}

void TestFileCommands::unmodifiedDocumentIsNotAsked_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("new") << "new";
    QTest::newRow("exit") << "exit";
    QTest::newRow("close-box") << "close";
}

void TestFileCommands::unmodifiedDocumentIsNotAsked()
{
    QFETCH(QString, command);
    const QString b = path(QStringLiteral("b.vyx"));
    QVERIFY(TestUtil::writeBytes(b, "bee"));
    openFile(b);
    // Typing and undoing it leaves the text as loaded.
    type(QStringLiteral("x"));
    rtf()->undo();
    QSignalSpy ended(RuntimeEvents::instance(), &RuntimeEvents::endRequested);
    NoModalExpected none;
    if (command == QLatin1String("new")) {
        w()->mnuNew->trigger();
        QCOMPARE(rtf()->Text(), QString());
    } else if (command == QLatin1String("exit")) {
        w()->mnuExit->trigger();
        settleAfterProgramEnd();
        QCOMPARE(ended.count(), 1);
    } else {
        frmMain().window()->close();
        QVERIFY(!frmMain().isLoaded());
    }
    QCOMPARE(none.titles(), QStringList());
}

void TestFileCommands::failuresAreReported_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("expectedStart");
    QTest::newRow("open-pipe") << "open-pipe" << "Cannot open \"";
    QTest::newRow("open-huge") << "open-huge" << "Cannot open \"";
    QTest::newRow("save-as-missing-folder") << "save-as-missing-folder" << "Cannot save \"";
    QTest::newRow("save-as-unwritable-folder") << "save-as-proc" << "Cannot save \"";
    QTest::newRow("save-target-is-folder") << "save-target-is-folder" << "Cannot save \"";
    QTest::newRow("yes-then-save-fails") << "yes-save-fails" << "Cannot save \"";
}

void TestFileCommands::failuresAreReported()
{
    QFETCH(QString, scenario);
    QFETCH(QString, expectedStart);

    // A document with a file, modified: everything below must stay so.
    const QString b = path(QStringLiteral("b.vyx"));
    QVERIFY(TestUtil::writeBytes(b, "bee"));
    openFile(b);
    type(QStringLiteral("!"));
    frmMain().strLastsave = path(QStringLiteral("s.vyx"));

    QString target;
    auto warning = std::make_shared<Seen>();
    if (scenario == QLatin1String("open-pipe")) {
        // Qt's dialog offers no pipes, but a command line can name one;
        // reading it would wait for a writer forever.
        target = path(QStringLiteral("pipe.vyx"));
        QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0644), 0);
        answerMessage(QMessageBox::Ok, warning);
        QVERIFY(!openDocument(target));
    } else if (scenario == QLatin1String("open-huge")) {
        target = path(QStringLiteral("huge.vyx"));
        QFile huge(target);
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(RichTextBox::maxFileSize + 1)); // sparse: costs no disk
        huge.close();
        answerMessage(QMessageBox::No, {}, [=] {
            answerFileDialog(target, {}, {}, [=] { answerMessage(QMessageBox::Ok, warning); });
        });
        w()->mnuOpen->trigger();
    } else if (scenario == QLatin1String("save-target-is-folder")) {
        target = b;
        QVERIFY(QFile::remove(b));
        QVERIFY(QDir().mkdir(b));
        answerMessage(QMessageBox::Ok, warning);
        w()->mnuSave->trigger();
    } else if (scenario == QLatin1String("yes-save-fails")) {
        target = b;
        QVERIFY(QFile::remove(b));
        QVERIFY(QDir().mkdir(b));
        answerMessage(QMessageBox::Yes, {}, [=] { answerMessage(QMessageBox::Ok, warning); });
        w()->mnuNew->trigger(); // must stop: the text was not saved
    } else {
        // A fresh window's dialog has no "path must exist" flag from an
        // earlier Open, so the name gets through to the write.
        frmMain().unload();
        TestUtil::flushDeferredDeletes();
        frmMain().show();
        openDocument(b);
        type(QStringLiteral("!"));
        target = scenario == QLatin1String("save-as-proc") ? QStringLiteral("/proc/vyx-test.vyx")
                                                           : path(QStringLiteral("missing/a.vyx"));
        answerFileDialog(target, {}, {}, [=] { answerMessage(QMessageBox::Ok, warning); });
        w()->mnuSaveAs->trigger();
        QVERIFY(!QFileInfo::exists(target));
    }

    QVERIFY(warning->shown);
    QCOMPARE(warning->icon, QMessageBox::Warning);
    QCOMPARE(warning->title, QStringLiteral("VYX Editor 1.0"));
    QVERIFY2(warning->text.startsWith(expectedStart + QDir::toNativeSeparators(target) + QLatin1String("\": ")),
             qPrintable(warning->text));
    // ... and the system's reason after the name.
    QVERIFY(warning->text.size() > expectedStart.size() + target.size() + 4);

    QCOMPARE(rtf()->Text(), QStringLiteral("bee!"));
    QVERIFY(rtf()->document()->isModified());
    QCOMPARE(frmMain().caption(), QStringLiteral("b.vyx"));
    QCOMPARE(frmMain().strLastopen, b);
    QCOMPARE(frmMain().strLastsave, path(QStringLiteral("s.vyx")));
    QCOMPARE(frmMain().documentPath, b);
}

void TestFileCommands::failedWriteKeepsOldFile()
{
    // The file-size limit makes the write fail part way through, as a full
    // disk would.
    const QString b = path(QStringLiteral("b.vyx"));
    QVERIFY(TestUtil::writeBytes(b, "old content"));
    openFile(b);
    rtf()->setText(QString(20000, QLatin1Char('x')));

    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 4096;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    auto warning = std::make_shared<Seen>();
    answerMessage(QMessageBox::Ok, warning);
    w()->mnuSave->trigger();
    ::setrlimit(RLIMIT_FSIZE, &old);

    QVERIFY(warning->shown);
    QVERIFY2(warning->text.startsWith(QLatin1String("Cannot save \"") + b), qPrintable(warning->text));
    QCOMPARE(bytesOf(b), QByteArray("old content"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("b.vyx")});
    QVERIFY(rtf()->document()->isModified());
}

void TestFileCommands::saveKeepsPermissions()
{
    const QString b = path(QStringLiteral("b.vyx"));
    QVERIFY(TestUtil::writeBytes(b, "bee"));
    const auto perms = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QVERIFY(QFile::setPermissions(b, perms));
    openFile(b);
    type(QStringLiteral("!"));
    w()->mnuSave->trigger();
    QCOMPARE(bytesOf(b), QByteArray("bee!"));
    QCOMPARE(QFile::permissions(b) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser), perms);
}

void TestFileCommands::encodingRoundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("appended");
    QTest::addColumn<QByteArray>("saved");

    const QString none;
    QTest::newRow("ascii-crlf") << QByteArray("a\r\nb\r\n") << "a\nb\n" << none << QByteArray("a\r\nb\r\n");
    QTest::newRow("lf") << QByteArray("a\nb\n") << "a\nb\n" << none << QByteArray("a\r\nb\r\n");
    QTest::newRow("mixed-line-ends") << QByteArray("a\nb\r\nc\rd") << "a\nb\nc\nd" << none
                                     << QByteArray("a\r\nb\r\nc\r\nd");
    QTest::newRow("cp1252") << QByteArray("caf\xE9 \x97 x\xA0y\r\n") << QStringLiteral("caf\u00E9 \u2014 x\u00A0y\n")
                            << none << QByteArray("caf\xE9 \x97 x\xA0y\r\n");
    QTest::newRow("cp1252-edited") << QByteArray("\xE9\r\n") << QStringLiteral("\u00E9\n") << QStringLiteral("\u00E8")
                                   << QByteArray("\xE9\r\n\xE8");
    QTest::newRow("cp1252-gets-cyrillic") << QByteArray("\xE9\r\n") << QStringLiteral("\u00E9\n")
                                          << QStringLiteral("\u0436") << QByteArray("\xC3\xA9\r\n\xD0\xB6");
    QTest::newRow("utf8") << QByteArray("caf\xC3\xA9\r\n") << QStringLiteral("caf\u00E9\n") << none
                          << QByteArray("caf\xC3\xA9\r\n");
    QTest::newRow("utf8-lf-edited") << QByteArray("\xC3\xA9\n") << QStringLiteral("\u00E9\n") << QStringLiteral("z")
                                    << QByteArray("\xC3\xA9\r\nz");
    QTest::newRow("utf8-bom") << QByteArray("\xEF\xBB\xBF\xC3\xA9\r\n") << QStringLiteral("\u00E9\n") << none
                              << QByteArray("\xEF\xBB\xBF\xC3\xA9\r\n");
    QTest::newRow("utf16le-bom") << QByteArray("\xFF\xFEz\0\r\0\n\0", 8) << "z\n" << none
                                 << QByteArray("\xFF\xFEz\0\r\0\n\0", 8);
}

void TestFileCommands::encodingRoundTrip()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QFETCH(QString, appended);
    QFETCH(QByteArray, saved);

    const QString file = path(QStringLiteral("enc.vyx"));
    QVERIFY(TestUtil::writeBytes(file, bytes));
    openFile(file);
    QCOMPARE(rtf()->document()->toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n')), shown);
    type(appended);
    w()->mnuSave->trigger();
    QCOMPARE(bytesOf(file), saved);

    // What Save wrote, Open reads back as the same text.
    w()->mnuNew->trigger();
    openFile(file);
    QCOMPARE(rtf()->document()->toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n')),
             shown + appended);
}

void TestFileCommands::newDocumentEncoding_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("saved");
    QTest::newRow("fits-cp1252") << QStringLiteral("caf\u00E9 \u2014") << QByteArray("caf\xE9 \x97");
    QTest::newRow("needs-utf8") << QStringLiteral("\u00E9\u0436") << QByteArray("\xC3\xA9\xD0\xB6");
}

void TestFileCommands::newDocumentEncoding()
{
    QFETCH(QString, typed);
    QFETCH(QByteArray, saved);
    // New forgets the encoding of the file shown before it, BOM included.
    const QString before = path(QStringLiteral("before.vyx"));
    QVERIFY(TestUtil::writeBytes(before, "\xEF\xBB\xBFold"));
    openFile(before);
    w()->mnuNew->trigger();
    type(typed);
    const QString file = path(QStringLiteral("new.vyx"));
    saveFileAs(file);
    QCOMPARE(bytesOf(file), saved);
}

void TestFileCommands::openDialogSetup()
{
    QVERIFY(TestUtil::writeBytes(path(QStringLiteral("a.vyx")), "a"));
    QVERIFY(TestUtil::writeBytes(path(QStringLiteral("b.txt")), "b"));
    QVERIFY(TestUtil::writeBytes(path(QStringLiteral("c.vyx")), "c"));
    frmMain().strLastopen = path(QStringLiteral("c.vyx"));

    auto seen = std::make_shared<Seen>();
    answerFileDialog(QString(), seen, QStringLiteral("a.vyx"));
    w()->mnuOpen->trigger();
    QVERIFY(seen->shown);
    QCOMPARE(seen->title, QStringLiteral("Open"));
    QCOMPARE(seen->acceptMode, QFileDialog::AcceptOpen);
    QCOMPARE(seen->fileMode, QFileDialog::ExistingFile);
    QCOMPARE(seen->filterShown, QStringLiteral("VYX files (.vyx)"));
    QCOMPARE(seen->directory, QDir(m_dir->path()).absolutePath());
    QCOMPARE(seen->listed, (QStringList{QStringLiteral("a.vyx"), QStringLiteral("c.vyx")}));
    QCOMPARE(w()->cdl1->Flags, 0x81800);
}

void TestFileCommands::saveDialogAfterOpen()
{
    QDir(m_dir->path()).mkdir(QStringLiteral("sub"));
    const QString b = path(QStringLiteral("sub/b.vyx"));
    QVERIFY(TestUtil::writeBytes(b, "bee"));
    openFile(b);
    QCOMPARE(frmMain().caption(), QStringLiteral("b.vyx"));

    auto seen = std::make_shared<Seen>();
    const QString other = path(QStringLiteral("sub/new-name.vyx"));
    answerFileDialog(other, seen);
    w()->mnuSaveAs->trigger();
    QCOMPARE(seen->title, QStringLiteral("Save As"));
    QCOMPARE(seen->acceptMode, QFileDialog::AcceptSave);
    // Open's "file must exist" does not hold for saving: the new name was taken.
    QCOMPARE(seen->fileMode, QFileDialog::AnyFile);
    QCOMPARE(seen->directory, QFileInfo(b).absolutePath());
    QCOMPARE(seen->fileNameField, QStringLiteral("b.vyx"));
    QCOMPARE(seen->filterShown, QStringLiteral("VYX files (.vyx)"));
    QCOMPARE(bytesOf(other), QByteArray("bee"));
    QCOMPARE(frmMain().caption(), other);
    QCOMPARE(frmMain().documentPath, other);
    QCOMPARE(frmMain().strLastopen, b);
}

void TestFileCommands::saveDialogRefusesMissingFolderAfterOpen()
{
    // Open leaves "path must exist" in the dialog's flags: the save dialog
    // then refuses a missing folder and comes back for another name.
    const QString b = path(QStringLiteral("b.vyx"));
    QVERIFY(TestUtil::writeBytes(b, "bee"));
    openFile(b);
    const QString nowhere = path(QStringLiteral("missing/a.vyx"));
    auto refusal = std::make_shared<Seen>();
    auto again = std::make_shared<Seen>();
    answerFileDialog(nowhere, {}, {}, [=] {
        answerMessage(QMessageBox::Ok, refusal, [=] { answerFileDialog(QString(), again); });
    });
    w()->mnuSaveAs->trigger();
    QVERIFY(refusal->shown);
    QCOMPARE(refusal->icon, QMessageBox::Warning);
    QVERIFY2(refusal->text.contains(QDir::toNativeSeparators(path(QStringLiteral("missing")))),
             qPrintable(refusal->text));
    QVERIFY(again->shown);
    QCOMPARE(again->acceptMode, QFileDialog::AcceptSave);
    QVERIFY(!QFileInfo::exists(nowhere));
    QCOMPARE(frmMain().caption(), QStringLiteral("b.vyx"));
    QVERIFY(frmMain().strLastsave.isEmpty());
}

void TestFileCommands::filterStringBecomesNameFilters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("nameFilters");
    QTest::newRow("program's filter") << "Text Files (*.txt)|*.txt|VYX files (.vyx)|*.vyx"
                                      << QStringList{"Text Files (*.txt) (*.txt)", "VYX files (.vyx) (*.vyx)"};
    QTest::newRow("several patterns") << "Definitions|*.vyx;*.inc" << QStringList{"Definitions (*.vyx *.inc)"};
    QTest::newRow("pattern missing") << "Lonely" << QStringList();
    QTest::newRow("empty") << "" << QStringList();
}

void TestFileCommands::filterStringBecomesNameFilters()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, nameFilters);
    QCOMPARE(CommonDialog::nameFilters(filter), nameFilters);
}

void TestFileCommands::commandLineFile()
{
    const QString b = path(QStringLiteral("b.vyx"));
    QVERIFY(TestUtil::writeBytes(b, "bee"));
    QVERIFY(QDir::setCurrent(m_dir->path()));
    QVERIFY(openDocument(QStringLiteral("b.vyx")));
    QCOMPARE(frmMain().caption(), QStringLiteral("b.vyx"));
    QCOMPARE(frmMain().strLastopen, QFileInfo(b).absoluteFilePath());
    QCOMPARE(frmMain().documentPath, QFileInfo(b).absoluteFilePath());
    QCOMPARE(rtf()->Text(), QStringLiteral("bee"));

    auto warning = std::make_shared<Seen>();
    answerMessage(QMessageBox::Ok, warning);
    QVERIFY(!openDocument(path(QStringLiteral("missing.vyx"))));
    QCOMPARE(warning->text, QStringLiteral("Cannot open \"%1\": No such file or directory")
                                .arg(QDir::toNativeSeparators(path(QStringLiteral("missing.vyx")))));
    QCOMPARE(rtf()->Text(), QStringLiteral("bee"));
    QVERIFY(QDir::setCurrent(QDir::tempPath()));
}

void TestFileCommands::binaryFileOpens()
{
    QByteArray bytes;
    for (int i = 0; i < 4096; ++i)
        bytes.append(char(i * 7 % 256));
    const QString file = path(QStringLiteral("binary.bin"));
    QVERIFY(TestUtil::writeBytes(file, bytes));
    QVERIFY(openDocument(file));
    QVERIFY(!rtf()->Text().isEmpty());
    QCOMPARE(frmMain().caption(), QStringLiteral("binary.bin"));
}

QTEST_MAIN(TestFileCommands)
#include "tst_filecommands.moc"
