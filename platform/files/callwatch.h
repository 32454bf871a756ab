#pragma once

#include <QtGlobal>

#include <atomic>

/**
 * @file
 * How a FolderWorker tells a query that is working from one held in the kernel: the folder
 * queries stamp each system call they make, and the worker's lane reads the stamp.
 *
 * Internal to the folder queries and their worker. Each thread watches for itself; a thread
 * that watches nothing (the GUI thread, a test, a benchmark) pays one thread-local read a call.
 */
namespace callwatch {

/// Steady-clock time in nanoseconds; never 0 on a running system.
qint64 nowNs() noexcept;

/// From now on, calls on this thread stamp @p startedNs: the start of the call under way, 0
/// between calls. nullptr stops the watch. @p startedNs must outlive the watch.
void watchThisThread(std::atomic<qint64>* startedNs) noexcept;

/// Brackets one system call of a folder query.
class Call {
public:
    Call() noexcept;
    ~Call();
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;
};

} // namespace callwatch
