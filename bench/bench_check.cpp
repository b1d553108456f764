// `vyx-editor --check` on a mod's worth of definition files: 5,000 files of
// 100 MB in all, about 13 includes in each, all of which resolve but 50.
// Times the real program next to grep listing the same include lines, both
// on a warm cache, and takes its peak resident memory (over that of a check
// of an empty folder) and page faults from the kernel's count for the child.

#include "inputs.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <vector>

extern char **environ;

namespace {

constexpr int fileCount = 5000;
constexpr int perFolder = 100;
constexpr qint64 totalBytes = qint64(100) << 20;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty()
        ? 0
        : (v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2);
}

QString filePath(const QString &root, int i)
{
    return QStringLiteral("%1/ships%2/def%3.vyx")
        .arg(root)
        .arg(i / perFolder, 2, 10, QChar(u'0'))
        .arg(i, 4, 10, QChar(u'0'));
}

// The generated text with its include lines pointing at later files (so
// that no cycle forms), half of them written with '\', and in every
// hundredth file one include of a file that is not there.
bool makeTree(const QString &root)
{
    const QList<QByteArray> lines = makeDefinitionText(totalBytes / fileCount).split('\n');
    for (int i = 0; i < fileCount; ++i) {
        if (i % perFolder == 0 && !QDir().mkpath(QFileInfo(filePath(root, i)).absolutePath()))
            return false;
        QByteArray bytes;
        bytes.reserve(totalBytes / fileCount + 4096);
        int k = 0;
        for (const QByteArray &line : lines) {
            if (!line.startsWith("#include")) {
                bytes += line;
                bytes += '\n';
                continue;
            }
            const int target = i + 1 + k;
            QByteArray name = QStringLiteral("../ships%1/def%2.vyx")
                                  .arg(target / perFolder, 2, 10, QChar(u'0'))
                                  .arg(target, 4, 10, QChar(u'0'))
                                  .toLatin1();
            if (k % 2)
                name.replace('/', '\\');
            const bool missing = i % perFolder == 42 && k == 0;
            if (missing)
                name = "missing" + QByteArray::number(i) + ".vyx";
            bytes += missing || target < fileCount ? "#include \"" + name + "\"\r\n"
                                                   : QByteArray("// no include here\r\n");
            ++k;
        }
        QFile file(filePath(root, i));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

struct Run
{
    double ms = 0;
    double cpuMs = 0; // user and system time, on every core
    double peakMb = 0;
    long minorFaults = 0;
    int status = -1;
};

// Runs a program with its output in a file and takes the kernel's account of it.
Run run(const QStringList &arguments, const QString &output)
{
    std::vector<QByteArray> bytes;
    for (const QString &argument : arguments)
        bytes.push_back(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &argument : bytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, QFile::encodeName(output).constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Run result;
    timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        clock_gettime(CLOCK_MONOTONIC, &end);
        result.ms = (end.tv_sec - start.tv_sec) * 1e3 + (end.tv_nsec - start.tv_nsec) / 1e6;
        result.cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
            + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
        result.peakMb = usage.ru_maxrss / 1024.0;
        result.minorFaults = usage.ru_minflt;
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PATH-TO-vyx-editor\n", argv[0]);
        return 2;
    }
    const QString program = QFile::decodeName(argv[1]);
    const int runs = qMax(5, qEnvironmentVariableIntValue("BENCH_RUNS"));
    QTemporaryDir dir;
    const QString tree = dir.filePath(QStringLiteral("mod"));
    const QString empty = dir.filePath(QStringLiteral("empty"));
    const QString output = dir.filePath(QStringLiteral("output"));
    std::fprintf(stderr, "Check benchmark: generating %d files, %lld MB...\n", fileCount,
                 totalBytes >> 20);
    if (!dir.isValid() || !makeTree(tree) || !QDir().mkpath(empty)) {
        std::fprintf(stderr, "cannot write the tree\n");
        return 1;
    }

    const QStringList check{program, QStringLiteral("--check"), tree};
    const QStringList grep{QStringLiteral("grep"), QStringLiteral("-rFn"),
                           QStringLiteral("#include"), QStringLiteral("--include=*.vyx"), tree};
    run(check, output); // warms the cache
    run(grep, output);
    std::vector<double> checkMs, grepMs, checkCpu, grepCpu, checkMb, emptyMb, faults;
    for (int i = 0; i < runs; ++i) {
        const Run checked = run(check, output);
        checkMs.push_back(checked.ms);
        checkMb.push_back(checked.peakMb);
        faults.push_back(double(checked.minorFaults));
        checkCpu.push_back(checked.cpuMs);
        const Run grepped = run(grep, output);
        grepMs.push_back(grepped.ms);
        grepCpu.push_back(grepped.cpuMs);
        emptyMb.push_back(run({program, QStringLiteral("--check"), empty}, output).peakMb);
    }
    const Run last = run(check, output);
    QFile written(output);
    written.open(QIODevice::ReadOnly);
    const QList<QByteArray> lines = written.readAll().split('\n');
    const bool expected = last.status == 1 && lines.size() == 52
        && lines[50] == "50 errors, 0 warnings in 5000 files";

    const double rss = median(checkMb) - median(emptyMb);
    std::printf("\n%-36s %10s  %s\n", "figure", "median", "unit");
    std::printf("%-36s %10.1f  ms\n", "check_5000_files_ms", median(checkMs));
    std::printf("%-36s %10.1f  ms\n", "baseline_grep_includes_5000_files_ms", median(grepMs));
    std::printf("%-36s %10.1f  ms\n", "check_5000_files_cpu_ms", median(checkCpu));
    std::printf("%-36s %10.1f  ms\n", "baseline_grep_includes_cpu_ms", median(grepCpu));
    std::printf("%-36s %10.1f  MB\n", "rss_check_5000_files_mb", rss);
    std::printf("%-36s %10.0f  faults\n", "check_5000_files_minor_faults", median(faults));
    std::printf("%-36s %10.1f  MB\n", "rss_check_empty_folder_mb", median(emptyMb));
    std::printf("check_finds_the_50_missing_includes  %s\n", expected ? "yes" : "no");
    std::printf("check_within_2x_grep                 %s\n",
                median(checkMs) <= 2 * median(grepMs) ? "yes" : "no");
    std::printf("\ncheck_5000_files_ms %.1f ms\n", median(checkMs));
    std::printf("baseline_grep_includes_5000_files_ms %.1f ms\n", median(grepMs));
    std::printf("check_5000_files_cpu_ms %.1f ms\n", median(checkCpu));
    std::printf("baseline_grep_includes_cpu_ms %.1f ms\n", median(grepCpu));
    std::printf("rss_check_5000_files_mb %.1f MB\n", rss);
    std::printf("check_5000_files_minor_faults %.0f faults\n", median(faults));
    return expected ? 0 : 1;
}
