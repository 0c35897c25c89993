#include "platform/interrupt_cleanup/InterruptCleanup.h"

#include <algorithm>
#include <csignal>
#include <thread>
#include <utility>
#include <vector>

#include <pthread.h>

namespace Orvana
{

namespace
{

struct Cleanup {
    std::mutex* guard;
    std::function<void()> run;
};

struct Watcher {
    std::mutex mutex;
    std::vector<Cleanup> cleanups;
    bool started = false;
};

Watcher& watcher()
{
    static Watcher instance;
    return instance;
}

sigset_t watchedSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&signals, signal);
    return signals;
}

void watch(sigset_t signals)
{
    int received = 0;
    if (sigwait(&signals, &received) != 0)
        return;
    Watcher& state = watcher();
    // Held until the process ends, like the guards: no cleanup is added while they run.
    state.mutex.lock();
    std::vector<std::mutex*> locked;
    for (Cleanup& cleanup : state.cleanups) {
        // Two cleanups may share a guard; locking it twice would wait for ever.
        if (std::find(locked.begin(), locked.end(), cleanup.guard) == locked.end()) {
            cleanup.guard->lock();
            locked.push_back(cleanup.guard);
        }
        cleanup.run();
    }
    // End the process by the same signal, so that its parent sees why it ended.
    std::signal(received, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, received);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(received);
}

} // namespace

bool cleanUpOnInterrupt(std::mutex& guard, std::function<void()> cleanup)
{
    Watcher& state = watcher();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.started) {
        const sigset_t signals = watchedSignals();
        if (pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0)
            return false;
        std::thread(watch, signals).detach();
        state.started = true;
    }
    state.cleanups.push_back({&guard, std::move(cleanup)});
    return true;
}

} // namespace Orvana
