#pragma once

#include "playermedia.h"

#include <QStringList>

/**
 * A stand-in for the player's media surface, for tests of the program's own logic (the media
 * controls, the idle inhibit).
 *
 * The test sets the track, position, seekability and full screen with the drivers; each driver
 * that changes something emits the matching signal at once. The interface's commands are
 * recorded in calls() ("seekBy <us>", "seekTo <us>", "setFullScreen <0|1>") and then act as the
 * contract says: a seek clamps the position to the track and announces seeked() from the event
 * loop; setFullScreen() changes and announces full screen only with an open file that has a
 * picture. Create it as a direct child of the player, so that playerMediaOf() finds it.
 */
class FakePlayerMedia final : public PlayerMedia {
    Q_OBJECT

public:
    using PlayerMedia::PlayerMedia;

    TrackInfo track() const override { return m_track; }
    qint64 positionUs() const override { return m_positionUs; }
    bool canSeek() const override { return m_canSeek; }
    void seekBy(qint64 offsetUs) override;
    void seekTo(qint64 positionUs) override;
    bool isFullScreen() const override { return m_fullScreen; }
    void setFullScreen(bool fullScreen) override;

    // Drivers.
    /// A new track (seekable when it has a length), position 0; emits trackChanged().
    void open(const TrackInfo& track);
    /// Nothing open, out of full screen; emits trackChanged() (and fullScreenChanged()).
    void close();
    void setPositionUs(qint64 positionUs) { m_positionUs = positionUs; }
    void setCanSeek(bool canSeek) { m_canSeek = canSeek; }
    /// A jump made inside the player (its keys, a replay): emits seeked() at once.
    void jumpTo(qint64 positionUs);
    QStringList calls() const { return m_calls; }
    void clearCalls() { m_calls.clear(); }

private:
    void seekClamped(qint64 positionUs);
    void changeFullScreen(bool fullScreen);

    TrackInfo m_track;
    qint64 m_positionUs = 0;
    bool m_canSeek = false;
    bool m_fullScreen = false;
    QStringList m_calls;
};
