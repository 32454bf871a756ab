#pragma once

#include "playermedia.h"

class EngineStart;
class FullScreenView;
class MpvEngine;
class PlayerFacade;
class PlayStateTracker;

/**
 * The player's PlayerMedia over the engine (see playermedia.h for the contract): the tags, cover
 * and length read once the engine has loaded a file, the position as the engine reports it, exact
 * seeks, and full screen in FullScreenView. MpvPlayer owns one as a direct child, made in its
 * constructor. The tags, length and cover are read from the engine only while it works on the
 * newest open, between its load and the next open or stop, when the engine answers at once
 * (mpvengine.h); nothing else waits for it.
 */
class MpvMedia final : public PlayerMedia {
    Q_OBJECT

public:
    MpvMedia(const EngineStart& start, const PlayStateTracker& tracker, FullScreenView& view, PlayerFacade& player);

    /// The open file; a cheap copy.
    TrackInfo track() const override { return m_track; }
    /// The position as the engine last reported it, within [0, length]; 0 while nothing is open.
    qint64 positionUs() const override;
    /// The open file can be seeked; changes only together with track().
    bool canSeek() const override { return m_canSeek; }
    /// Jumps @p offsetUs from the position now (negative: back), to the exact frame; before the
    /// start lands on the start, past the end ends the file. seeked() follows.
    void seekBy(qint64 offsetUs) override;
    /// Jumps to @p positionUs, clamped to [0, length]; otherwise as seekBy().
    void seekTo(qint64 positionUs) override;

    bool isFullScreen() const override { return m_fullScreen; }
    /// Enters full screen on the screen of the player's window, or leaves it. Entering does
    /// nothing while nothing is open or the file has no picture. fullScreenChanged() follows a
    /// change. Full screen also ends by itself when the file closes (ends, is stopped or fails);
    /// a file replacing another keeps it while it has a picture.
    void setFullScreen(bool fullScreen) override;

    /// Frames the engine dropped, decoding and showing, since its start; 0 before.
    qint64 droppedFrames() const;

    /// Follows the engine once it is up, the first and each fresh one; the player calls it after
    /// connecting its own tracker.
    void connectEngine(MpvEngine& engine);

private:
    MpvEngine* engine() const;
    void onFileLoaded();
    void onPlaybackRestarted();
    void onPositionAnswered(double seconds);
    qint64 clampedUs(double seconds) const;
    void takeCover();
    void onPlayStateChange(int state);
    void closeTrack();
    void announceFullScreen();

    const EngineStart& m_start;
    const PlayStateTracker& m_tracker;
    FullScreenView& m_view;
    QWidget& m_player;
    TrackInfo m_track;
    QString m_lastPath; ///< the path of the last open, also once it closed
    quint64 m_serial = 0;
    bool m_canSeek = false;
    bool m_seeking = false;
    int m_seekAnswersDue = 0; ///< positions asked after jumps, to announce with seeked()
    bool m_coverDue = false;
    bool m_fullScreen = false;
};
