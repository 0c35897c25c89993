#pragma once

#include <functional>
#include <mutex>

namespace Orvana
{

// Makes SIGINT, SIGTERM and SIGHUP run `cleanup` before the process ends by the signal it received
// (Ctrl+C, a kill, a closed terminal). The signals are blocked in the calling thread and reach only
// a watcher thread, which may do ordinary work (remove folders, allocate) that a signal handler
// could not do safely while another thread sits inside malloc. Call it before the process starts
// any other thread, so that every thread inherits the blocked signals.
//
// The watcher locks `guard` before the cleanup runs and keeps it locked until the process ends:
// code that records what is to be cleaned up under the same lock has either finished recording
// when the cleanup runs, or waits and never records again.
//
// Every call adds its cleanup to the one watcher; they run in the order of the calls. False when
// the signals could not be blocked: the cleanup will not run.
bool cleanUpOnInterrupt(std::mutex& guard, std::function<void()> cleanup);

} // namespace Orvana
