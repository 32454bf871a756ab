#pragma once

#include <QtGlobal>

#include <optional>

/**
 * @file
 * Whether the engine answers about the file it holds, or has left something unanswered for a
 * while: the player's grounds for giving up on an engine whose file's reads hang.
 *
 * A read of a regular file cannot be cancelled, and the engine will not close a file, open the
 * next or shut down before its reads return. The engine itself stays awake meanwhile: it takes
 * commands and reports, but what it owes about its file never comes. The watch follows what the
 * player asked of the engine and what the engine reported about its file, and tells since when
 * the engine has owed one of these answers:
 *
 * - the end of the file it holds, once an open of another file or a stop was asked (letting go);
 * - the start of playback of a file it has begun to open;
 * - data for a file that plays, while it waits for it.
 *
 * Every file the engine begins to open (its start report) ends in exactly one end report, so the
 * start and end reports alone tell which file it holds. Going idle is not used: the engine may
 * deliver a stale idle report after the start of the next file.
 *
 * A plain object: no engine, no widget, no thread. Times are milliseconds of a monotonic clock,
 * given by the caller. Files are told apart by the player's serial numbers of its opens.
 */
class EngineWatch {
public:
    // The player's commands.

    /// An open of another file, or a stop, was asked at @p nowMs: the file held must be let go.
    void letGoAsked(qint64 nowMs);

    // The engine's reports.

    void fileStarted(qint64 serial, qint64 nowMs);
    void playbackRestarted();
    void fileEnded(qint64 serial);
    void cacheWaitChanged(bool waiting, qint64 nowMs);

    /// The engine holds a file: it began to open it and has not reported its end.
    bool holdsFile() const { return m_held >= 0; }
    /// Since when the engine has owed an answer about the file it holds; nothing when it owes none.
    std::optional<qint64> owesSince() const;

private:
    qint64 m_held = -1;
    std::optional<qint64> m_letGoSince;
    std::optional<qint64> m_openingSince;
    std::optional<qint64> m_waitingSince;
};
