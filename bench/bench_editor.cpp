// The editor's benchmark: times what a user waits for on big documents, on
// the real editor window, and the start-up of the real program under Xvfb.
// Each figure is the median of several runs; the table shows min and max.
// After each time, NAME_faults gives the minor page faults the whole process
// took meanwhile: the same on every machine, while what a fault costs varies
// a hundredfold between hosts (page_fault_cost_us at the top).

#include "definitionview.h"
#include "document.h"
#include "frmcompare.h"
#include "frmmain.h"
#include "helpmenu.h"
#include "inputs.h"
#include "memory.h"
#include "outlinemodel.h"
#include "recoveryjournal.h"
#include "richtextbox.h"
#include "searchwindows.h"
#include "textcodec.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

struct Figure
{
    QByteArray name;
    QByteArray unit;
    std::vector<double> runs;
    double median() const
    {
        std::vector<double> v = runs;
        std::sort(v.begin(), v.end());
        return v.empty()
            ? 0
            : (v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2);
    }
};

std::vector<Figure> g_figures;
// What the machine is like, printed above the figures.
std::vector<QByteArray> g_machine;
int g_runs = 5;

// Counts are printed whole, times and sizes to a tenth.
QByteArray shown(double value, const QByteArray &unit)
{
    return QByteArray::number(value, 'f', unit == "faults" ? 0 : 1);
}

void record(const QByteArray &name, const QByteArray &unit, const std::vector<double> &runs)
{
    g_figures.push_back({name, unit, runs});
    const Figure &f = g_figures.back();
    std::fprintf(stderr, "  %-32s %10s %s\n", f.name.constData(),
                 shown(f.median(), unit).constData(), f.unit.constData());
}

// The minor page faults of the whole process so far: each first touch of a
// page the process had not used, which is most of what a cold heap costs.
long minorFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

double elapsedMs(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

// The time and the page faults of one measure.
class Span
{
public:
    Span() { restart(); }
    void restart()
    {
        m_faults = minorFaults();
        m_clock.start();
    }
    double ms() const { return m_clock.nsecsElapsed() / 1e6; }
    double faults() const { return double(minorFaults() - m_faults); }

private:
    QElapsedTimer m_clock;
    long m_faults = 0;
};

// Records a time figure NAME_ms and right after it NAME_faults.
void recordTimed(const QByteArray &name, const std::vector<double> &ms,
                 const std::vector<double> &faults)
{
    record(name, "ms", ms);
    QByteArray faultsName = name;
    if (faultsName.endsWith("_ms"))
        faultsName.chop(3);
    record(faultsName + "_faults", "faults", faults);
}

// Runs `prepare` untimed and `measure` timed, g_runs times.
void timeIt(const QByteArray &name, const std::function<void()> &prepare,
            const std::function<void()> &measure)
{
    std::vector<double> runs, faults;
    for (int i = 0; i < g_runs; ++i) {
        if (prepare)
            prepare();
        const Span span;
        measure();
        runs.push_back(span.ms());
        faults.push_back(span.faults());
    }
    recordTimed(name, runs, faults);
}

void noteMachine(const QByteArray &line)
{
    g_machine.push_back(line);
    std::fprintf(stderr, "  %s\n", line.constData());
}

// What the first touch of a fresh 4 KiB page costs here, from touching
// 100 MB of them (huge pages refused), against writing them again once
// mapped; and the kernel's transparent-huge-page setting.
void measureMachine()
{
    constexpr size_t bytes = 100 * 1024 * 1024;
    const long pageSize = sysconf(_SC_PAGESIZE);
    void *mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped != MAP_FAILED) {
        madvise(mapped, bytes, MADV_NOHUGEPAGE);
        auto *p = static_cast<volatile char *>(mapped);
        const Span first;
        for (size_t at = 0; at < bytes; at += size_t(pageSize))
            p[at] = 1;
        const double firstUs = first.ms() * 1000;
        const double faults = qMax(1.0, first.faults());
        const Span again;
        for (size_t at = 0; at < bytes; at += size_t(pageSize))
            p[at] = 2;
        const double againUs = again.ms() * 1000;
        munmap(mapped, bytes);
        noteMachine("page_fault_cost_us " + QByteArray::number(firstUs / faults, 'f', 2) + " us");
        noteMachine("page_rewrite_cost_us "
                    + QByteArray::number(againUs / (double(bytes) / double(pageSize)), 'f', 3)
                    + " us");
    }
    QFile thp(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled"));
    QByteArray setting = "unknown";
    if (thp.open(QIODevice::ReadOnly)) {
        const QByteArray all = thp.readAll();
        const qsizetype open = all.indexOf('['), close = all.indexOf(']');
        if (open >= 0 && close > open)
            setting = all.mid(open + 1, close - open - 1);
    }
    noteMachine("transparent_hugepage " + setting + " setting");
}

// Paints the control now, as the user would see it.
void paintNow(QPlainTextEdit *edit)
{
    edit->viewport()->repaint();
    QCoreApplication::processEvents();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

RichTextBox *editor()
{
    return frmMain().rtfMain();
}

// The editor window's parts, found by their object names as a test tool
// would find them.
Document *document()
{
    return frmMain().win()->findChild<Document *>("document");
}

QAction *menuItem(const char *name)
{
    return frmMain().win()->findChild<QAction *>(QLatin1String(name));
}

RecoveryJournal *journal()
{
    return frmMain().win()->findChild<RecoveryJournal *>("journal");
}

FrmSearchWindow *searchWindow(const char *name)
{
    return frmMain().win()->findChild<FrmSearchWindow *>(QLatin1String(name));
}

void freshEditor()
{
    if (frmMain().isLoaded()) {
        editor()->document()->setModified(false);
        frmMain().unload();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    frmMain().show();
    QCoreApplication::processEvents();
}

void loadPlain(const QTemporaryDir &dir, int mb)
{
    const QByteArray bytes = makeDefinitionText(qint64(mb) * 1024 * 1024);
    const QString path = dir.filePath(QStringLiteral("plain%1.vyx").arg(mb));
    writeFile(path, bytes);
    const QString text = decodeText(bytes).text;

    // The widget's own floor: a QPlainTextEdit with the editor's size, font
    // and wrapping, given the decoded text in place of its own.
    freshEditor();
    QPlainTextEdit bare;
    bare.resize(editor()->size());
    bare.setFont(editor()->font());
    bare.setLineWrapMode(editor()->lineWrapMode());
    bare.show();

    // Both sides start from the same heap: each replaces a document of the
    // same size, as opening one file after another does, after one untimed
    // run. (Taking turns would have two big documents of each side in the
    // heap at once, which is not what a user's heap looks like.)
    const auto load = [&] {
        document()->load(path);
        paintNow(editor());
    };
    const auto setText = [&] {
        bare.setPlainText(text);
        paintNow(&bare);
    };
    const QByteArray size = QByteArray::number(mb) + "mb";
    load();
    timeIt("load_plain_" + size + "_ms", nullptr, load);
    freshEditor();
    setText();
    timeIt("baseline_setplaintext_" + size + "_ms", nullptr, setText);
}

// A child process that loads one file and reports its resident memory, the
// peak while saving it, what is left once New has dropped it, and once the
// editor has been idle long enough to hand that memory back, so that the
// figures are not inflated by earlier runs of this process.
int rssProbe(const QString &path, const QString &out)
{
    installHelpMenu();
    frmMain().show();
    QCoreApplication::processEvents();
    document()->load(path);
    paintNow(editor());
    std::printf("%.1f\n", residentMemoryKb() / 1024.0);
    // Writing 5 there starts the peak afresh (Linux).
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
    clear.close();
    document()->save(out);
    std::printf("%.1f\n", peakResidentMemoryKb() / 1024.0);
    // File > New drops the document.
    menuItem("mnuNew")->trigger();
    paintNow(editor());
    std::printf("%.1f\n", residentMemoryKb() / 1024.0);
    // Its memory is kept for a next document until the editor is idle.
    QTest::qWait(idleTrimDelayMs + 500);
    std::printf("%.1f\n", residentMemoryKb() / 1024.0);
    return 0;
}

void measureRss(const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("plain10.vyx"));
    std::vector<double> after, save, closed, idle;
    for (int i = 0; i < g_runs; ++i) {
        QProcess p;
        p.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--rss-probe"), path, dir.filePath(QStringLiteral("probe.vyx"))});
        p.waitForFinished(60000);
        const QList<QByteArray> lines = p.readAllStandardOutput().trimmed().split('\n');
        after.push_back(lines.value(0).toDouble());
        save.push_back(lines.value(1).toDouble());
        closed.push_back(lines.value(2).toDouble());
        idle.push_back(lines.value(3).toDouble());
    }
    record("rss_after_10mb_mb", "MB", after);
    record("rss_peak_save_10mb_mb", "MB", save);
    record("rss_after_new_10mb_mb", "MB", closed);
    record("rss_idle_after_new_10mb_mb", "MB", idle);
}

// Opens a file as the user does and waits while it loads in the background:
// the time until its first screen is painted, until it is all in and
// painted, and the longest the window went without painting meanwhile.
class PaintClock : public QObject
{
public:
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longestGap = 0;
    long lastFaults = 0;
    long longestGapFaults = 0;
    void restartGaps()
    {
        last = clock.nsecsElapsed();
        lastFaults = minorFaults();
        longestGap = 0;
        longestGapFaults = 0;
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            const qint64 now = clock.nsecsElapsed();
            const long faults = minorFaults();
            if (now - last > longestGap) {
                longestGap = now - last;
                longestGapFaults = faults - lastFaults;
            }
            last = now;
            lastFaults = faults;
        }
        return false;
    }
};

void backgroundLoad(const QTemporaryDir &dir, int mb)
{
    const QString path = dir.filePath(QStringLiteral("plain%1.vyx").arg(mb));
    std::vector<double> first, full, gap, firstFaults, fullFaults, gapFaults;
    for (int i = 0; i < g_runs; ++i) {
        freshEditor();
        PaintClock paints;
        editor()->viewport()->installEventFilter(&paints);
        const Span span;
        paints.clock.start();
        frmMain().win()->openDocument(path);
        paintNow(editor());
        first.push_back(paints.clock.nsecsElapsed() / 1e6);
        firstFaults.push_back(span.faults());
        // The wait for the first screen is the figure above, not a gap.
        paints.restartGaps();
        while (document()->isLoading())
            QCoreApplication::processEvents();
        paintNow(editor());
        full.push_back(paints.clock.nsecsElapsed() / 1e6);
        fullFaults.push_back(span.faults());
        gap.push_back(paints.longestGap / 1e6);
        gapFaults.push_back(double(paints.longestGapFaults));
        editor()->viewport()->removeEventFilter(&paints);
    }
    const QByteArray size = QByteArray::number(mb) + "mb";
    recordTimed("first_screen_" + size + "_ms", first, firstFaults);
    recordTimed("fully_loaded_" + size + "_ms", full, fullFaults);
    recordTimed("longest_paint_gap_" + size + "_ms", gap, gapFaults);
}

void editsOnBigDocuments(const QTemporaryDir &dir)
{
    const QString path50 = dir.filePath(QStringLiteral("plain50.vyx"));
    const QString path10 = dir.filePath(QStringLiteral("plain10.vyx"));
    const QByteArray bytes10 = makeDefinitionText(10 * 1024 * 1024);

    timeIt("read_decode_10mb_ms", nullptr, [&] {
        QFile f(path10);
        f.open(QIODevice::ReadOnly);
        const DecodedText d = decodeText(f.readAll());
        Q_UNUSED(d);
    });

    freshEditor();
    document()->load(path50);
    paintNow(editor());

    timeIt(
        "ctrl_end_50mb_ms",
        [&] {
            editor()->moveCursor(QTextCursor::Start);
            paintNow(editor());
        },
        [&] {
            QTest::keyClick(editor(), Qt::Key_End, Qt::ControlModifier);
            paintNow(editor());
        });
    timeIt("type_key_at_end_50mb_ms", nullptr, [&] {
        QTest::keyClick(editor(), Qt::Key_X);
        paintNow(editor());
    });
    timeIt("insert_50mb_ms", nullptr, [&] {
        menuItem("mnuItemSeparator")->trigger();
        paintNow(editor());
    });

    freshEditor();
    document()->load(path10);
    paintNow(editor());
    timeIt("insert_10mb_ms", nullptr, [&] {
        menuItem("mnuInclude")->trigger();
        paintNow(editor());
    });
    timeIt("copy_10mb_ms", nullptr, [&] { menuItem("mnuCopy")->trigger(); });
    timeIt("text_read_10mb_ms", nullptr, [&] {
        const QString t = editor()->Text();
        Q_UNUSED(t);
    });

    freshEditor();
    document()->load(path10);
    const QString out = dir.filePath(QStringLiteral("saved.vyx"));
    timeIt("save_10mb_ms", nullptr, [&] { document()->save(out); });
    const QByteArray saved = editor()->Text().toLatin1();
    const QByteArray outRaw = QFile::encodeName(dir.filePath(QStringLiteral("raw.vyx")));
    timeIt("baseline_write_fsync_10mb_ms", nullptr, [&] {
        const int fd = ::open(outRaw.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        qint64 done = 0;
        while (done < saved.size()) {
            const ssize_t n = ::write(fd, saved.constData() + done, size_t(saved.size() - done));
            if (n <= 0)
                break;
            done += n;
        }
        ::fsync(fd);
        ::close(fd);
    });
}

// The editor's 10 MB document against the same text with every 100th line
// changed: from the start to the summary shown (the panes fill after), and
// the longest a key typed into the editor waits at any time of a comparison.
void compareAtScale(const QTemporaryDir &dir)
{
    const QString path10 = dir.filePath(QStringLiteral("plain10.vyx"));
    QList<QByteArray> lines = makeDefinitionText(10 * 1024 * 1024).split('\n');
    for (qsizetype i = 0; i < lines.size(); i += 100)
        lines[i].prepend("changed ");
    const QString changed = dir.filePath(QStringLiteral("changed10.vyx"));
    writeFile(changed, lines.join('\n'));

    freshEditor();
    document()->load(path10);
    paintNow(editor());
    FrmMainWindow *w = frmMain().win();
    QPointer<FrmCompare> compare;
    const auto newCompare = [&] {
        if (compare) {
            compare->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        compare = new FrmCompare(w, document(), editor()->font());
        compare->show();
        QCoreApplication::processEvents();
    };
    long faults = 0;
    timeIt("compare_10mb_1pct_ms", newCompare, [&] {
        rusage before;
        getrusage(RUSAGE_SELF, &before);
        compare->compare(changed, QStringLiteral("changed10.vyx"));
        while (!compare->comparison())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        compare->lblSummary->repaint();
        rusage after;
        getrusage(RUSAGE_SELF, &after);
        faults = after.ru_minflt - before.ru_minflt;
    });
    std::fprintf(stderr, "    %s, %ld minor page faults\n", qPrintable(compare->lblSummary->text()),
                 faults);
    record("compare_10mb_1pct_faults", "faults", {double(faults)});

    // A key typed while the comparison runs, and one while the panes fill;
    // the slower of the two, as a key at any time of it would wait.
    std::vector<double> worst;
    const auto typeKey = [&] {
        QElapsedTimer t;
        t.start();
        QCoreApplication::processEvents();
        QTest::keyClick(editor(), Qt::Key_X);
        paintNow(editor());
        return elapsedMs(t);
    };
    // The same without a comparison, for scale.
    std::vector<double> alone;
    compare->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (int i = 0; i < g_runs; ++i)
        alone.push_back(typeKey());
    record("type_key_10mb_no_compare_ms", "ms", alone);
    for (int i = 0; i < g_runs; ++i) {
        newCompare();
        compare->compare(changed, QStringLiteral("changed10.vyx"));
        const double running = typeKey();
        while (!compare->comparison())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        while (compare->txtLeft->blockCount() < compare->comparison()->rows.size() / 2)
            QCoreApplication::processEvents();
        const double filling = typeKey();
        std::fprintf(stderr, "    a key while comparing %.1f ms, while filling %.1f ms\n", running,
                     filling);
        worst.push_back(qMax(running, filling));
    }
    record("type_key_during_compare_ms", "ms", worst);
    delete compare;
    editor()->document()->setModified(false);
}

double threadCpuMs()
{
    timespec now = {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// The recovery journal of a big document. A key typed while the whole text
// is being written waits at most for one slice of it to be copied (measured
// here: that slice, the key, the paint). Once the journal holds the text,
// the write after a key costs a record of that key: its page faults count
// the program's own work, whatever the host's cost of a fault.
void journalOnBigDocuments(const QTemporaryDir &dir)
{
    for (int mb : {10, 50}) {
        freshEditor();
        document()->load(dir.filePath(QStringLiteral("plain%1.vyx").arg(mb)));
        paintNow(editor());
        QTest::keyClick(editor(), Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(editor(), Qt::Key_X);
        const QByteArray size = QByteArray::number(mb) + "mb";
        // Beside the time, the GUI thread's own processor time: on a busy
        // host the time also counts the turns the thread waited for a core.
        std::vector<double> times;
        std::vector<double> cpu;
        for (int i = 0; i < g_runs; ++i) {
            journal()->flush();
            journal()->rewrite();
            journal()->writeNow();
            const double cpu0 = threadCpuMs();
            QElapsedTimer t;
            t.start();
            QCoreApplication::processEvents(); // a slice copied
            QTest::keyClick(editor(), Qt::Key_X);
            paintNow(editor());
            times.push_back(elapsedMs(t));
            cpu.push_back(threadCpuMs() - cpu0);
        }
        record("type_key_while_journal_" + size + "_ms", "ms", times);
        record("type_key_while_journal_" + size + "_cpu_ms", "ms", cpu);
        journal()->flush();
        if (mb != 10)
            continue;
        std::vector<double> faults;
        times.clear();
        for (int i = 0; i < g_runs; ++i) {
            QTest::keyClick(editor(), Qt::Key_X);
            const long before = minorFaults();
            QElapsedTimer t;
            t.start();
            journal()->writeNow();
            journal()->flush();
            times.push_back(elapsedMs(t));
            faults.push_back(double(minorFaults() - before));
        }
        record("journal_write_10mb_faults", "faults", faults);
        record("journal_write_10mb_ms", "ms", times);
    }
    // How long the whole text of 50 MB takes to reach the disk, a slice per
    // turn of the event loop, while nothing else happens.
    std::vector<double> copies;
    for (int i = 0; i < 3; ++i) {
        journal()->rewrite();
        QElapsedTimer t;
        t.start();
        journal()->writeNow();
        while (journal()->isCopying())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        journal()->flush();
        copies.push_back(elapsedMs(t));
    }
    record("journal_whole_text_50mb_ms", "ms", copies);
}

// Find Next for a word that occurs only at the very end of 50 MB, and Replace
// All of 100,000 occurrences in 10 MB, through the real windows.
void searchOnBigDocuments(const QTemporaryDir &dir)
{
    const QString path50 = dir.filePath(QStringLiteral("search50.vyx"));
    writeFile(path50, makeDefinitionText(50 * 1024 * 1024) + "Zebulon");
    freshEditor();
    document()->load(path50);
    paintNow(editor());
    menuItem("mnuFind")->trigger();
    searchWindow("frmFind")->txtFind->setText(QStringLiteral("zebulon"));
    timeIt(
        "find_at_end_50mb_ms",
        [&] {
            editor()->moveCursor(QTextCursor::Start);
            paintNow(editor());
        },
        [&] {
            QTest::mouseClick(searchWindow("frmFind")->cmdFindNext, Qt::LeftButton);
            paintNow(editor());
        });
    if (editor()->textCursor().selectedText() != QLatin1String("Zebulon"))
        std::fprintf(stderr, "  (find: the word at the end was not selected)\n");

    // The first 100,000 lines of 10 MB start with a word found nowhere else.
    QList<QByteArray> lines = makeDefinitionText(10 * 1024 * 1024).split('\n');
    for (int i = 0; i < 100000 && i < lines.size(); ++i)
        lines[i].prepend("Mark ");
    const QString path = dir.filePath(QStringLiteral("marked10.vyx"));
    writeFile(path, lines.join('\n'));
    timeIt(
        "replace_all_100k_10mb_ms",
        [&] {
            freshEditor();
            document()->load(path);
            paintNow(editor());
            menuItem("mnuReplace")->trigger();
            FrmSearchWindow *r = searchWindow("frmReplace");
            r->txtFind->setText(QStringLiteral("Mark"));
            r->txtReplace->setText(QStringLiteral("Tag"));
        },
        [&] {
            QTest::mouseClick(searchWindow("frmReplace")->cmdReplaceAll, Qt::LeftButton);
            paintNow(editor());
        });
    const QString status = searchWindow("frmReplace")->lblStatus->text();
    editor()->undo();
    std::fprintf(stderr, "  (replace all: \"%s\"; one undo restores the file: %s)\n",
                 qPrintable(status),
                 editor()->Text().toLatin1() == lines.join('\n') ? "yes" : "NO");
}

// Opens the file and the Replace window, set to replace every comma by a semicolon.
void openReplaceAll(const QString &path)
{
    freshEditor();
    document()->load(path);
    paintNow(editor());
    menuItem("mnuReplace")->trigger();
    FrmSearchWindow *r = searchWindow("frmReplace");
    r->txtFind->setText(QStringLiteral(","));
    r->txtReplace->setText(QStringLiteral(";"));
}

void clickReplaceAll()
{
    QTest::mouseClick(searchWindow("frmReplace")->cmdReplaceAll, Qt::LeftButton);
    paintNow(editor());
}

// Replace All of every comma in 10 MB of value lists (about 5 million) by a
// semicolon through the real Replace window, the Undo that takes it back in
// one step, and the memory the replacement takes at its peak.
void replaceAllAtScale(const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("values10.vyx"));
    const QByteArray bytes = makeValueListText(10 * 1024 * 1024);
    writeFile(path, bytes);
    std::vector<double> replace, undo, replaceFaults, undoFaults;
    QString status;
    bool restored = true;
    for (int i = 0; i < g_runs; ++i) {
        openReplaceAll(path);
        Span span;
        clickReplaceAll();
        replace.push_back(span.ms());
        replaceFaults.push_back(span.faults());
        status = searchWindow("frmReplace")->lblStatus->text();
        span.restart();
        menuItem("mnuUndo")->trigger();
        paintNow(editor());
        undo.push_back(span.ms());
        undoFaults.push_back(span.faults());
        restored = restored && editor()->Text().toLatin1() == bytes;
    }
    recordTimed("replace_all_5m_hits_10mb_ms", replace, replaceFaults);
    recordTimed("undo_replace_all_5m_hits_10mb_ms", undo, undoFaults);
    std::fprintf(stderr, "  (replace all: \"%s\"; one undo restores the file: %s)\n",
                 qPrintable(status), restored ? "yes" : "NO");

    std::vector<double> peak;
    for (int i = 0; i < g_runs; ++i) {
        QProcess p;
        p.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--rss-replace-probe"), path});
        p.waitForFinished(120000);
        peak.push_back(p.readAllStandardOutput().trimmed().toDouble());
    }
    record("rss_peak_replace_all_10mb_mb", "MB", peak);
}

// A child process that loads the value lists and reports its peak resident
// memory while Replace All replaces every comma.
int rssReplaceProbe(const QString &path)
{
    installHelpMenu();
    openReplaceAll(path);
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
    clear.close();
    clickReplaceAll();
    std::printf("%.1f\n", peakResidentMemoryKb() / 1024.0);
    editor()->document()->setModified(false);
    return 0;
}

// BENCH_ONLY=rss,replace_all runs only the parts named, e.g. while working
// on one of them; all of them run by default.
bool wanted(const char *part)
{
    const QByteArray only = qgetenv("BENCH_ONLY");
    return only.isEmpty() || only.split(',').contains(part);
}

// BENCH_MB=50 loads only the sizes named (in MB); all of them by default.
bool wantedSize(int mb)
{
    const QByteArray only = qgetenv("BENCH_MB");
    return only.isEmpty() || only.split(',').contains(QByteArray::number(mb));
}

// A key typed at the end of a line just under the length limit, for ASCII
// words and for CJK text, whose shaping is the slower.
void longLines(const QTemporaryDir &dir)
{
    for (const bool cjk : {false, true}) {
        const QString word
            = cjk ? QStringLiteral("\u6F22\u5B57\u4EEE\u540D") : QStringLiteral("Alpha 1200 ");
        QString line;
        while (line.size() < Document::maxLineLength)
            line += word;
        line.truncate(Document::maxLineLength - g_runs - 1);
        const QString path = dir.filePath(QStringLiteral("longline.vyx"));
        writeFile(path, line.toUtf8());
        freshEditor();
        document()->load(path);
        QTest::keyClick(editor(), Qt::Key_End, Qt::ControlModifier);
        paintNow(editor());
        timeIt(cjk ? "type_key_long_line_cjk_ms" : "type_key_long_line_ascii_ms", nullptr, [&] {
            QTest::keyClick(editor(), Qt::Key_X);
            paintNow(editor());
        });
    }
}

DefinitionView *definitionView()
{
    return frmMain().win()->findChild<DefinitionView *>();
}

// Opens a file as File > Open does and waits until all of it is in.
void openFully(const QString &path)
{
    frmMain().win()->openDocument(path);
    while (document()->isLoading())
        QCoreApplication::processEvents();
}

// The definition-file colours, on and off in the same run: opening a file as
// File > Open does, and paging up through the end of a big document, where
// each page shows lines not coloured before.
void definitionColours(const QTemporaryDir &dir)
{
    const QString path10 = dir.filePath(QStringLiteral("plain10.vyx"));
    const QString path50 = dir.filePath(QStringLiteral("plain50.vyx"));
    for (const bool on : {false, true}) {
        const QByteArray colours = on ? "_colours_on_ms" : "_colours_off_ms";
        timeIt(
            "open_definition_10mb" + colours,
            [on] {
                freshEditor();
                definitionView()->setColoursEnabled(on);
            },
            [&] {
                openFully(path10);
                paintNow(editor());
            });
    }
    freshEditor();
    openFully(path50);
    // As the editor starts: with line numbers and the status bar.
    FrmMainWindow *w = frmMain().win();
    if (!menuItem("mnuLineNumbers")->isChecked())
        menuItem("mnuLineNumbers")->trigger();
    if (!menuItem("mnuStatusBar")->isChecked())
        menuItem("mnuStatusBar")->trigger();
    paintNow(editor());
    for (const bool on : {false, true}) {
        definitionView()->setColoursEnabled(on);
        QTest::keyClick(editor(), Qt::Key_End, Qt::ControlModifier);
        paintNow(editor());
        timeIt("page_up_at_end_50mb" + QByteArray(on ? "_colours_on_ms" : "_colours_off_ms"),
               nullptr, [] {
                   QTest::keyClick(editor(), Qt::Key_PageUp);
                   paintNow(editor());
               });
    }
    // What the line numbers cost, the colours on.
    menuItem("mnuLineNumbers")->trigger();
    QTest::keyClick(editor(), Qt::Key_End, Qt::ControlModifier);
    paintNow(editor());
    timeIt("page_up_at_end_50mb_numbers_off_ms", nullptr, [] {
        QTest::keyClick(editor(), Qt::Key_PageUp);
        paintNow(editor());
    });
    menuItem("mnuLineNumbers")->trigger();
    // The status bar counts the characters of the selection; an edit makes
    // it count afresh.
    timeIt(
        "select_all_50mb_ms",
        [] {
            editor()->moveCursor(QTextCursor::End);
            QTest::keyClick(editor(), Qt::Key_X);
            QTest::keyClick(editor(), Qt::Key_Backspace);
            paintNow(editor());
        },
        [w] {
            menuItem("mnuSelectAll")->trigger();
            paintNow(editor());
        });
}

// Toggle Comment over all of 10 MB of definition lines (Select All, then
// the menu item) and the Undo that takes it back, with the minor page
// faults of the toggle: the work follows the number of lines.
void toggleCommentAtScale(const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("toggle10.vyx"));
    writeFile(path, makeDefinitionText(10 * 1024 * 1024));
    const auto minorFaults = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return double(usage.ru_minflt);
    };
    std::vector<double> toggle, undo, faults;
    for (int i = 0; i < g_runs; ++i) {
        freshEditor();
        openFully(path);
        menuItem("mnuSelectAll")->trigger();
        paintNow(editor());
        const double faultsBefore = minorFaults();
        QElapsedTimer t;
        t.start();
        menuItem("mnuToggleComment")->trigger();
        paintNow(editor());
        toggle.push_back(elapsedMs(t));
        faults.push_back(minorFaults() - faultsBefore);
        t.restart();
        menuItem("mnuUndo")->trigger();
        paintNow(editor());
        undo.push_back(elapsedMs(t));
    }
    record("toggle_comment_all_10mb_ms", "ms", toggle);
    record("toggle_comment_all_10mb_minflt", "faults", faults);
    record("undo_toggle_comment_all_10mb_ms", "ms", undo);
}

// The processor time this process has used: a figure a busy machine disturbs less.
double cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// The Outline on the 10 MB definition text: the load with the Outline shown
// and without it, from the end of the load to every item listed, the Outline
// shown on the loaded file, and a key typed at the end with the Outline shown.
void outlineAtScale(const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("plain10.vyx"));
    std::vector<double> bare, bareCpu, load, loadCpu, afterLoad, faults, shown, shownCpu, items;
    for (int i = 0; i < g_runs; ++i) {
        // The same load without the Outline, for comparison on the same machine.
        freshEditor();
        FrmMainWindow *w = frmMain().win();
        if (menuItem("mnuOutline")->isChecked())
            menuItem("mnuOutline")->trigger();
        QElapsedTimer bareClock;
        double cpuBefore = cpuMs();
        bareClock.start();
        openFully(path);
        bare.push_back(bareClock.nsecsElapsed() / 1e6);
        bareCpu.push_back(cpuMs() - cpuBefore);

        freshEditor();
        w = frmMain().win();
        if (!menuItem("mnuOutline")->isChecked())
            menuItem("mnuOutline")->trigger();
        auto *model = w->findChild<OutlineModel *>();
        QElapsedTimer clock;
        qint64 loaded = 0;
        qint64 complete = 0;
        QObject::connect(document(), &Document::loadEnded, model,
                         [&] { loaded = clock.nsecsElapsed(); });
        QObject::connect(model, &OutlineModel::completed, model,
                         [&] { complete = clock.nsecsElapsed(); });
        const long faultsBefore = minorFaults();
        cpuBefore = cpuMs();
        clock.start();
        w->openDocument(path);
        while (document()->isLoading() || !model->isComplete())
            QCoreApplication::processEvents();
        loadCpu.push_back(cpuMs() - cpuBefore);
        load.push_back(loaded / 1e6);
        afterLoad.push_back(qMax<qint64>(0, complete - loaded) / 1e6);
        faults.push_back(minorFaults() - faultsBefore);
        items.push_back(model->rowCount());

        menuItem("mnuOutline")->trigger();
        cpuBefore = cpuMs();
        clock.restart();
        menuItem("mnuOutline")->trigger();
        while (!model->isComplete())
            QCoreApplication::processEvents();
        shown.push_back(clock.nsecsElapsed() / 1e6);
        shownCpu.push_back(cpuMs() - cpuBefore);
    }
    record("loaded_without_outline_10mb_ms", "ms", bare);
    record("loaded_with_outline_10mb_ms", "ms", load);
    record("loaded_without_outline_10mb_cpu_ms", "ms", bareCpu);
    record("loaded_with_outline_10mb_cpu_ms", "ms", loadCpu);
    record("outline_10mb_ms", "ms", afterLoad);
    record("outline_load_minor_faults_10mb", "faults", faults);
    record("outline_items_10mb", "items", items);
    record("outline_shown_on_loaded_10mb_ms", "ms", shown);
    record("outline_shown_on_loaded_10mb_cpu_ms", "ms", shownCpu);

    QTest::keyClick(editor(), Qt::Key_End, Qt::ControlModifier);
    paintNow(editor());
    const long faultsBefore = minorFaults();
    timeIt("type_key_with_outline_10mb_ms", nullptr, [&] {
        QTest::keyClick(editor(), Qt::Key_X);
        paintNow(editor());
    });
    record("type_key_with_outline_minor_faults", "faults",
           {double(minorFaults() - faultsBefore) / g_runs});
    menuItem("mnuOutline")->trigger(); // off again, as the editor starts
}

void loadRtf(const QTemporaryDir &dir, int mb)
{
    const QString path = dir.filePath(QStringLiteral("rich%1.rtf").arg(mb));
    writeFile(path, makeRtf(qint64(mb) * 1024 * 1024));
    timeIt(
        "load_rtf_" + QByteArray::number(mb) + "mb_ms", [] { freshEditor(); },
        [&] {
            document()->load(path);
            paintNow(editor());
        });
}

qint64 monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// Starts the real program under its own Xvfb and times launch to first paint.
void startup(const QString &binary, const QString &file)
{
    if (!QFile::exists(binary)) {
        std::fprintf(stderr, "  (no %s: start-up not measured)\n", qPrintable(binary));
        return;
    }
    QProcess xvfb;
    const QString display
        = QStringLiteral(":%1").arg(170 + (QCoreApplication::applicationPid() % 50));
    xvfb.start(QStringLiteral("Xvfb"),
               {display, QStringLiteral("-screen"), QStringLiteral("0"),
                QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                QStringLiteral("tcp")});
    if (!xvfb.waitForStarted(5000)) {
        std::fprintf(stderr, "  (Xvfb did not start: start-up not measured)\n");
        return;
    }
    QThread::msleep(700);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("VYX_STARTUP_TRACE"), QStringLiteral("1"));

    // Launch to the first paint of the empty editor, and of the editor
    // started with a file of 10 MB: its first screen.
    const QStringList variants{QString(), file};
    for (const QString &arg : variants) {
        std::vector<double> times, rss, faults;
        for (int i = 0; i < g_runs + 1; ++i) {
            QProcess app;
            app.setProcessEnvironment(env);
            const qint64 t0 = monotonicNs();
            app.start(binary, arg.isEmpty() ? QStringList() : QStringList{arg});
            app.waitForFinished(20000);
            QList<QByteArray> words;
            for (const QByteArray &line : app.readAllStandardError().split('\n')) {
                if (line.startsWith("vyx-startup"))
                    words = line.split(' ');
            }
            const int at = words.indexOf("first-paint-ns");
            if (at < 0 || i == 0) // the first run warms the disk cache
                continue;
            times.push_back((words.value(at + 1).toLongLong() - t0) / 1e6);
            rss.push_back(words.value(at + 3).toDouble() / 1024.0);
            faults.push_back(words.value(at + 5).toDouble());
        }
        if (times.empty()) {
            std::fprintf(stderr, "  (the program reported no first paint)\n");
            continue;
        }
        if (arg.isEmpty()) {
            recordTimed("startup_first_paint_ms", times, faults);
            record("startup_rss_mb", "MB", rss);
        } else {
            recordTimed("startup_first_screen_10mb_ms", times, faults);
        }
    }
    xvfb.terminate();
    xvfb.waitForFinished(3000);
}

} // namespace

int main(int argc, char *argv[])
{
    const QByteArray firstArg = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The same allocator settings as the program, for the editor's figures
    // and the bare widget's baseline alike.
    tuneAllocatorForLargeDocuments();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // Journals and settings of the editors measured here stay out of the
    // user's own folders.
    QTemporaryDir xdg;
    qputenv("XDG_STATE_HOME", QFile::encodeName(xdg.filePath(QStringLiteral("state"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(xdg.filePath(QStringLiteral("config"))));
    // The View settings the benchmark sets stay out of the user's own.
    QStandardPaths::setTestModeEnabled(true);
    if (firstArg == "--rss-probe")
        return rssProbe(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (firstArg == "--rss-replace-probe")
        return rssReplaceProbe(QString::fromLocal8Bit(argv[2]));

    g_runs = qMax(5, qEnvironmentVariableIntValue("BENCH_RUNS"));
    const QString binary = argc > 1
        ? QString::fromLocal8Bit(argv[1])
        : QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../vyx-editor"));
    QTemporaryDir dir;
    installHelpMenu();

    std::fprintf(stderr, "VYX Editor benchmark: median of %d runs\n", g_runs);
    measureMachine();
    for (int mb : {10, 50}) {
        writeFile(dir.filePath(QStringLiteral("plain%1.vyx").arg(mb)),
                  makeDefinitionText(qint64(mb) * 1024 * 1024));
    }
    const QString file10 = dir.filePath(QStringLiteral("plain10.vyx"));
    if (wanted("startup"))
        startup(binary, file10);
    if (wanted("load")) {
        for (int mb : {1, 10, 50}) {
            if (wantedSize(mb))
                loadPlain(dir, mb);
        }
        for (int mb : {1, 10, 50}) {
            if (wantedSize(mb))
                backgroundLoad(dir, mb);
        }
    }
    if (wanted("rss"))
        measureRss(dir);
    if (wanted("edits"))
        editsOnBigDocuments(dir);
    if (wanted("journal"))
        journalOnBigDocuments(dir);
    if (wanted("colours"))
        definitionColours(dir);
    if (wanted("search"))
        searchOnBigDocuments(dir);
    if (wanted("replace_all"))
        replaceAllAtScale(dir);
    if (wanted("toggle_comment"))
        toggleCommentAtScale(dir);
    if (wanted("long_lines"))
        longLines(dir);
    if (wanted("compare"))
        compareAtScale(dir);
    if (wanted("rtf")) {
        for (int mb : {1, 10})
            loadRtf(dir, mb);
    }
    if (wanted("outline"))
        outlineAtScale(dir);

    std::printf("\n");
    for (const QByteArray &line : g_machine)
        std::printf("%s\n", line.constData());
    std::printf("\n%-32s %10s %10s %10s  %s\n", "figure", "median", "min", "max", "unit");
    for (const Figure &f : g_figures) {
        const auto [lo, hi] = std::minmax_element(f.runs.begin(), f.runs.end());
        std::printf("%-32s %10s %10s %10s  %s\n", f.name.constData(),
                    shown(f.median(), f.unit).constData(), shown(*lo, f.unit).constData(),
                    shown(*hi, f.unit).constData(), f.unit.constData());
    }
    std::printf("\n");
    for (const QByteArray &line : g_machine)
        std::printf("%s\n", line.constData());
    for (const Figure &f : g_figures) {
        std::printf("%s %s %s\n", f.name.constData(), shown(f.median(), f.unit).constData(),
                    f.unit.constData());
    }
    // Parts chosen by BENCH_ONLY may never have shown the editor.
    if (frmMain().isLoaded())
        frmMain().rtfMain()->document()->setModified(false);
    return 0;
}
