#include "positionclock.h"

namespace {

constexpr double kMsPerSecond = 1000;

} // namespace

void PositionClock::answered(std::optional<double> seconds, qint64 nowMs)
{
    m_seconds = seconds;
    m_answeredMs = nowMs;
}

void PositionClock::setRunning(bool running, qint64 nowMs)
{
    if (running == m_running) {
        return;
    }
    // Carried forward to the moment it changes, so that the reading goes on without a jump.
    m_seconds = at(nowMs);
    m_answeredMs = nowMs;
    m_running = running;
}

std::optional<double> PositionClock::at(qint64 nowMs) const
{
    if (!m_seconds || !m_running) {
        return m_seconds;
    }
    return *m_seconds + double(nowMs - m_answeredMs) / kMsPerSecond;
}
