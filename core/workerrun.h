#pragma once

#include <QThread>
#include <QtGlobal>

#include <atomic>
#include <memory>

// One piece of background work (a search, a comparison, a check) on a
// thread of its own. The thread holds the cancel flag too, so a run that is
// dropped tells its thread to stop without waiting for it; the run's owner
// waits for the thread only when the run itself goes.
struct WorkerRun
{
    quint64 id = 0;
    std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);
    std::unique_ptr<QThread> thread;
    ~WorkerRun()
    {
        *cancel = true;
        if (thread)
            thread->wait();
    }
};
