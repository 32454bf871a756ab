#pragma once

#include <QtGlobal>

#include <optional>

/**
 * @file
 * The playback position between the engine's answers.
 *
 * Reading the position from the engine at once would wait for its core, which may be busy with
 * a file that does not answer; following every change the engine reports would wake the window
 * several times a second while a file plays. Instead the engine is asked, without waiting, when
 * playback starts, stops or jumps, and when a reading finds the last answer old; in between,
 * the last answer is carried forward by the clock while playback goes on (the player always
 * plays at normal speed).
 *
 * A plain object: no engine, no thread. Times are milliseconds of a monotonic clock, given by
 * the caller.
 */
class PositionClock {
public:
    /// How old an answer may grow before a reading asks the engine again.
    static constexpr qint64 kFreshMs = 1000;

    /// The engine answered @p seconds at @p nowMs; nothing when it has no file open.
    void answered(std::optional<double> seconds, qint64 nowMs);
    /// From @p nowMs playback goes on (@p running) or stands (paused, waiting for data, jumping,
    /// opening, ended).
    void setRunning(bool running, qint64 nowMs);

    /// The position at @p nowMs, in seconds; nothing while no file is open.
    std::optional<double> at(qint64 nowMs) const;
    /// Whether the engine should be asked again: playback goes on and the last answer is older
    /// than kFreshMs.
    bool isStale(qint64 nowMs) const { return m_running && nowMs - m_answeredMs > kFreshMs; }
    bool isRunning() const { return m_running; }

private:
    std::optional<double> m_seconds;
    qint64 m_answeredMs = 0;
    bool m_running = false;
};
