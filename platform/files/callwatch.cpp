#include "callwatch.h"

#include <chrono>

namespace callwatch {

namespace {

thread_local std::atomic<qint64>* watched = nullptr;

} // namespace

qint64 nowNs() noexcept
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void watchThisThread(std::atomic<qint64>* startedNs) noexcept
{
    watched = startedNs;
}

Call::Call() noexcept
{
    if (watched != nullptr) {
        watched->store(nowNs(), std::memory_order_relaxed);
    }
}

Call::~Call()
{
    if (watched != nullptr) {
        watched->store(0, std::memory_order_relaxed);
    }
}

} // namespace callwatch
