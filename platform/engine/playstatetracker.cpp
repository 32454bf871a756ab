#include "playstatetracker.h"

void PlayStateTracker::opened(qint64 entry)
{
    m_paused = false; // the engine's pause survives loads; every open autostarts
    m_openingEntry = entry;
    m_lastOpened = entry;
    m_opening = true;
    m_stopAnnouncementDue = false; // this open's own end is announced instead
}

bool PlayStateTracker::stopped()
{
    const bool endsOpen = m_opening;
    m_opening = false;
    m_currentEntry = -1;
    m_stoppedUpTo = m_lastOpened;
    m_stopAnnouncementDue = m_stopAnnouncementDue || endsOpen;
    return endsOpen;
}

PlayStateTracker::Announcement PlayStateTracker::stopTookEffect()
{
    if (!m_stopAnnouncementDue) {
        return std::nullopt;
    }
    m_stopAnnouncementDue = false;
    return change(PlayStateStopped, true);
}

void PlayStateTracker::engineReplaced()
{
    m_currentEntry = -1;
    m_waitingForData = false;
}

void PlayStateTracker::fileStarted(qint64 entry)
{
    if (entry > m_stoppedUpTo) {
        m_currentEntry = entry;
    }
}

PlayStateTracker::Announcement PlayStateTracker::playbackRestarted()
{
    if (!m_opening || m_currentEntry != m_openingEntry) {
        return std::nullopt; // a seek within the playing file, or a file already replaced
    }
    m_opening = false;
    return change(runningState(), true);
}

PlayStateTracker::Announcement PlayStateTracker::fileEnded(qint64 entry, EndReason reason)
{
    if (entry == m_currentEntry) {
        m_currentEntry = -1;
    }
    const bool endsOpen = m_opening && entry == m_openingEntry;
    if (m_opening && !endsOpen) {
        return std::nullopt; // a file replaced by the one being opened: how it ended no longer matters
    }
    m_opening = false;
    switch (reason) {
    case EndReason::Failed:
        return change(PlayStateReady, endsOpen);
    case EndReason::EndOfFile:
        return change(PlayStateMediaEnded, endsOpen);
    case EndReason::Stopped:
    case EndReason::Other:
        break;
    }
    return std::nullopt;
}

PlayStateTracker::Announcement PlayStateTracker::idleChanged(bool idle)
{
    if (!idle || m_opening || m_state == PlayStateUndefined || m_state == PlayStateReady) {
        return std::nullopt;
    }
    return change(PlayStateStopped);
}

PlayStateTracker::Announcement PlayStateTracker::pauseChanged()
{
    if (m_opening || m_currentEntry < 0 || m_state == PlayStateMediaEnded) {
        return std::nullopt;
    }
    return change(runningState());
}

PlayStateTracker::Announcement PlayStateTracker::cacheWaitChanged(bool waiting)
{
    m_waitingForData = waiting;
    return pauseChanged();
}

PlayState PlayStateTracker::runningState() const
{
    if (m_waitingForData) {
        return PlayStateBuffering;
    }
    return m_paused ? PlayStatePaused : PlayStatePlaying;
}

PlayStateTracker::Announcement PlayStateTracker::change(PlayState state, bool evenIfUnchanged)
{
    if (state == m_state && !evenIfUnchanged) {
        return std::nullopt;
    }
    m_state = state;
    m_stopAnnouncementDue = false; // this announcement tells the stop's end too: one is enough
    return state;
}
