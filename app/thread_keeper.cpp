#include "app/thread_keeper.h"

void thread_keeper_c::adopt(QThread* thread, std::function<void()> stop)
{
    threads.append({thread, std::move(stop)});
}

void thread_keeper_c::stop_all()
{
    // Every thread is asked first, so that they wind down together.
    for (const owned_s& owned : threads) {
        if (owned.thread && owned.thread->isRunning() && owned.stop) {
            owned.stop();
        }
    }
    for (const owned_s& owned : threads) {
        if (owned.thread) {
            owned.thread->wait();
        }
    }
}
