// Find in Files on a mod's worth of definition files: 5,000 files of 100 MB
// in all, a word in 1 % of them. Times the real window from Find All to the
// last result, next to grep over the same tree in the same run, checks that
// both find the same lines, and how soon a key typed meanwhile is answered.
// Then 100,000 small files of one match each: how soon a key typed while
// their results pour in is answered, and how soon Cancel ends the search.
// Each figure is the median of several runs on a warm cache.

#include "findresults.h"
#include "frmfindinfiles.h"
#include "frmmain.h"
#include "inputs.h"
#include "richtextbox.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSet>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int fileCount = 5000;
constexpr qint64 totalBytes = qint64(100) << 20;
const QByteArray word = "Xyzzyship";

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty()
        ? 0
        : (v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2);
}

void print(const char *name, const std::vector<double> &runs)
{
    const auto [lo, hi] = std::minmax_element(runs.begin(), runs.end());
    std::printf("%-36s %10.1f %10.1f %10.1f  ms\n", name, median(runs), *lo, *hi);
}

// 50 folders of 100 files; every hundredth file has the word on one line.
bool makeTree(const QString &root)
{
    const QByteArray text = makeDefinitionText(totalBytes / fileCount);
    for (int i = 0; i < fileCount; ++i) {
        const QString folder
            = QStringLiteral("%1/ships%2").arg(root).arg(i / 100, 2, 10, QChar(u'0'));
        if (i % 100 == 0 && !QDir().mkpath(folder))
            return false;
        QByteArray bytes = text;
        if (i % 100 == 42) {
            const qsizetype at = bytes.indexOf("\r\n", (i * 7919) % (bytes.size() - 200)) + 2;
            bytes.insert(at, "name " + word + QByteArray::number(i) + "\r\n");
        }
        QFile file(QStringLiteral("%1/def%2.vyx").arg(folder).arg(i, 4, 10, QChar(u'0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

// "path:line" of each line grep finds, and the time it took.
QSet<QString> grepLines(const QString &root, double *ms)
{
    QProcess grep;
    QElapsedTimer t;
    t.start();
    grep.start(QStringLiteral("grep"),
               {QStringLiteral("-rFn"), QStringLiteral("--include=*.vyx"),
                QString::fromLatin1(word), root});
    grep.waitForFinished(-1);
    *ms = t.nsecsElapsed() / 1e6;
    QSet<QString> lines;
    for (const QByteArray &line : grep.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split(':');
        if (parts.size() >= 2)
            lines.insert(QDir(root).relativeFilePath(QString::fromLocal8Bit(parts[0])) + u':'
                         + QString::fromLatin1(parts[1]));
    }
    return lines;
}

QSet<QString> resultLines(const QAbstractItemModel *rows)
{
    QSet<QString> lines;
    for (int r = 0; r < rows->rowCount(); ++r) {
        const QString line = rows->index(r, 1).data().toString();
        if (!line.isEmpty())
            lines.insert(QDir::fromNativeSeparators(rows->index(r, 0).data().toString()) + u':'
                         + line);
    }
    return lines;
}

// 100 folders of 1,000 files of a few lines, each with the word once.
constexpr int manyFiles = 100000;
bool makeManyFiles(const QString &root)
{
    for (int i = 0; i < manyFiles; ++i) {
        const QString folder = QStringLiteral("%1/m%2").arg(root).arg(i / 1000);
        if (i % 1000 == 0 && !QDir().mkpath(folder))
            return false;
        QFile file(QStringLiteral("%1/%2.vyx").arg(folder).arg(i));
        const QByteArray bytes = "// ship\r\nname " + word + "\r\nmass 10\r\n";
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

long minorFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QStandardPaths::setTestModeEnabled(true);
    const int runs = qMax(5, qEnvironmentVariableIntValue("BENCH_RUNS"));

    QTemporaryDir dir;
    std::fprintf(stderr, "Find in Files benchmark: generating %d files, %lld MB...\n", fileCount,
                 totalBytes >> 20);
    if (!dir.isValid() || !makeTree(dir.path())) {
        std::fprintf(stderr, "cannot write the tree\n");
        return 1;
    }

    frmMain().show();
    QCoreApplication::processEvents();
    FrmMainWindow *w = frmMain().win();
    RichTextBox *text = frmMain().rtfMain();
    // The results panel, made by the first search.
    const auto results = [w] { return w->findChild<FindResultsDock *>("dckFindResults"); };
    w->findChild<QAction *>("mnuFindInFiles")->trigger();
    FrmFindInFiles *find = w->findChild<FrmFindInFiles *>("frmFindInFiles");
    find->txtFindWhat->setText(QString::fromLatin1(word));
    find->txtFolder->setText(dir.path());
    find->txtFiles->setText(QStringLiteral("*.vyx"));
    find->chkMatchCase->setChecked(true);

    // Waits in the event loop as the program does. With keyMs, types a key
    // into the text every 5 ms meanwhile and gives the longest wait from a
    // key's arrival in the queue to its being handled. With cancelMs, clicks
    // Cancel once the search has run that long, and gives the time from the
    // click to the search's end in *cancelMs.
    const auto runSearch = [&](double *keyMs, double *cancelMs = nullptr) {
        double longest = 0;
        QEventLoop loop;
        QTimer typing;
        typing.setInterval(5);
        QObject::connect(&typing, &QTimer::timeout, &loop, [&] {
            auto *typed = new QElapsedTimer;
            typed->start();
            QCoreApplication::postEvent(
                text,
                new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a")));
            QMetaObject::invokeMethod(
                text,
                [typed, &longest] {
                    longest = std::max(longest, typed->nsecsElapsed() / 1e6);
                    delete typed;
                },
                Qt::QueuedConnection);
        });
        // The results arrive through the event loop: none before it runs.
        find->cmdFindAll->click();
        QObject::connect(results(), &FindResultsDock::searchingChanged, &loop,
                         [&loop](bool searching) {
                             if (!searching)
                                 loop.quit();
                         });
        if (keyMs)
            typing.start();
        QElapsedTimer sinceCancel;
        if (cancelMs) {
            QTimer::singleShot(int(*cancelMs), &loop, [&] {
                sinceCancel.start();
                find->cmdCancel->click();
            });
        }
        if (results()->isSearching())
            loop.exec();
        if (cancelMs)
            *cancelMs = sinceCancel.isValid() ? sinceCancel.nsecsElapsed() / 1e6 : -1;
        typing.stop();
        QCoreApplication::processEvents();
        if (keyMs)
            *keyMs = longest;
    };

    runSearch(nullptr); // warms the cache
    std::vector<double> find_ms, grep_ms, key_ms;
    QSet<QString> grepFound;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        runSearch(nullptr);
        find_ms.push_back(t.nsecsElapsed() / 1e6);
        double ms = 0;
        grepFound = grepLines(dir.path(), &ms);
        grep_ms.push_back(ms);
    }
    const QSet<QString> found = resultLines(results()->tvwResults->model());
    for (int i = 0; i < runs; ++i) {
        double ms = 0;
        runSearch(&ms);
        key_ms.push_back(ms);
    }

    QTemporaryDir many;
    std::fprintf(stderr, "generating %d files of one match each...\n", manyFiles);
    if (!many.isValid() || !makeManyFiles(many.path())) {
        std::fprintf(stderr, "cannot write the tree\n");
        return 1;
    }
    find->txtFolder->setText(many.path());
    runSearch(nullptr); // warms the cache
    std::vector<double> many_key_ms, cancel_ms, many_faults;
    int manyRows = 0;
    const int manyRuns = qMax(3, runs / 2);
    for (int i = 0; i < manyRuns; ++i) {
        double ms = 0;
        const long faults = minorFaults();
        runSearch(&ms);
        many_faults.push_back(double(minorFaults() - faults));
        many_key_ms.push_back(ms);
        manyRows = results()->tvwResults->model()->rowCount();
        double cancelMs = 500; // well into the search
        runSearch(nullptr, &cancelMs);
        cancel_ms.push_back(cancelMs);
    }
    text->document()->setModified(false);

    std::printf("\n%-36s %10s %10s %10s  %s\n", "figure", "median", "min", "max", "unit");
    print("find_in_files_5000_files_ms", find_ms);
    print("baseline_grep_5000_files_ms", grep_ms);
    print("type_key_during_find_in_files_ms", key_ms);
    print("type_key_during_find_in_files_100k_ms", many_key_ms);
    print("cancel_find_in_files_100k_ms", cancel_ms);
    std::printf("%-36s %10.0f  minor page faults (one run, %d rows)\n", "find_in_files_100k_faults",
                median(many_faults), manyRows);
    const bool same
        = found == grepFound && found.size() == fileCount / 100 && manyRows == 2 * manyFiles;
    std::printf("find_in_files_same_lines_as_grep    %s (%lld lines, grep %lld)\n",
                same ? "yes" : "no", qsizetype(found.size()), qsizetype(grepFound.size()));
    std::printf("find_in_files_within_2x_grep        %s\n",
                median(find_ms) <= 2 * median(grep_ms) ? "yes" : "no");
    return same ? 0 : 1;
}
