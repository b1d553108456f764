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
    // that is most of the time of a load. Every block comes from the heap
    // instead (the text of a 10 MB file lives in a block of 32 MiB, just over
    // the largest glibc would otherwise keep there), and freed blocks stay
    // for reuse: a load fills the memory of the document before last, even
    // of a file of 50 MB. Only a free top of the heap over 512 MB goes back
    // at once; the rest goes back when the editor has been idle a while
    // (returnFreedMemoryWhenIdle).
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
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
