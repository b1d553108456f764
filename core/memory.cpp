#include "memory.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QTimer>

#include <malloc.h>

void tuneAllocatorForLargeDocuments()
{
#if defined(__GLIBC__)
    // By default glibc hands every freed block of a few MB straight back to
    // the system, so each load, copy or save of a big document pays the page
    // faults of fresh memory again: where the first touch of a page is dear
    // that is most of the time of a load. Blocks up to 32 MB (glibc's
    // ceiling) come from the heap, so that freed ones are reused. Freed
    // memory in the middle of the heap stays until returnFreedMemory();
    // the free top of the heap goes back at once when it passes 64 MB. A
    // document replaced by a load was allocated below the new one, so its
    // memory stays warm for the next load, and so does a freed document of
    // up to about 10 MB of file at the top; the last document of a big
    // session, dropped by New together with what its save used, goes back
    // without waiting.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
#endif
}

void returnFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

namespace {

// The one idle trim, restarted by each large document that goes.
QTimer *idleTrimTimer()
{
    static QPointer<QTimer> timer;
    if (!timer) {
        timer = new QTimer(QCoreApplication::instance());
        timer->setSingleShot(true);
        timer->setInterval(idleTrimDelayMs);
        QObject::connect(timer, &QTimer::timeout, timer, returnFreedMemory);
    }
    return timer;
}

} // namespace

void returnFreedMemoryWhenIdle()
{
    if (QCoreApplication::instance())
        idleTrimTimer()->start();
}

void keepFreedMemory()
{
    if (QCoreApplication::instance())
        idleTrimTimer()->stop();
}

bool isIdleTrimPending()
{
    return QCoreApplication::instance() && idleTrimTimer()->isActive();
}

namespace {

// A "Key:   123 kB" field of a /proc file, in KiB; -1 where there is none.
qint64 procFieldKb(const char *file, QByteArrayView key)
{
    QFile proc{QString::fromLatin1(file)};
    if (!proc.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : proc.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

qint64 availableMemoryBytes()
{
    const qint64 kb = procFieldKb("/proc/meminfo", "MemAvailable:");
    return kb < 0 ? -1 : kb * 1024;
}

long residentMemoryKb()
{
    return long(procFieldKb("/proc/self/status", "VmRSS:"));
}

long peakResidentMemoryKb()
{
    return long(procFieldKb("/proc/self/status", "VmHWM:"));
}
