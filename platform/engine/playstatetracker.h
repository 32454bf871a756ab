#pragma once

#include "playerfacade.h"

#include <QtGlobal>

#include <optional>

/**
 * @file
 * The player's play state, worked out from what the player asked of the engine and what the
 * engine reported back.
 *
 * The engine reports asynchronously: by the time a report is read, the player may have opened
 * another file, paused or stopped. The tracker holds every rule that reconciles the two, so that
 * the state code and the moments it is announced follow the PlayerFacade contract however the
 * reports and the commands interleave:
 *
 * - The end of every open is announced, even when the state code does not change (a second
 *   failure after a failure, a file replacing a playing one).
 * - A file replaced by a newer open no longer counts: its end and its restart are ignored.
 * - A stop while a file opens ends that open, and that end is announced: the engine may report
 *   nothing at all for a file it never started. It is announced once, even when the engine's
 *   going idle is reported first.
 * - After a stop, whatever the engine still reports about the stopped files is stale: a
 *   following play opens the location again instead of resuming a file that is going away.
 * - A change of the pause flag, or of waiting for data, moves between playing, paused and
 *   buffering while a file plays, but never while one opens or after the end of a file.
 * - Going idle after a file means stopped, unless nothing was ever opened or the last open failed.
 * - When the player gives its engine up for a fresh one, nothing the old engine worked on is
 *   reported again: no file is left to pause or resume, and no wait for data goes on. An open
 *   under way stays under way until the player makes it again on the fresh engine, so its end
 *   is announced once, as for a file replaced before its open was done.
 *
 * It is a plain object: no engine, no widget, no thread. Commands are the player's own calls,
 * made right after the player made them on the engine; happenings are the engine's reports, in
 * the order the engine gave them. Each call that may change the state returns the state to
 * announce, or nothing when no announcement is due; the player emits it as its notification.
 *
 * Entry ids are the player's serial numbers of its opens: every open gets a larger one than the
 * last, also across engines.
 */
class PlayStateTracker {
public:
    /// The state to announce now, or nothing.
    using Announcement = std::optional<PlayState>;

    /// Why the engine stopped working on a file.
    enum class EndReason { EndOfFile, Stopped, Failed, Other };

    PlayState state() const { return m_state; }
    /// The engine's pause flag as the player last set it: nothing else sets it.
    bool isPaused() const { return m_paused; }
    /// A file is opening or open: pause and resume act on it. Otherwise a play opens the
    /// location again.
    bool hasFile() const { return m_opening || m_currentEntry >= 0; }
    bool isOpening() const { return m_opening; }
    /// The engine works on the file of the newest open, and no stop has ended it since: what it
    /// reports about its file is about that open.
    bool playsNewestOpen() const { return m_currentEntry >= 0 && m_currentEntry == m_lastOpened; }

    // The player's commands.

    /// The player has cleared the pause flag and asked the engine to open @p entry.
    void opened(qint64 entry);
    /// The player has set the engine's pause flag to @p paused.
    void pauseSet(bool paused) { m_paused = paused; }
    /// The player has told the engine to stop. Returns true when that ended an open: the player
    /// then calls stopTookEffect() from its event loop, where notifications are made.
    bool stopped();
    /// The announcement of an open ended by stopped(); nothing when another open, or another
    /// announcement, came since.
    Announcement stopTookEffect();
    /// The player has given its engine up for a fresh one.
    void engineReplaced();

    // The engine's happenings.

    void fileStarted(qint64 entry);
    Announcement playbackRestarted();
    Announcement fileEnded(qint64 entry, EndReason reason);
    Announcement idleChanged(bool idle);
    Announcement pauseChanged();
    Announcement cacheWaitChanged(bool waiting);

private:
    PlayState runningState() const;
    Announcement change(PlayState state, bool evenIfUnchanged = false);

    PlayState m_state = PlayStateUndefined;
    qint64 m_openingEntry = -1; ///< the entry being opened, or -1 while none is
    qint64 m_currentEntry = -1; ///< the entry the engine works on, or -1 while idle
    qint64 m_lastOpened = -1;   ///< the newest entry asked for
    qint64 m_stoppedUpTo = -1;  ///< entries up to this one were stopped: their reports are stale
    bool m_opening = false;
    bool m_stopAnnouncementDue = false;
    bool m_waitingForData = false;
    bool m_paused = false;
};
