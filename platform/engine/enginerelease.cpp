#include "enginerelease.h"

#include <pthread.h>

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace {

struct Releases {
    std::mutex mutex;
    std::condition_variable done;
    int underWay = 0;
};

Releases& releases()
{
    // Never destroyed: a release may return while the process's static objects are destroyed.
    static Releases& state = *new Releases;
    return state;
}

void finished()
{
    Releases& state = releases();
    {
        const std::lock_guard lock(state.mutex);
        --state.underWay;
    }
    state.done.notify_all();
}

} // namespace

void EngineRelease::begin(std::function<void()> release)
{
    {
        const std::lock_guard lock(releases().mutex);
        ++releases().underWay;
    }
    // The thread alone holds the release (and what it captured), so that nothing of it is
    // destroyed, which may wait, on this thread.
    auto* owned = new std::function<void()>(std::move(release));
    const auto run = [owned] {
        (*owned)();
        delete owned;
        finished();
    };
    try {
        std::thread([run] {
            pthread_setname_np(pthread_self(), "engine release");
            run();
        }).detach();
    } catch (const std::system_error&) {
        run();
    }
}

int EngineRelease::underWay()
{
    const std::lock_guard lock(releases().mutex);
    return releases().underWay;
}

bool EngineRelease::waitForAll(std::chrono::milliseconds timeout)
{
    Releases& state = releases();
    std::unique_lock lock(state.mutex);
    return state.done.wait_for(lock, timeout, [&state] { return state.underWay == 0; });
}
