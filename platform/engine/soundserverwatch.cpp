#include "soundserverwatch.h"

#include "soundservers.h"

#include <chrono>
#include <utility>

namespace {

// Soon enough that the sound is back about a second after the server, and rare enough that the
// wakeups cost nothing beside the playback itself.
constexpr std::chrono::milliseconds kRetryInterval{1000};

} // namespace

SoundServerWatch::SoundServerWatch(QObject* parent)
    : QObject(parent)
{
    m_retry.setInterval(kRetryInterval);
    connect(&m_retry, &QTimer::timeout, this, &SoundServerWatch::check);
}

void SoundServerWatch::outputChanged(const QByteArray& name)
{
    const bool wasSilent = std::exchange(m_silent, name == "null");
    const bool fellSilent = m_silent && !wasSilent;
    if (fellSilent) {
        // After a reopen that found no output, only the server's next return counts. After the
        // engine's own fallback the first answer counts: a server that restarts quickly may be back
        // before the engine noticed it had gone.
        m_answered = m_reopening && soundServerAnswers();
    }
    if (!name.isEmpty()) {
        m_reopening = false;
    }
    follow();
    if (fellSilent && !m_paused) {
        check();
    }
}

void SoundServerWatch::pausedChanged(bool paused)
{
    const bool resumed = std::exchange(m_paused, paused) && !paused;
    follow();
    if (resumed && m_silent) {
        check(); // the server may have come back while nothing played
    }
}

void SoundServerWatch::follow()
{
    if (m_silent && !m_paused) {
        if (!m_retry.isActive()) {
            m_retry.start();
        }
    } else {
        m_retry.stop();
    }
}

void SoundServerWatch::check()
{
    const bool answers = soundServerAnswers();
    const bool returned = answers && !m_answered;
    m_answered = answers;
    if (returned) {
        m_reopening = true;
        emit serverReturned();
    }
}
