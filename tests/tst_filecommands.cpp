#include "definitionview.h"
#include "document.h"
#include "frmhowtouse.h"
#include "frmmain.h"
#include "helpmenu.h"
#include "richtextbox.h"
#include "rtfreader.h"
#include "testutil.h"
#include "textcodec.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMetaEnum>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>

static const QString appTitle = QStringLiteral("VYX Editor 1.0");
static const QString askSave = appTitle + "|Question|Yes|No|Cancel|Save Changes?";
// main.vyx of the include tests; sub/d.vyx includes "..\\c.vyx".
static const QString mainText = QStringLiteral("#include \"b.vyx\"\r\n#include \"sub\\d.vyx\"\r\n"
                                               "#include \"gone.vyx\"\r\n// Hull 5\r\n"
                                               "#include \"dir.vyx\"");

// Scripts are steps split by '|', each "verb answers...": the answers go in order to the modal
// windows the step brings up (a message box's button; a file dialog's file name, "-" cancels).
// In the test's folder a.vyx does not exist, b.vyx holds "bee" (mode 0640), c.vyx BOM + "sea".
class TestFileCommands : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void sequences_data();
    void sequences();
    void saveChanges_data();
    void saveChanges();
    void failures_data();
    void failures();
    void roundTrip_data();
    void roundTrip();
    void saveKeepsTheFile();
    void includes_data();
    void includes();
    void backgroundLoadEqualsOneStep_data();
    void backgroundLoadEqualsOneStep();
    void interruptedLoad_data();
    void interruptedLoad();
    void backIntoABigFile();

private:
    RichTextBox *rtf() const { return frmMain().rtfMain(); }
    Document *doc() const { return frmMain().win()->document; }
    QString path(const QString &name) const { return QDir(m_dir->path()).absoluteFilePath(name); }
    QByteArray bytes(const QString &name) const { return TestUtil::readBytes(path(name)); }
    QString run(const QString &script); // what went wrong, or nothing
    void armNext();
    QPoint onInclude(int line) const; // on line n's include name
    QString includeMarks() const; // per include name: l a link, m marked missing
    void contextMenu(const QString &how, int line);

    std::unique_ptr<QTemporaryDir> m_dir;
    QStringList m_answers;
    QStringList m_seen; // the modal windows the last run answered, as "title|what they showed"
    QStringList m_unexpected;
    QTimer m_rescue;
};

void TestFileCommands::initTestCase()
{
    // A modal window nobody has an answer for is closed: a faulty command fails, not hangs. One
    // whose answer is still running is not: the file dialog waits, after its last answer, for
    // the "replace?" question that answer brought up to return.
    connect(&m_rescue, &QTimer::timeout, this, [this] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible() && m_answers.isEmpty()
            && !TestUtil::isBeingAnswered(modal)) {
            m_unexpected << modal->windowTitle() + u'|' + modal->property("text").toString();
            modal->close();
        }
    });
    m_rescue.start(50);
}

void TestFileCommands::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    QVERIFY(TestUtil::writeBytes(path("b.vyx"), "bee"));
    QVERIFY(QFile::setPermissions(path("b.vyx"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    QVERIFY(TestUtil::writeBytes(path("c.vyx"), "\xEF\xBB\xBFsea"));
    frmMain().strLastopen.clear();
    frmMain().strLastsave.clear();
    installHelpMenu();
    frmMain().show();
    QVERIFY(QTest::qWaitForWindowExposed(frmMain().window()));
}

void TestFileCommands::cleanup()
{
    frmHowToUse().unload();
    if (frmMain().isLoaded()) {
        rtf()->document()->setModified(false);
        frmMain().unload();
    }
    TestUtil::flushDeferredDeletes();
    m_dir.reset();
    // Answers armed for windows that never came must not answer the next test's.
    m_answers.clear();
    for (QTimer *pending : qApp->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly))
        delete pending;
    QCOMPARE(std::exchange(m_unexpected, {}), QStringList());
}

QString TestFileCommands::run(const QString &script)
{
    m_seen.clear();
    for (const QString &step : script.split(u'|')) {
        const QString verb = step.section(u' ', 0, 0), rest = step.section(u' ', 1);
        if (verb == "type") { // key by key: keyClicks() knows only ASCII; U+2028 is Shift+Enter
            rtf()->moveCursor(QTextCursor::End);
            for (const QChar c : rest) {
                const bool enter = c == u'\n' || c == QChar::LineSeparator;
                QTest::sendKeyEvent(QTest::Click, rtf(), enter ? Qt::Key_Return : Qt::Key_unknown,
                                    enter ? QStringLiteral("\r") : QString(c),
                                    c == QChar::LineSeparator ? Qt::ShiftModifier : Qt::NoModifier);
            }
        } else if (verb == "disk") { // another program writes the file
            TestUtil::writeBytes(path(rest.section(u' ', 0, 0)), rest.section(u' ', 1).toUtf8());
        } else if (verb == "gone") { // another program removes the file
            QFile::remove(path(rest));
        } else if (verb == "pastekept") { // a kept byte, in hex, from a file in another encoding
            rtf()->moveCursor(QTextCursor::End);
            QApplication::clipboard()->setText(QChar(0xDC00 + rest.toInt(nullptr, 16)));
            rtf()->paste();
        } else if (verb == "look") {
            m_seen << includeMarks();
        }
        if (verb == "type" || verb == "disk" || verb == "look" || verb == "gone"
            || verb == "pastekept")
            continue;
        m_answers = rest.split(u' ', Qt::SkipEmptyParts);
        const QString file = verb == "cmdline" ? m_answers.takeFirst() : QString();
        const QString how = verb == "menu" ? m_answers.takeFirst() : QString();
        const int line = verb == "menu" || verb == "ctrlclick" ? m_answers.takeFirst().toInt() : 0;
        armNext();
        if (verb == "ctrlclick") {
            QTest::mouseClick(rtf()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                              onInclude(line));
        } else if (verb == "menu") {
            contextMenu(how, line);
        } else if (verb == "back") {
            QTest::keyClick(rtf(), Qt::Key_Left, Qt::AltModifier);
        } else if (verb == "cmdline") {
            frmMain().win()->openDocument(
                file); // as a shell passes it: relative to the current folder
        } else if (verb == "reload") { // as a visit to the help window does
            frmMain().unload();
            TestUtil::flushDeferredDeletes();
            frmMain().show();
        } else if (verb == "activate") { // the user comes back from another program
            QApplication::setActiveWindow(nullptr);
            QApplication::setActiveWindow(frmMain().window());
            QApplication::processEvents();
        } else if (verb == "close") {
            frmMain().window()->close();
        } else { // new, open, save, saveas, exit: the File menu's items
            const auto items = frmMain().win()->findChildren<QAction *>();
            (*std::find_if(items.begin(), items.end(), [&](QAction *a) {
                return a->objectName().compare("mnu" + verb, Qt::CaseInsensitive) == 0;
            }))->trigger();
        }
        if (!m_answers.isEmpty() || !m_unexpected.isEmpty())
            return QStringLiteral("%1: never asked for [%2], asked unexpectedly [%3]")
                .arg(step, m_answers.join(u' '), m_unexpected.join(u", "));
    }
    return {};
}

void TestFileCommands::armNext()
{
    if (m_answers.isEmpty())
        return;
    TestUtil::whenModalShows([this](QWidget *modal) {
        const QMetaEnum buttonNames = QMetaEnum::fromType<QMessageBox::StandardButtons>();
        auto *box = qobject_cast<QMessageBox *>(modal);
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        auto *name = modal->findChild<QLineEdit *>("fileNameEdit");
        if (box) {
            m_seen << QStringLiteral("%1|%2|%3|%4")
                          .arg(modal->windowTitle(),
                               QMetaEnum::fromType<QMessageBox::Icon>().valueToKey(box->icon()),
                               buttonNames.valueToKeys(box->standardButtons())
                                   .replace("|FirstButton", ""),
                               box->text());
        } else if (dialog) { // the filter shown, the patterns the list applies, the start
            m_seen << QStringLiteral("%1|%2|%3|%4/%5")
                          .arg(modal->windowTitle(),
                               modal->findChild<QComboBox *>("fileTypeCombo")->currentText(),
                               modal->findChild<QFileSystemModel *>()->nameFilters().join(u' '),
                               dialog->directory().absolutePath(), name->text());
        }
        const QString answer = m_answers.takeFirst();
        armNext(); // before answering: the answer may bring up the next window
        if (answer == "Return") // the default button
            return QTest::keyClick(modal, Qt::Key_Return);
        const auto button = QMessageBox::StandardButton(buttonNames.keysToValue(answer.toLatin1()));
        if (QAbstractButton *press = box ? box->button(button) : nullptr)
            return press->click();
        if (!dialog || answer == "-")
            return void(modal->close());
        // Type the full path and press Enter, the selection cleared as a click into the name
        // field does (or the file selected at first wins).
        modal->findChild<QListView *>("listView")->clearSelection();
        name->setText(path(answer));
        QTest::keyClick(name, Qt::Key_Return);
    });
}

void TestFileCommands::sequences_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QByteArray>("a"); // null: a.vyx must not exist
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("caption"); // DIR/: the test's folder
    const auto row = [](const char *name, const char *script, const char *a, const char *b,
                        const char *text, const char *caption) {
        QTest::newRow(name) << QString::fromUtf8(script) << (a ? QByteArray(a) : QByteArray())
                            << QByteArray(b) << QString::fromUtf8(text)
                            << QString::fromUtf8(caption);
    };
    // Captions; DIR/ is the test's folder.
    const char *A = "DIR/a.vyx";
    const char *B = "b.vyx";
    const char *U = "VYX Editor 1.0";
    // clang-format off
    row("save at start: asks", "type ship|save a.vyx", "ship", "bee", "ship", A);
    row("save at start: cancel", "type ship|save -", nullptr, "bee", "ship", U);
    row("save as, save", "type one|saveas a.vyx|type \ntwo|save", "one\r\ntwo", "bee", "one\r\ntwo", A);
    row("FILE argument, save", "cmdline b.vyx|type !|save", nullptr, "bee!", "bee!", B);
    row("open: cancel", "open b.vyx|open -|type !|save", nullptr, "bee!", "bee!", B);
    row("save as: cancel", "open b.vyx|type !|saveas -", nullptr, "bee", "bee!", B);
    row("stale: save as A, open B, save", "type one|saveas a.vyx|open b.vyx|type !|save", "one", "bee!", "bee!", B);
    row("stale: save as A, new, save", "type one|saveas a.vyx|new|type two|save -", "one", "bee", "two", A);
    row("stale: save as A, reloaded, save", "type one|saveas a.vyx|reload|type two|save -", "one", "bee", "two", U);
    row("untitled, new: yes saves as", "type draft|new Yes a.vyx", "draft", "bee", "", A);
    row("untitled, new: yes, cancel stops", "type draft|new Yes -", nullptr, "bee", "draft", U);
    row("open: missing folder asked again", "open b.vyx|type !|saveas missing/a.vyx Ok -", nullptr, "bee", "bee!", B);
    row("new after BOM: windows-1252", "open c.vyx|new|type \u00E9 \u2014|saveas a.vyx", "\xE9 \x97", "bee", "\u00E9 \u2014", A);
    row("changed on disk: no keeps it", "open b.vyx|type !|disk b.vyx other|save No", nullptr, "other", "bee!", B);
    row("changed on disk: Return writes nothing", "open b.vyx|type !|disk b.vyx other|save Return", nullptr, "other", "bee!", B);
    row("removed on disk: no writes nothing", "open b.vyx|type !|gone b.vyx|save No", nullptr, "", "bee!", B);
    row("removed on disk: yes creates it", "open b.vyx|type !|gone b.vyx|save Yes", nullptr, "bee!", "bee!", B);
    row("removed on disk: told on coming back", "open b.vyx|gone b.vyx|activate Ok|activate", nullptr, "", "bee", B);
    row("caption: a name with Qt's placeholder", "disk s[*]2.vyx x|cmdline s[*]2.vyx", nullptr, "bee", "x", "s[*]2.vyx");
    row("changed on disk, unmodified: reloaded", "open b.vyx|disk b.vyx other|activate Yes", nullptr, "other", "other", B);
    row("changed on disk, modified: told once", "open b.vyx|type !|disk b.vyx other|activate Ok|activate|save Yes", nullptr, "bee!", "bee!", B);
    row("own saves: never asked", "open b.vyx|type !|save|type ?|save|saveas b.vyx Yes|save", nullptr, "bee!?", "bee!?", "DIR/b.vyx");
    row("windows-1252 gets cyrillic, new: yes, no stops", "open c.vyx|new|type \u00E9|saveas a.vyx|type \u0436|new Yes No", "\xE9", "bee", "\u00E9\u0436", A);
    row("new: utf-8 when needed", "type \u00E9\u0436|saveas a.vyx", "\xC3\xA9\xD0\xB6", "bee", "\u00E9\u0436", A);
    row("rtf source, new: yes, cancel keeps it", "disk b.vyx {\\rtf1 bee}|cmdline b.vyx|type !|new Yes Cancel", nullptr, "{\\rtf1 bee}", "bee!", B);
    row("changed on disk, new: yes, no keeps it", "open b.vyx|type !|disk b.vyx other|new Yes No", nullptr, "other", "bee!", B);
    // clang-format on
}

void TestFileCommands::sequences()
{
    QFETCH(QString, script);
    QFETCH(QByteArray, a);
    QFETCH(QString, caption);
    QCOMPARE(run(script), QString());
    QCOMPARE(QFileInfo::exists(path("a.vyx")), !a.isNull());
    QCOMPARE(bytes("a.vyx"), a);
    QTEST(bytes("b.vyx"), "b");
    QTEST(rtf()->Text(), "text");
    QCOMPARE(frmMain().caption(), caption.replace("DIR/", m_dir->path() + u'/'));
    if (script.contains("disk b") || script.contains("gone")) // the question names the file
        QVERIFY(m_seen.join(u' ').contains(u'"' + QDir::toNativeSeparators(path("b.vyx")) + u'"'));
    // Saving replaces the file but keeps its permissions (a file created
    // anew has the default ones).
    if (!script.contains("gone"))
        QCOMPARE(QFile::permissions(path("b.vyx")) & ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
}

void TestFileCommands::saveChanges_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("answer"); // "-": the document is unmodified and nothing is asked
    for (const char *command : {"new", "open", "exit", "close", "howtouse"})
        for (const char *answer : {"Yes", "No", "Cancel", "-"})
            QTest::addRow("%s: %s", command, answer) << command << answer;
}

void TestFileCommands::saveChanges()
{
    QFETCH(QString, command);
    QFETCH(QString, answer);
    const bool asked = answer != "-", goesOn = answer != "Cancel";
    QCOMPARE(run(asked ? "open b.vyx|type +" : "open b.vyx|type x"), QString());
    if (!asked)
        rtf()->undo(); // typed and undone: the text is as loaded
    QCOMPARE(run(command + (asked ? u' ' + answer : QString())
                 + (command == "open" && goesOn ? " c.vyx" : "")),
             QString());
    if (asked)
        QCOMPARE(m_seen.first(), askSave);
    QCOMPARE(bytes("b.vyx"), QByteArray(answer == "Yes" ? "bee+" : "bee"));
    // Exit and closing the editor close it, which ends the program; going to
    // the help page unloads it too.
    QCOMPARE(frmMain().isLoaded(), command == "new" || command == "open" || !goesOn);
    QCOMPARE(frmHowToUse().isLoaded(), command == "howtouse" && goesOn);
    if (!frmMain().isLoaded())
        return;
    const QString kept = asked ? "bee+" : "bee";
    QCOMPARE(rtf()->Text(), !goesOn ? kept : command == "new" ? "" : "sea");
    QCOMPARE(frmMain().caption(), QString(goesOn && command == "open" ? "c.vyx" : "b.vyx"));
    QCOMPARE(rtf()->document()->isModified(), !goesOn);
}

void TestFileCommands::failures_data()
{
    QTest::addColumn<QString>("setup"); // what stands at the target
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("target");
    // clang-format off
    QTest::newRow("save: disk full midway") << "limit" << "save Ok" << "b.vyx";
    QTest::newRow("new: yes, save fails, stops") << "folder" << "new Yes Ok" << "b.vyx";
    QTest::newRow("FILE argument: missing") << "" << "cmdline missing.vyx Ok" << "missing.vyx";
    // clang-format on
}

// A failed command tells why and leaves the modified document, its file and paths as they were.
void TestFileCommands::failures()
{
    QFETCH(QString, setup);
    QFETCH(QString, script);
    QFETCH(QString, target);
    QCOMPARE(run("cmdline b.vyx|type !"), QString());
    frmMain().strLastsave = path("s.vyx");
    QFile file(path(target));
    if (setup == "folder")
        QVERIFY((!QFileInfo(file).isFile() || file.remove()) && QDir().mkdir(path(target)));
    const QStringList files = QDir().entryList(QDir::Files);
    // The file-size limit makes a write fail part way through, as a full disk would.
    rlimit old{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small{2, old.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, setup == "limit" ? &small : &old), 0);
    const QString result = run(script);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &old), 0);
    QCOMPARE(result, QString());
    // ... followed by the system's reason.
    const QString shown = QStringLiteral("%1|Warning|Ok|Cannot %2 \"%3\": ")
                              .arg(appTitle, target == "b.vyx" ? "save" : "open",
                                   QDir::toNativeSeparators(path(target)));
    QVERIFY2(m_seen.last().startsWith(shown) && m_seen.last().size() > shown.size() + 3
                 && !m_seen.last().endsWith("Unknown error"),
             qPrintable(m_seen.last()));
    QCOMPARE(QDir().entryList(QDir::Files), files); // nothing left behind
    if (QFileInfo(path("b.vyx")).isFile())
        QCOMPARE(bytes("b.vyx"), QByteArray("bee"));
    QVERIFY(rtf()->document()->isModified());
    QCOMPARE((QStringList{rtf()->Text(), frmMain().caption(), frmMain().strLastopen,
                          frmMain().strLastsave, doc()->filePath()}),
             (QStringList{"bee!", "b.vyx", path("b.vyx"), path("s.vyx"), path("b.vyx")}));
}

// Opening any file and saving it gives back its bytes, line ends aside (all CR LF); edits change
// only the edited text.
void TestFileCommands::roundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text"); // as shown after Open; null: not checked
    QTest::addColumn<QString>("script"); // after the Open
    QTest::addColumn<QByteArray>("saved");
    const auto row = [](const char *name, const QByteArray &bytes, const QString &text,
                        const char *script, const QByteArray &saved) {
        QTest::newRow(name) << bytes << text << QString::fromUtf8(script) << saved;
    };
    const QByteArray rtf = "{\\rtf1 {\\b bold} text}";
    // A character outside Windows-1252 a MB into the text: the whole file goes as UTF-8.
    const QByteArray big = QByteArray(60, 'x').append("\r\n").repeated(20000) + "\xE9";
    // clang-format off
    row("mixed line ends", "a\nb\r\nc\rd", "a\nb\nc\nd", "save", "a\r\nb\r\nc\r\nd");
    row("shift+enter: a line end too", "a", "a", "type \u2028b|save", "a\r\nb");
    row("windows-1252, edited", "caf\xE9 \x97 x\xA0y\r\n", "caf\u00E9 \u2014 x\u00A0y\n", "type \u00E8|save", "caf\xE9 \x97 x\xA0y\r\n\xE8");
    row("windows-1252 gets cyrillic: yes, utf-8", "caf\xE9 \xA0\x80\r\n", nullptr, "type \u0436|save Yes", "caf\xC3\xA9 \xC2\xA0\xE2\x82\xAC\r\n\xD0\xB6");
    row("windows-1252 gets cyrillic: no, kept", "caf\xE9 \xA0\x80\r\n", nullptr, "type \u0436|save No", "caf\xE9 \xA0\x80\r\n");
    row("utf-8 with a stray byte, edited", "// caf\xC3\xA9 \xE2\x86\x92 ok\nbad \xFF byte", QStringLiteral("// caf\u00E9 \u2192 ok\nbad ") + QChar(0xDCFF) + " byte", "type \u2192|save", "// caf\xC3\xA9 \xE2\x86\x92 ok\r\nbad \xFF byte\xE2\x86\x92");
    row("utf-16le, a kept byte pasted: no writes nothing", QByteArray("\xFF\xFEz\0", 4), nullptr, "pastekept E9|type y|save No", QByteArray("\xFF\xFEz\0", 4));
    row("utf-16le, a kept byte pasted: yes writes U+FFFD", QByteArray("\xFF\xFEz\0", 4), nullptr, "pastekept E9|type y|save Yes", QByteArray("\xFF\xFEz\0\xFD\xFFy\0", 8));
    row("utf-16le without bom", QByteArray("o\0\r\0\n\0l\0", 8), "o\nl", "type !|save", QByteArray("o\0\r\0\n\0l\0!\0", 10));
    row("cjk line of 30000 characters", QByteArray("\xE6\xBC\xA2").repeated(30000), nullptr, "save", QByteArray("\xE6\xBC\xA2").repeated(30000));
    row("plain text that starts like rtf", "{\\rtf is how my ship line starts}\r\nmore", "{\\rtf is how my ship line starts}\nmore", "save", "{\\rtf is how my ship line starts}\r\nmore");
    row("rtf source: save asks, cancel", rtf, "bold text", "save Cancel", rtf);
    row("rtf source: no saves as, source kept", rtf, "bold text", "save No a.vyx|save", rtf);
    row("rtf source: yes, plain text", rtf, "bold text", "save Yes|save", "bold text");
    row("windows-1252 over a MB gets cyrillic: yes, all utf-8", big, nullptr, "type \u0436|save Yes", big.left(big.size() - 1) + "\xC3\xA9\xD0\xB6");
    // clang-format on
}

void TestFileCommands::roundTrip()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(QString, script);
    QVERIFY(TestUtil::writeBytes(path("e.vyx"), bytes));
    QCOMPARE(run("open e.vyx"), QString());
    QTRY_VERIFY(!doc()->isLoading());
    if (!text.isNull())
        QCOMPARE(rtf()->document()->toRawText().replace(QChar::ParagraphSeparator, u'\n'), text);
    QCOMPARE(run(script), QString());
    QTEST(this->bytes("e.vyx"), "saved");
    if (script.contains(" a.vyx"))
        QCOMPARE(this->bytes("a.vyx"), QByteArray("bold text"));
}

// Save keeps what the file is: a hard link sees the new text; the mode, special bits too,
// stays. (The file layer's own tests go through owners, links and attributes one by one.)
void TestFileCommands::saveKeepsTheFile()
{
    const QByteArray b = QFile::encodeName(path("b.vyx"));
    QCOMPARE(::link(b.constData(), QFile::encodeName(path("link.vyx")).constData()), 0);
    QCOMPARE(::chmod(b.constData(), 07640), 0);
    struct stat before, after;
    QCOMPARE(::stat(b.constData(), &before), 0);
    QCOMPARE(run("open b.vyx|type !|save"), QString());
    QCOMPARE(::stat(b.constData(), &after), 0);
    QCOMPARE((QList<quint64>{after.st_ino, after.st_mode}),
             (QList<quint64>{before.st_ino, before.st_mode}));
    QCOMPARE(bytes("link.vyx"), QByteArray("bee!"));
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden).size(), 3);
}

QPoint TestFileCommands::onInclude(int line) const
{
    const QTextBlock block = rtf()->document()->findBlockByNumber(line);
    QTextCursor name(block);
    name.setPosition(block.position() + block.text().indexOf(u'"') + 2);
    return rtf()->cursorRect(name).center();
}

QString TestFileCommands::includeMarks() const
{
    rtf()->viewport()->repaint();
    QString marks;
    for (QTextBlock b = rtf()->document()->begin(); b.isValid(); b = b.next()) {
        for (const QTextLayout::FormatRange &r : b.layout()->formats()) {
            if (b.text().startsWith("#include") && r.start == b.text().indexOf(u'"'))
                marks += r.format.underlineStyle() == QTextCharFormat::WaveUnderline ? u'm' : u'l';
        }
    }
    return marks;
}

// Opens the text's context menu on the line as a right click ("click"), the Menu key ("key") or
// Shift+F10 does; notes its include item and clicks that when it is enabled.
void TestFileCommands::contextMenu(const QString &how, int line)
{
    const QPoint at = onInclude(line);
    if (how == "click") {
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, rtf()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(rtf()->viewport(), &click);
    } else {
        rtf()->setTextCursor(rtf()->cursorForPosition(at));
        const QPoint caret = rtf()->cursorRect().center();
        QContextMenuEvent key(QContextMenuEvent::Keyboard, caret, rtf()->mapToGlobal(caret));
        if (how == "key")
            QApplication::sendEvent(rtf(), &key);
        else
            QTest::keyClick(rtf(), Qt::Key_F10, Qt::ShiftModifier);
    }
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    QAction *item = frmMain().win()->findChild<DefinitionView *>()->openIncludedAction();
    if (!menu || !menu->actions().contains(item))
        return void(m_seen << "no menu");
    m_seen << item->text() + (item->isEnabled() ? "|on" : "|off");
    if (!item->isEnabled())
        return QTest::keyClick(menu, Qt::Key_Escape);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    QCoreApplication::processEvents(); // the item's command runs once the menu is gone
}

void TestFileCommands::includes_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("seen"); // message boxes, context-menu items, include marks
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("text");
    const QString on = "Open Included File|on", off = "Open Included File|off";
    const QString open = "Open|VYX files (.vyx)|*.vyx|", saveAs = "Save As|VYX files (.vyx)|*.vyx|";
    const QString folder
        = appTitle + "|Warning|Ok|Cannot open \"DIR/dir.vyx\": It is a folder, not a file.";
    const auto row = [](const char *name, const char *script, const QStringList &seen,
                        const char *caption, const QString &text) {
        QTest::newRow(name) << QString::fromUtf8(script) << seen << caption << text;
    };
    // clang-format off
    row("right click, subfolder", "cmdline main.vyx|menu click 1", {on}, "d.vyx", "#include \"..\\c.vyx\"");
    row("menu key", "cmdline main.vyx|menu key 0", {on}, "b.vyx", "bee");
    row("shift+f10", "cmdline main.vyx|menu f10 0", {on}, "b.vyx", "bee");
    row("down two, back two", "cmdline main.vyx|ctrlclick 1|ctrlclick 0|back|back", {}, "main.vyx", mainText);
    row("modified: cancel stays", "cmdline main.vyx|type x|ctrlclick 0 Cancel", {askSave}, "main.vyx", mainText + "x");
    row("modified: no goes on", "cmdline main.vyx|type x|menu key 0 No", {on, askSave}, "b.vyx", "bee");
    row("back: cancel stays", "cmdline main.vyx|ctrlclick 0|type !|back Cancel", {askSave}, "b.vyx", "bee!");
    row("back: not after another open", "cmdline main.vyx|ctrlclick 0|cmdline c.vyx|back", {}, "c.vyx", "sea");
    row("back: not from a new document", "cmdline main.vyx|ctrlclick 0|new|back", {}, "b.vyx", "");
    row("missing: marked, disabled", "cmdline main.vyx|look|menu click 2|ctrlclick 2", {"llml", "\"gone.vyx\" not found|off"}, "main.vyx", mainText);
    row("missing: created, found on activation", "cmdline main.vyx|look|disk gone.vyx new|look|activate|look|ctrlclick 2", {"llml", "llml", "llll"}, "gone.vyx", "new");
    row("not an include line", "cmdline main.vyx|menu click 3", {off}, "main.vyx", mainText);
    row("no file: disabled", "type #include \"b.vyx\"|menu key 0|ctrlclick 0|look", {off, "l"}, "VYX Editor 1.0", "#include \"b.vyx\"");
    row("unreadable: reported as Open", "cmdline main.vyx|ctrlclick 4 Ok", {folder}, "main.vyx", mainText);
    // Both dialogs start on the VYX filter; Save As after an Open with the opened file; in a
    // fresh window each in the folder of its own last file.
    row("file dialogs", "disk sub/b.vyx x|cmdline sub/b.vyx|open sub/b.vyx|saveas new.vyx|reload|open -|saveas -", {open + "DIR/sub/", saveAs + "DIR/sub/b.vyx", open + "DIR/sub/", saveAs + "DIR/"}, "VYX Editor 1.0", "");
    // clang-format on
}

// Includes are followed the way File > Open goes, from the document's folder.
void TestFileCommands::includes()
{
    QFETCH(QString, script);
    QFETCH(QStringList, seen);
    QVERIFY(QDir().mkpath("sub") && QDir().mkpath("dir.vyx"));
    QVERIFY(TestUtil::writeBytes(path("sub/d.vyx"), "#include \"..\\c.vyx\""));
    QVERIFY(TestUtil::writeBytes(path("main.vyx"), mainText.toUtf8()));
    QCOMPARE(run(script), QString());
    QCOMPARE(m_seen, seen.replaceInStrings("DIR/", m_dir->path() + u'/'));
    QTEST(frmMain().caption(), "caption");
    QTEST(rtf()->Text(), "text");
}

namespace {

constexpr qsizetype piece = Document::loadPieceBytes;

QByteArray filler(qsizetype n) // n bytes of short LF lines
{
    QByteArray f(n, 'a');
    for (qsizetype i = 49; i < n; i += 50)
        f[i] = '\n';
    return f;
}

} // namespace

// Files of a few pieces, loaded one piece per step, with what would break at a piece's edge there.
void TestFileCommands::backgroundLoadEqualsOneStep_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QString u16 = QString::fromLatin1(filler(piece / 2 - 1)) + QStringLiteral("\U0001F600")
        + QString::fromLatin1(filler(piece / 2 - 2)) + "\r\n"
        + QString::fromLatin1(filler(piece / 2));
    // clang-format off
    QTest::newRow("CR LF across pieces") << filler(piece - 1) + "\r\n" + filler(piece) + "\r\nz";
    QTest::newRow("utf-8 across pieces") << filler(piece - 1) + "\xE2\x82\xAC" + filler(piece - 2) + "\xF0\x9F\x98\x80" + filler(piece);
    QTest::newRow("utf-16 surrogates and CR LF across pieces") << "\xFF\xFE" + QByteArray(reinterpret_cast<const char *>(u16.utf16()), u16.size() * 2);
    QTest::newRow("windows-1252") << filler(piece) + "caf\xE9\r\n" + filler(2 * piece);
    QTest::newRow("rich text") << "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;}" + QByteArray("{\\b bold}\\cf1 red \\u8364?\\par\\qc centred\\par\\ql ").repeated(8000) + "}";
    // clang-format on
}

void TestFileCommands::backgroundLoadEqualsOneStep()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(TestUtil::writeBytes(path("big.vyx"), bytes));
    QCOMPARE(run("open b.vyx|type !"), QString());
    doc()->setLoadStepMs(0);
    QSignalSpy started(doc(), &Document::loadStarted);
    QCOMPARE(run("open No big.vyx"), QString());
    QCOMPARE(started.count(), 1);
    QTRY_VERIFY(!doc()->isLoading());
    if (looksLikeRtf(bytes)) {
        QTextDocument oneStep;
        oneStep.setDefaultFont(rtf()->document()->defaultFont());
        QTextCursor cursor(&oneStep);
        insertRtf(cursor, readRtf(bytes));
        QCOMPARE(rtf()->document()->toHtml(), oneStep.toHtml());
    } else {
        const DecodedText oneStep = decodeText(bytes);
        QCOMPARE(rtf()->Text(),
                 QString(oneStep.text)
                     .replace("\r\n", "\n")
                     .replace(u'\r', u'\n')
                     .replace("\n", "\r\n"));
        QCOMPARE(doc()->encoding(), oneStep.encoding);
    }
    QCOMPARE(rtf()->document()->availableUndoSteps(), 0);
    QVERIFY(!rtf()->document()->isModified() && !rtf()->isReadOnly());
    FrmMainWindow *w = frmMain().win();
    QVERIFY(w->mnuCut->isEnabled() && w->mnuCopy->isEnabled() && w->mnuSave->isEnabled()
            && !w->mnuUndo->isEnabled());
    QCOMPARE(frmMain().caption(), QStringLiteral("big.vyx"));
}

void TestFileCommands::interruptedLoad_data()
{
    QTest::addColumn<int>("steps"); // in the background before the action
    QTest::addColumn<QString>("action");
    QTest::newRow("escape at once") << 0 << "escape";
    QTest::newRow("escape midway") << 2 << "escape";
    QTest::newRow("cancel button") << 1 << "button";
    QTest::newRow("keys and commands: nothing edited or saved") << 1 << "keys";
    QTest::newRow("exit: asked about the earlier document") << 1 << "exit No";
    QTest::newRow("exit cancelled: the load goes on") << 1 << "exit Cancel";
    QTest::newRow("close box") << 2 << "close No";
}

// Back into a file too big to load at once lands on the include's line once
// the file is in, and links wait while it loads.
void TestFileCommands::backIntoABigFile()
{
    QVERIFY(TestUtil::writeBytes(
        path("big.vyx"), "#include \"c.vyx\"\n" + filler(4 * piece) + "\n#include \"b.vyx\""));
    doc()->setLoadStepMs(0);
    QCOMPARE(run("cmdline big.vyx"), QString());
    QTRY_VERIFY(!doc()->isLoading());
    const int line = rtf()->document()->blockCount() - 1;
    rtf()->setTextCursor(QTextCursor(rtf()->document()->findBlockByNumber(line)));
    rtf()->ensureCursorVisible();
    QCOMPARE(run(QStringLiteral("ctrlclick %1|back").arg(line)), QString());
    QCOMPARE(frmMain().caption(), QStringLiteral("big.vyx"));
    QVERIFY(doc()->isLoading());
    rtf()->viewport()->repaint();
    QCOMPARE(run("ctrlclick 0"), QString()); // an include shown while loading: not followed
    QCOMPARE(frmMain().caption(), QStringLiteral("big.vyx"));
    QTRY_VERIFY(!doc()->isLoading());
    QCOMPARE(rtf()->textCursor().blockNumber(), line);
}

// An interrupted load leaves the earlier document as it was: the text, its undo history, its
// modified state, the caret, name and paths.
void TestFileCommands::interruptedLoad()
{
    QFETCH(int, steps);
    QFETCH(QString, action);
    QVERIFY(TestUtil::writeBytes(path("big.vyx"), filler(6 * piece)));
    QCOMPARE(run("open b.vyx|type !"), QString());
    const QStringList files = QDir().entryList(QDir::Files);
    doc()->setLoadStepMs(0);
    QSignalSpy progress(doc(), &Document::loadProgress);
    QSignalSpy ended(doc(), &Document::loadEnded);
    QCOMPARE(run("open No big.vyx"), QString());
    FrmMainWindow *w = frmMain().win();
    QVERIFY(doc()->isLoading());
    w->activateWindow(); // back from the question, as the window manager would make it
    QVERIFY(QTest::qWaitForWindowActive(w));
    while (progress.count() <= steps)
        QCoreApplication::processEvents();
    QVERIFY(doc()->isLoading());
    QVERIFY(!w->mnuSave->isEnabled() && !w->mnuNew->isEnabled() && !w->mnuHash->isEnabled());
    if (action == "escape") {
        QTest::keyClick(rtf(), Qt::Key_Escape);
    } else if (action == "button") {
        w->fraLoading->show();
        QTest::mouseClick(w->cmdCancelLoad, Qt::LeftButton);
    } else if (action == "keys") {
        QApplication::clipboard()->setText(QStringLiteral("clip"));
        QTest::keyClicks(rtf(), "xy");
        for (const QKeySequence &key : QKeySequence::listFromString(
                 "Return; Del; Ctrl+X; Ctrl+V; Ctrl+S; Ctrl+N; Ctrl+O; Ctrl+Z"))
            QTest::keySequence(rtf(), key);
        QTRY_VERIFY(!doc()->isLoading());
        QCOMPARE(rtf()->Text(), QString::fromLatin1(filler(6 * piece)).replace("\n", "\r\n"));
        QVERIFY(!rtf()->document()->isModified());
        QCOMPARE(QDir().entryList(QDir::Files), files);
        QCOMPARE(bytes("b.vyx"), QByteArray("bee"));
        QVERIFY(w->mnuSave->isEnabled() && w->mnuNew->isEnabled() && w->mnuHash->isEnabled());
        return;
    } else {
        QCOMPARE(run(action), QString());
        QCOMPARE(m_seen, QStringList{askSave});
        QCOMPARE(bytes("b.vyx"), QByteArray("bee"));
        // No closes the editor; Cancel lets the load the user asked for go on.
        QCOMPARE(frmMain().isLoaded(), action.endsWith("Cancel"));
        if (!frmMain().isLoaded())
            return;
        QTRY_VERIFY(!doc()->isLoading());
        QCOMPARE(ended.count(), 1);
        QCOMPARE(ended.first().first().toBool(), true);
        QCOMPARE(frmMain().caption(), QStringLiteral("big.vyx"));
        return;
    }
    QCOMPARE(ended.count(), 1);
    QCOMPARE(ended.first().first().toBool(), false);
    QVERIFY(!doc()->isLoading() && !rtf()->isReadOnly() && rtf()->document()->isModified());
    QCOMPARE(
        (QStringList{rtf()->Text(), frmMain().caption(), frmMain().strLastopen, doc()->filePath()}),
        (QStringList{"bee!", "b.vyx", path("b.vyx"), path("b.vyx")}));
    QVERIFY(w->mnuSave->isEnabled() && w->mnuUndo->isEnabled() && w->mnuHash->isEnabled());
    QVERIFY(!w->fraLoading->isVisible());
    QCOMPARE(rtf()->textCursor().position(), 4);
    rtf()->undo();
    QCOMPARE(rtf()->Text(), QStringLiteral("bee"));
}

QTEST_MAIN(TestFileCommands)
#include "tst_filecommands.moc"
