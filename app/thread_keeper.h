#pragma once
// The worker threads that the main window owns (the partition search, the scan engines, the
// recovery writer), each with the request that makes it stop. The window stops and waits for
// all of them when it closes, before anything they use is destroyed, so no thread is ever
// destroyed while running. User-interface thread only.
#include <QList>
#include <QPointer>
#include <QThread>
#include <functional>

class thread_keeper_c {
public:
    // `stop` asks the thread to end soon (a stop flag, requestInterruption, ...).
    void adopt(QThread* thread, std::function<void()> stop);
    // Asks every running thread to stop, then waits until each has ended.
    void stop_all();

private:
    struct owned_s {
        QPointer<QThread> thread;
        std::function<void()> stop;
    };
    QList<owned_s> threads;
};
