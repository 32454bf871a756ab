#include "fakeplayermedia.h"

#include <QMetaObject>

#include <algorithm>

void FakePlayerMedia::seekBy(qint64 offsetUs)
{
    m_calls.append(QStringLiteral("seekBy %1").arg(offsetUs));
    seekClamped(m_positionUs + offsetUs);
}

void FakePlayerMedia::seekTo(qint64 positionUs)
{
    m_calls.append(QStringLiteral("seekTo %1").arg(positionUs));
    seekClamped(positionUs);
}

void FakePlayerMedia::setFullScreen(bool fullScreen)
{
    m_calls.append(QStringLiteral("setFullScreen %1").arg(int(fullScreen)));
    if (fullScreen == m_fullScreen || (fullScreen && (m_track.serial == 0 || !m_track.hasPicture))) {
        return;
    }
    m_fullScreen = fullScreen;
    QMetaObject::invokeMethod(
        this, [this, fullScreen] { emit fullScreenChanged(fullScreen); }, Qt::QueuedConnection);
}

void FakePlayerMedia::open(const TrackInfo& track)
{
    m_track = track;
    m_positionUs = 0;
    m_canSeek = track.lengthUs >= 0;
    emit trackChanged();
}

void FakePlayerMedia::close()
{
    m_track = TrackInfo();
    m_positionUs = 0;
    m_canSeek = false;
    emit trackChanged();
    changeFullScreen(false);
}

void FakePlayerMedia::jumpTo(qint64 positionUs)
{
    m_positionUs = positionUs;
    emit seeked(positionUs);
}

void FakePlayerMedia::seekClamped(qint64 positionUs)
{
    if (!m_canSeek) {
        return;
    }
    m_positionUs = std::clamp<qint64>(positionUs, 0, std::max<qint64>(m_track.lengthUs, 0));
    QMetaObject::invokeMethod(
        this, [this, landed = m_positionUs] { emit seeked(landed); }, Qt::QueuedConnection);
}

void FakePlayerMedia::changeFullScreen(bool fullScreen)
{
    if (fullScreen != m_fullScreen) {
        m_fullScreen = fullScreen;
        emit fullScreenChanged(fullScreen);
    }
}
