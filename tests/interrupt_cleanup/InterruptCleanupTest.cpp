#include "platform/interrupt_cleanup/InterruptCleanup.h"

#include <csignal>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TestSupport.h"

using namespace Orvana;
using Orvana::Testing::readFile;
using Orvana::Testing::TempDir;

namespace
{

void append(const std::string& path, const std::string& text)
{
    if (FILE* file = std::fopen(path.c_str(), "a")) {
        std::fputs(text.c_str(), file);
        std::fclose(file);
    }
}

// Runs `body` in a child process and returns how it ended: the signal that ended it, 0 when it
// exited, -1 when it was still running after 30 s (then it is killed).
int endingSignal(const std::function<void()>& body)
{
    const pid_t child = fork();
    if (child == 0) {
        body();
        // The signal should have ended the child long before this.
        for (int i = 0; i < 3000; ++i)
            usleep(10000);
        _exit(0);
    }
    int status = 0;
    for (int i = 0; i < 3000; ++i) {
        if (waitpid(child, &status, WNOHANG) == child)
            return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        usleep(10000);
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return -1;
}

} // namespace

// Each signal runs every cleanup, in the order they were given, even two that share a guard, and
// the process still ends by the signal it received.
TEST(InterruptCleanup, EverySignalRunsEveryCleanupThenEndsTheProcessByIt)
{
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        TempDir dir;
        const std::string log = dir.file("log");
        const int ended = endingSignal([&] {
            static std::mutex first;
            static std::mutex second;
            cleanUpOnInterrupt(first, [&] { append(log, "a"); });
            cleanUpOnInterrupt(second, [&] { append(log, "b"); });
            cleanUpOnInterrupt(first, [&] { append(log, "c"); });
            // The whole process gets the signal, as from kill(1); the watcher takes it.
            kill(getpid(), signal);
        });
        EXPECT_EQ(ended, signal);
        EXPECT_EQ(readFile(log), "abc");
    }
}

// What is recorded under the guard is finished before the cleanup runs, and a thread started
// after the call leaves the signal to the watcher too.
TEST(InterruptCleanup, CleanupWaitsForTheGuardItsRecordsAreKeptUnder)
{
    TempDir dir;
    const std::string log = dir.file("log");
    const int ended = endingSignal([&] {
        static std::mutex guard;
        cleanUpOnInterrupt(guard, [&] { append(log, " cleaned"); });
        guard.lock();
        std::thread([] { kill(getpid(), SIGTERM); }).join();
        usleep(200000);
        append(log, "recorded");
        guard.unlock();
    });
    EXPECT_EQ(ended, SIGTERM);
    EXPECT_EQ(readFile(log), "recorded cleaned");
}
