#pragma once

#include <chrono>
#include <functional>

/**
 * @file
 * Engines released on threads of their own, and how long the program's end waits for them.
 *
 * An engine whose file's reads hang cannot shut down until they return, and on a sleeping NAS or
 * a hard NFS mount that may be never; a thread stuck in such a read cannot be cancelled, joined
 * or killed. Releasing that engine would block whatever thread did it. So an engine the player
 * gives up on is released on a detached thread of its own, and nothing ever waits for that
 * thread without a bound.
 *
 * The count of releases still under way is what bounds the cost of engines given up on: each
 * holds its memory and a stuck thread until its file answers. The player starts no fresh engine
 * while kMaxReleasesUnderWay releases are under way (enginestart.h).
 *
 * Threads
 * -------
 * Every function may be called from any thread. A release runs on a thread of its own, named
 * "engine release"; it may block for ever, so it must touch nothing but what it was given: no Qt
 * object, no state of the program. Its state here lives until the process ends, so a release
 * that returns during the program's exit finds it intact.
 *
 * Errors: none. When no thread can be started, the release runs on the caller's thread.
 */
namespace EngineRelease {

/// How many releases may be under way before the player stops giving engines up.
inline constexpr int kMaxReleasesUnderWay = 3;

/// Runs @p release on a detached thread of its own; returns at once.
void begin(std::function<void()> release);

/// How many releases have begun and not yet returned.
int underWay();

/// Waits until no release is under way, for at most @p timeout. True when none is left.
bool waitForAll(std::chrono::milliseconds timeout);

} // namespace EngineRelease
