#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>

class EngineStart;
class FullScreenView;
class MpvEngine;
class PlayerFacade;
class PlayStateTracker;

/// The file the player has open, as known once the open has got far enough to read its tags.
struct TrackInfo {
    /// New for every open, counting from 1; 0 while nothing is open.
    quint64 serial = 0;
    /// The absolute local path of the file as decodeFileName() gives it; "" while nothing is open.
    QString path{};
    /// The title tag, or the file name when the file has none.
    QString title{};
    /// The artist tag, split into names at ';'; empty when untagged.
    QStringList artists{};
    QString album{};
    /// The duration in microseconds; -1 while unknown or for a file without one.
    qint64 lengthUs = -1;
    /// The cover art embedded in the file, at its own size; null when it has none, and until it
    /// is decoded, shortly after the tags (trackChanged() then comes again, same serial).
    QImage cover{};
    /// Full screen has something to show: a video track or embedded cover art.
    bool hasPicture = false;
};

/**
 * What the player knows about the file it plays beyond the window's contract, and what it lets
 * others do with it: position, seeking, tags, cover art and full screen.
 *
 * MpvPlayer owns one as a direct child, made in its constructor. The names and meanings are
 * those of the desktop's media controls: positions and lengths in microseconds, a serial per
 * open.
 *
 * Threads
 * -------
 * Every member, signals included, belongs to the GUI thread. Signals are emitted only from the
 * event loop, never from inside a call of this class or of the player's.
 *
 * Engine start
 * ------------
 * No call waits for the engine. Until it is up, or when it failed to come up, the readings are
 * those of "nothing open" and the commands do nothing.
 *
 * Errors
 * ------
 * Readings never fail. A command the engine refuses raises ProgramError in the caller; a command
 * that does not apply (nothing open, a file that cannot be seeked, nothing to show full screen)
 * does nothing.
 */
class MpvMedia final : public QObject {
    Q_OBJECT

public:
    MpvMedia(const EngineStart& start, const PlayStateTracker& tracker, FullScreenView& view, PlayerFacade& player);

    /// The open file; a cheap copy.
    TrackInfo track() const { return m_track; }
    /// The position read from the engine on this call, within [0, length]; 0 while nothing is open.
    qint64 positionUs() const;
    /// The open file can be seeked; changes only together with track().
    bool canSeek() const { return m_canSeek; }
    /// Jumps @p offsetUs from the position now (negative: back), to the exact frame; before the
    /// start lands on the start, past the end ends the file. seeked() follows.
    void seekBy(qint64 offsetUs);
    /// Jumps to @p positionUs, clamped to [0, length]; otherwise as seekBy().
    void seekTo(qint64 positionUs);

    bool isFullScreen() const { return m_fullScreen; }
    /// Enters full screen on the screen of the player's window, or leaves it. Entering does
    /// nothing while nothing is open or the file has no picture. fullScreenChanged() follows a
    /// change. Full screen also ends by itself when the file closes (ends, is stopped or fails);
    /// a file replacing another keeps it while it has a picture.
    void setFullScreen(bool fullScreen);

    /// Frames the engine dropped, decoding and showing, since its start; 0 before.
    qint64 droppedFrames() const;

    /// Follows the engine once it is up; the player calls it after connecting its own tracker.
    void connectEngine(MpvEngine& engine);

signals:
    /// track() changed: a new open (new serial), its cover decoded (same serial), or the file
    /// closed (serial 0). Emitted before the player announces the open as playing.
    void trackChanged();
    /// The position jumped to @p positionUs: after a seek, or an open of the file that was open
    /// last (a replay: 0, after its trackChanged()).
    void seeked(qint64 positionUs);
    void fullScreenChanged(bool fullScreen);

private:
    MpvEngine* engine() const;
    void onFileLoaded();
    void onPlaybackRestarted();
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
    bool m_coverDue = false;
    bool m_fullScreen = false;
};
