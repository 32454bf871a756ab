#include "enginewatch.h"

void EngineWatch::letGoAsked(qint64 nowMs)
{
    if (holdsFile() && !m_letGoSince) {
        m_letGoSince = nowMs;
    }
}

void EngineWatch::fileStarted(qint64 serial, qint64 nowMs)
{
    // A start means the file held before is let go, whether or not its end came first.
    m_held = serial;
    m_letGoSince.reset();
    m_openingSince = nowMs;
    m_waitingSince.reset();
}

void EngineWatch::playbackRestarted()
{
    m_openingSince.reset();
}

void EngineWatch::fileEnded(qint64 serial)
{
    if (serial != m_held) {
        return; // a file let go before the one held now
    }
    m_held = -1;
    m_letGoSince.reset();
    m_openingSince.reset();
    m_waitingSince.reset();
}

void EngineWatch::cacheWaitChanged(bool waiting, qint64 nowMs)
{
    if (!waiting || !holdsFile()) {
        m_waitingSince.reset();
    } else if (!m_waitingSince) {
        m_waitingSince = nowMs;
    }
}

std::optional<qint64> EngineWatch::owesSince() const
{
    std::optional<qint64> since;
    for (const std::optional<qint64>& owed : {m_letGoSince, m_openingSince, m_waitingSince}) {
        if (owed && (!since || *owed < *since)) {
            since = owed;
        }
    }
    return since;
}
