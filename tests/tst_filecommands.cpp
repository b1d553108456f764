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
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <csignal>
#include <memory>
#include <sys/resource.h>

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
    void includes_data();
    void includes();
    void load_data();
    void load();
    void backIntoABigFile();

private:
    RichTextBox *rtf() const { return frmMain().rtfMain(); }
    Document *doc() const { return TestUtil::shownDocument(); }
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
    // A modal window nobody has an answer for is closed, so that a faulty command fails, not
    // hangs; one whose answer still runs (a file dialog waiting on its "replace?") is left be.
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
    QVERIFY(TestUtil::showEditor());
}

void TestFileCommands::cleanup()
{
    frmHowToUse().unload();
    TestUtil::closeEditor();
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
        rtf()->moveCursor(QTextCursor::End);
        if (verb == "type") { // key by key: keyClicks() knows only ASCII; U+2028 is Shift+Enter
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
            QApplication::clipboard()->setText(QChar(0xDC00 + rest.toInt(nullptr, 16)));
            rtf()->paste();
        } else if (verb == "look") {
            m_seen << includeMarks();
        } else {
            m_answers = rest.split(u' ', Qt::SkipEmptyParts);
            const bool hasArg
                = verb == "cmdline" || verb == "menu" || verb == "ctrlclick" || verb == "click";
            const QString arg = hasArg ? m_answers.takeFirst() : QString();
            const int line = verb == "menu" ? m_answers.takeFirst().toInt() : arg.toInt();
            armNext();
            if (verb == "ctrlclick" || verb == "click") { // then notes the caret's line
                QTest::mouseClick(rtf()->viewport(), Qt::LeftButton,
                                  verb == "click" ? Qt::NoModifier : Qt::ControlModifier,
                                  onInclude(line));
                m_seen << QStringLiteral("line %1").arg(rtf()->textCursor().blockNumber());
            } else if (verb == "menu") {
                contextMenu(arg, line);
            } else if (verb == "back") {
                QTest::keyClick(rtf(), Qt::Key_Left, Qt::AltModifier);
            } else if (verb == "cmdline") { // as a shell passes it: relative to the current folder
                frmMain().win()->openDocument(arg);
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
            } else { // new, open, save, saveas, exit, howtouse: the menus' items
                const QRegularExpression item('^' + ("mnu" + verb) + '$',
                                              QRegularExpression::CaseInsensitiveOption);
                frmMain().win()->findChildren<QAction *>(item).first()->trigger();
            }
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
            m_seen << QStringList{modal->windowTitle(),
                                  QMetaEnum::fromType<QMessageBox::Icon>().valueToKey(box->icon()),
                                  buttonNames.valueToKeys(box->standardButtons())
                                      .replace("|FirstButton", ""),
                                  box->text()}
                          .join(u'|');
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
        // The full path typed and Enter, the selection cleared as a click into the name field
        // does (or the file selected at first wins).
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
        QTest::newRow(name) << QString::fromUtf8(script) << QByteArray(a) << QByteArray(b)
                            << QString::fromUtf8(text) << QString::fromUtf8(caption);
    };
    const char *A = "DIR/a.vyx";
    const char *B = "b.vyx";
    const char *U = "VYX Editor 1.0";
    // clang-format off
    row("save as, save", "type one|saveas a.vyx|type \ntwo|save", "one\r\ntwo", "bee", "one\r\ntwo", A);
    row("FILE argument; open: cancel; save", "cmdline b.vyx|open -|type !|save", nullptr, "bee!", "bee!", B);
    row("stale: save as A, new, save", "type one|saveas a.vyx|new|type two|save -", "one", "bee", "two", A);
    row("stale: save as A, reloaded, save", "type one|saveas a.vyx|reload|type two|save -", "one", "bee", "two", U);
    row("untitled, new: yes, cancel stops; yes saves as", "type draft|new Yes -|new Yes a.vyx", "draft", "bee", "", A);
    row("missing folder: asked again", "open b.vyx|type !|saveas missing/a.vyx Ok -", nullptr, "bee", "bee!", B);
    // Written with bytes above ASCII, a new document is Windows-1252 from then on.
    row("new after BOM: windows-1252", "open c.vyx|new|type \u00E9 \u2014|saveas a.vyx|type \u0436|save No", "\xE9 \x97", "bee", "\u00E9 \u2014\u0436", A);
    row("new: utf-8 when needed", "type \u00E9\u0436|saveas a.vyx", "\xC3\xA9\xD0\xB6", "bee", "\u00E9\u0436", A);
    row("changed on disk, unmodified: reloaded", "open b.vyx|disk b.vyx other|activate Yes", nullptr, "other", "other", B);
    row("changed on disk, modified: told once; Return writes nothing", "open b.vyx|type !|disk b.vyx other|activate Ok|activate|save Return|save Yes", nullptr, "bee!", "bee!", B);
    row("removed on disk: told; no writes nothing", "open b.vyx|type !|gone b.vyx|activate Ok|activate|save No", nullptr, "", "bee!", B);
    row("removed on disk: yes creates it", "open b.vyx|type !|gone b.vyx|save Yes", nullptr, "bee!", "bee!", B);
    row("own saves: never asked", "open b.vyx|type !|save|type ?|save|saveas b.vyx Yes|save", nullptr, "bee!?", "bee!?", "DIR/b.vyx");
    row("caption: Qt's placeholder", "disk s[*]2.vyx x|cmdline s[*]2.vyx", nullptr, "bee", "x", "s[*]2.vyx");
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
    if (!script.contains("gone")) // a save replaces the file but keeps its mode
        QCOMPARE(QFile::permissions(path("b.vyx")) & ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
}

// Every answer for Open; for the other commands, the one that stops them and one that goes on.
void TestFileCommands::saveChanges_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("answer"); // "-": the document is unmodified and nothing is asked
    for (const QString row :
         {"open Yes", "open No", "open Cancel", "open -", "new No", "new Cancel", "exit Yes",
          "exit Cancel", "close No", "close Cancel", "howtouse Yes", "howtouse Cancel"})
        QTest::newRow(qPrintable(row)) << row.section(u' ', 0, 0) << row.section(u' ', 1);
}

void TestFileCommands::saveChanges()
{
    QFETCH(QString, command);
    QFETCH(QString, answer);
    const bool asked = answer != "-", goesOn = answer != "Cancel";
    QCOMPARE(run("open b.vyx|type +"), QString());
    if (!asked)
        rtf()->undo(); // typed and undone: the text is as loaded
    QCOMPARE(
        run(command + u' ' + answer.remove(u'-') + (command == "open" && goesOn ? " c.vyx" : "")),
        QString());
    QCOMPARE(m_seen.value(0) == askSave, asked);
    QCOMPARE(bytes("b.vyx"), QByteArray(answer == "Yes" ? "bee+" : "bee"));
    // Exit and closing the editor end the program; going to the help page unloads it too.
    QCOMPARE(frmMain().isLoaded(), command == "new" || command == "open" || !goesOn);
    QCOMPARE(frmHowToUse().isLoaded(), command == "howtouse" && goesOn);
    if (!frmMain().isLoaded())
        return;
    QCOMPARE(rtf()->Text(), !goesOn ? "bee+" : command == "new" ? "" : "sea");
    QCOMPARE(frmMain().caption(), QString(goesOn && command == "open" ? "c.vyx" : "b.vyx"));
    QCOMPARE(rtf()->document()->isModified(), !goesOn);
}

void TestFileCommands::failures_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("target");
    // clang-format off
    QTest::newRow("save: disk full midway") << "save Ok" << "b.vyx";
    QTest::newRow("new: yes, save fails, stops") << "new Yes Ok" << "b.vyx";
    QTest::newRow("FILE argument: missing") << "cmdline missing.vyx Ok" << "missing.vyx";
    // clang-format on
}

// A failed command tells why and leaves the modified document, its file and paths as they were.
void TestFileCommands::failures()
{
    QFETCH(QString, script);
    QFETCH(QString, target);
    QCOMPARE(run("cmdline b.vyx|type !"), QString());
    frmMain().strLastsave = path("s.vyx");
    if (script.startsWith("new")) // a folder where the file was
        QVERIFY(QFile::remove(path(target)) && QDir().mkdir(path(target)));
    const QStringList files = QDir().entryList(QDir::Files);
    // The file-size limit makes a write fail part way through, as a full disk would.
    rlimit old{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small{2, old.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, script.startsWith("save") ? &small : &old), 0);
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

// Saving after Open: the questions the window asks before writing, and what it writes then.
// (Byte round trips without the window are the codec's and the document's tests.)
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
    const QByteArray u16("\xFF\xFEz\0", 4);
    // clang-format off
    row("line ends, shift+enter too: CR LF", "a\nb\r\nc\rd", "a\nb\nc\nd", "type \u2028e|save", "a\r\nb\r\nc\r\nd\r\ne");
    row("windows-1252, edited", "caf\xE9 \x97\r\n", "caf\u00E9 \u2014\n", "type \u00E8|save", "caf\xE9 \x97\r\n\xE8");
    row("windows-1252 gets cyrillic: no, kept; yes, utf-8", "caf\xE9 \xA0\x80", nullptr, "type \u0436|save No|save Yes", "caf\xC3\xA9 \xC2\xA0\xE2\x82\xAC\xD0\xB6");
    row("utf-8 with a stray byte, edited", "caf\xC3\xA9 \xE2\x86\x92\nbad \xFF", QStringLiteral("caf\u00E9 \u2192\nbad ") + QChar(0xDCFF), "type \u2192|save", "caf\xC3\xA9 \xE2\x86\x92\r\nbad \xFF\xE2\x86\x92");
    row("utf-16le, a kept byte pasted: no writes nothing", u16, nullptr, "pastekept E9|type y|save No", u16);
    row("utf-16le, a kept byte pasted: yes writes U+FFFD", u16, nullptr, "pastekept E9|type y|save Yes", u16 + QByteArray("\xFD\xFFy\0", 4));
    row("rtf source: cancel; no saves as, source kept", rtf, "bold text", "save Cancel|save No a.vyx|save", rtf);
    row("rtf source: yes, plain text", rtf, "bold text", "save Yes|save", "bold text");
    // clang-format on
}

void TestFileCommands::roundTrip()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(QString, script);
    QVERIFY(TestUtil::writeBytes(path("e.vyx"), bytes));
    QCOMPARE(run("open e.vyx"), QString());
    if (!text.isNull())
        QCOMPARE(rtf()->document()->toRawText().replace(QChar::ParagraphSeparator, u'\n'), text);
    QCOMPARE(run(script), QString());
    QTEST(this->bytes("e.vyx"), "saved");
    if (script.contains(" a.vyx"))
        QCOMPARE(this->bytes("a.vyx"), QByteArray("bold text"));
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
    QTest::addColumn<QString>("script"); // after main.vyx is opened
    QTest::addColumn<QStringList>("seen"); // message boxes, context-menu items, include marks
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("text"); // M: main.vyx's
    const QString on = "Open Included File|on", off = "Open Included File|off";
    const QString open = "Open|VYX files (.vyx)|*.vyx|", saveAs = "Save As|VYX files (.vyx)|*.vyx|";
    const QString folder
        = appTitle + "|Warning|Ok|Cannot open \"DIR/dir.vyx\": It is a folder, not a file.";
    const auto row = [](const char *name, const char *script, const QStringList &seen,
                        const char *caption, const char *text) {
        QTest::newRow(name) << QString::fromUtf8(script) << seen << caption << text;
    };
    // clang-format off
    row("right click, subfolder", "menu click 1", {on}, "d.vyx", "#include \"..\\c.vyx\"");
    row("menu key", "menu key 0", {on}, "b.vyx", "bee");
    row("shift+f10", "menu f10 0", {on}, "b.vyx", "bee");
    row("plain click: the caret moves, not followed", "click 1", {"line 1"}, "main.vyx", "M");
    row("down two, back two", "ctrlclick 1|ctrlclick 0|back|back", {"line 0", "line 0"}, "main.vyx", "M");
    row("modified: cancel stays", "type x|ctrlclick 0 Cancel", {askSave, "line 4"}, "main.vyx", "Mx");
    row("modified: no goes on", "type x|menu key 0 No", {on, askSave}, "b.vyx", "bee");
    row("back: cancel stays", "ctrlclick 0|type !|back Cancel", {"line 0", askSave}, "b.vyx", "bee!");
    row("back: not after another open", "ctrlclick 0|cmdline c.vyx|back", {"line 0"}, "c.vyx", "sea");
    row("back: not from a new document", "ctrlclick 0|new|back", {"line 0"}, "b.vyx", "");
    row("missing: marked, disabled; created, found on activation", "look|menu click 2|ctrlclick 2|disk gone.vyx new|look|activate|look|ctrlclick 2", {"llml", "\"gone.vyx\" not found|off", "line 4", "llml", "llll", "line 0"}, "gone.vyx", "new");
    row("not an include line", "menu click 3", {off}, "main.vyx", "M");
    row("no file: disabled", "new|type #include \"b.vyx\"|menu key 0|ctrlclick 0|look", {off, "line 0", "l"}, "main.vyx", "#include \"b.vyx\"");
    row("unreadable: reported as Open", "ctrlclick 4 Ok", {folder, "line 4"}, "main.vyx", "M");
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
    QFETCH(QString, text);
    QVERIFY(QDir().mkpath("sub") && QDir().mkpath("dir.vyx"));
    QVERIFY(TestUtil::writeBytes(path("sub/d.vyx"), "#include \"..\\c.vyx\""));
    QVERIFY(TestUtil::writeBytes(path("main.vyx"), mainText.toUtf8()));
    QCOMPARE(run("cmdline main.vyx|" + script), QString());
    QCOMPARE(m_seen, seen.replaceInStrings("DIR/", m_dir->path() + u'/'));
    QTEST(frmMain().caption(), "caption");
    QCOMPARE(rtf()->Text(), text.startsWith(u'M') ? mainText + text.mid(1) : text);
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

void TestFileCommands::load_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("steps"); // in the background before the action; -1: no action
    QTest::addColumn<QString>("action");
    const QString u16 = QString::fromLatin1(filler(piece / 2 - 1)) + QStringLiteral("\U0001F600")
        + QString::fromLatin1(filler(piece / 2 - 2)) + "\r\n"
        + QString::fromLatin1(filler(piece / 2));
    const QByteArray big = filler(6 * piece);
    // Files of a few pieces, with what would break at a piece's edge there.
    // clang-format off
    QTest::newRow("CR LF across pieces") << filler(piece - 1) + "\r\n" + filler(piece) + "\r\nz" << -1 << "";
    QTest::newRow("utf-8 across pieces") << filler(piece - 1) + "\xE2\x82\xAC" + filler(piece - 2) + "\xF0\x9F\x98\x80" + filler(piece) << -1 << "";
    QTest::newRow("utf-16 surrogates and CR LF across pieces") << "\xFF\xFE" + QByteArray(reinterpret_cast<const char *>(u16.utf16()), u16.size() * 2) << -1 << "";
    QTest::newRow("windows-1252") << filler(piece) + "caf\xE9\r\n" + filler(2 * piece) << -1 << "";
    QTest::newRow("rich text") << "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;}" + QByteArray("{\\b bold}\\cf1 red \\u8364?\\par\\qc centred\\par\\ql ").repeated(8000) + "}" << -1 << "";
    QTest::newRow("escape at once") << big << 0 << "escape";
    QTest::newRow("cancel button") << big << 2 << "button";
    QTest::newRow("keys and commands: nothing edited or saved") << big << 1 << "keys";
    QTest::newRow("exit cancelled: the load goes on") << big << 1 << "exit Cancel";
    QTest::newRow("close box: no") << big << 2 << "close No";
    // clang-format on
}

// A load piece by piece ends as one in a single step would; interrupted, it leaves the earlier
// document as it was: the text, its undo history, its modified state, the caret, name and paths.
void TestFileCommands::load()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, steps);
    QFETCH(QString, action);
    QVERIFY(TestUtil::writeBytes(path("big.vyx"), bytes));
    QCOMPARE(run("open b.vyx|type !"), QString());
    const QStringList files = QDir().entryList(QDir::Files);
    doc()->setLoadStepMs(0);
    QSignalSpy progress(doc(), &Document::loadProgress);
    QSignalSpy ended(doc(), &Document::loadEnded);
    QCOMPARE(run("open No big.vyx"), QString());
    FrmMainWindow *w = frmMain().win();
    if (steps >= 0) {
        w->activateWindow(); // back from the question, as the window manager would make it
        QVERIFY(QTest::qWaitForWindowActive(w));
        while (progress.count() <= steps)
            QCoreApplication::processEvents();
        QVERIFY(doc()->isLoading());
        QVERIFY(!TestUtil::menuItem("mnuSave")->isEnabled()
                && !TestUtil::menuItem("mnuNew")->isEnabled()
                && !TestUtil::menuItem("mnuHash")->isEnabled());
    }
    if (action == "escape") {
        QTest::keyClick(rtf(), Qt::Key_Escape);
    } else if (action == "button") {
        TestUtil::part<QFrame>(w, "fraLoading")->show();
        QTest::mouseClick(TestUtil::part<QPushButton>(w, "cmdCancelLoad"), Qt::LeftButton);
    } else if (action == "keys") { // all wait for the load
        QApplication::clipboard()->setText(QStringLiteral("clip"));
        QTest::keyClicks(rtf(), "xy");
        for (const QKeySequence &key : QKeySequence::listFromString(
                 "Return; Del; Ctrl+X; Ctrl+V; Ctrl+S; Ctrl+N; Ctrl+O; Ctrl+Z"))
            QTest::keySequence(rtf(), key);
    } else if (!action.isEmpty()) {
        QCOMPARE(run(action), QString());
        QCOMPARE(m_seen, QStringList{askSave});
    }
    QCOMPARE(QDir().entryList(QDir::Files), files);
    QCOMPARE(this->bytes("b.vyx"), QByteArray("bee"));
    // No closes the editor; Cancel lets the load the user asked for go on.
    QCOMPARE(frmMain().isLoaded(), action != "close No");
    if (!frmMain().isLoaded())
        return;
    QTRY_VERIFY(!doc()->isLoading());
    const bool completed = steps < 0 || action == "keys" || action == "exit Cancel";
    QCOMPARE(ended.count(), 1);
    QCOMPARE(ended.first().first().toBool(), completed);
    QVERIFY(!rtf()->isReadOnly() && !TestUtil::part<QFrame>(w, "fraLoading")->isVisible());
    QVERIFY(TestUtil::menuItem("mnuSave")->isEnabled() && TestUtil::menuItem("mnuCut")->isEnabled()
            && TestUtil::menuItem("mnuHash")->isEnabled());
    QCOMPARE(rtf()->document()->isModified(), !completed);
    QCOMPARE(TestUtil::menuItem("mnuUndo")->isEnabled(), !completed);
    if (!completed) {
        QCOMPARE((QStringList{rtf()->Text(), frmMain().caption(), frmMain().strLastopen,
                              doc()->filePath()}),
                 (QStringList{"bee!", "b.vyx", path("b.vyx"), path("b.vyx")}));
        QCOMPARE(rtf()->textCursor().position(), 4);
        rtf()->undo();
        QCOMPARE(rtf()->Text(), QStringLiteral("bee"));
        return;
    }
    QCOMPARE(frmMain().caption(), QStringLiteral("big.vyx"));
    QCOMPARE(rtf()->document()->availableUndoSteps(), 0);
    if (looksLikeRtf(bytes)) {
        QTextDocument oneStep;
        oneStep.setDefaultFont(rtf()->document()->defaultFont());
        QTextCursor cursor(&oneStep);
        insertRtf(cursor, readRtf(bytes));
        QCOMPARE(rtf()->document()->toHtml(), oneStep.toHtml());
        return;
    }
    const DecodedText oneStep = decodeText(bytes);
    QString text = oneStep.text;
    QCOMPARE(rtf()->Text(), text.replace("\r\n", "\n").replace(u'\r', u'\n').replace("\n", "\r\n"));
    QCOMPARE(doc()->encoding().kind, oneStep.encoding);
}

// Back into a file too big to load at once lands on the include's line once the file is in;
// links wait while it loads.
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

QTEST_MAIN(TestFileCommands)
#include "tst_filecommands.moc"
