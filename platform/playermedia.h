#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>

/**
 * @file
 * What the player knows about the file it plays, and what it lets others do with it beyond the
 * window's transport: position, seeking, tags, cover art and full screen.
 *
 * PlayerFacade (playerfacade.h) stays the window's narrow contract. This is a second surface of
 * the same player, for the desktop's media controls and for full screen. A player that offers it
 * owns exactly one PlayerMedia as a direct child QObject, created in the player's constructor and
 * destroyed with the player; playerMediaOf() finds it. A player without one (a test double, say)
 * offers none of this, and its users go on without it.
 *
 * Threads
 * -------
 * Every member, signals included, belongs to the GUI thread. Calling from another thread is
 * undefined behaviour. Signals are only ever emitted from the event loop, never from inside a call
 * of this interface or of PlayerFacade: seekBy() returns before its seeked() arrives.
 *
 * Engine start
 * ------------
 * No call waits for the engine to come up. Until it is up, or when it failed to come up, the
 * readings are those of "nothing open" (track() with serial 0, positionUs() 0, canSeek() false,
 * isFullScreen() false) and the commands do nothing.
 *
 * Errors
 * ------
 * Readings never fail. A command the engine refuses raises ProgramError (programerror.h) as
 * PlayerFacade's do (in the caller, or from the event loop); a command that does not apply (nothing open, a file that
 * cannot be seeked, no picture) is no error: it does nothing and is not announced.
 */

/// The file the player has open, as known once the open has got far enough to read its tags.
/// Every member has a default, so that `TrackInfo{.serial = 1, .path = ...}` may leave any out.
struct TrackInfo {
    /// New for every open, counting from 1; 0 while nothing is open. A replay of the same path
    /// (play() after the file ended or was stopped) is a new open and gets a new serial.
    quint64 serial = 0;
    /// The absolute local path of the file; "" while nothing is open.
    QString path{};
    /// The title tag, or the file name (the last part of path) when the file has none.
    QString title{};
    /// The artist tag split into names, in order; empty when untagged.
    QStringList artists{};
    /// The album tag; "" when untagged.
    QString album{};
    /// The duration in microseconds; -1 while unknown or for a file without one.
    qint64 lengthUs = -1;
    /// The cover art embedded in the file, at its own size; null when it has none.
    QImage cover{};
    /// Whether full screen has something to show: a video track or embedded cover art. False for
    /// sound alone.
    bool hasPicture = false;
};

class PlayerMedia : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    /// The open file. A copy; cheap (the cover's pixels are shared).
    virtual TrackInfo track() const = 0;

    /// The playback position in microseconds, from 0 to the length, as the player's engine last
    /// reported it: several times a second while it plays, and once a jump has landed; 0 while
    /// nothing is open. Never waits for the engine, which may be busy with a file that does not
    /// answer.
    virtual qint64 positionUs() const = 0;

    /// Whether the open file can be seeked: true for an ordinary local file with a length, false
    /// while nothing is open. Changes only together with track(), announced by trackChanged().
    virtual bool canSeek() const = 0;

    /**
     * Jumps @p offsetUs microseconds forward (negative: back) from the position at the time of the
     * call, clamped to [0, length]: past the start lands on the start, past the end on the end
     * (where the file ends as if it had played there). Paused stays paused. seeked() follows once
     * the jump is done. Nothing happens while canSeek() is false.
     */
    virtual void seekBy(qint64 offsetUs) = 0;

    /// Jumps to @p positionUs, clamped to [0, length]; otherwise as seekBy().
    virtual void seekTo(qint64 positionUs) = 0;

    /// Whether the player shows its picture full screen now.
    virtual bool isFullScreen() const = 0;

    /**
     * Enters or leaves full screen. Entering does nothing while nothing is open or the open file
     * has no picture (track().hasPicture false); asking for the state already held does nothing.
     * fullScreenChanged() follows a change. The player's window is neither resized, moved nor
     * reparented by either.
     */
    virtual void setFullScreen(bool fullScreen) = 0;

signals:
    /**
     * track() has changed: the open's tags and length are known (a new serial), more became known
     * about the same open (the cover decoded after the tags: same serial, emitted again), or the
     * file has closed (serial 0: it ended, was stopped, failed or was replaced). When one file
     * replaces another, the close of the first may be skipped: one emission, for the new file.
     * Emitted before the playStateChange() that reports the open as playing.
     */
    void trackChanged();

    /**
     * The position jumped and playback goes on from @p positionUs (microseconds): after every
     * completed seekBy() or seekTo(), every seek from the player's own keys or menu (full screen),
     * and a replay of the file from its start by play() after it ended or was stopped (then after
     * the replay's trackChanged(), with 0). Not for ordinary playback, nor for the start of an
     * open otherwise. One emission per jump; jumps made in quick succession may be coalesced into
     * one, for where the last landed.
     */
    void seeked(qint64 positionUs);

    /**
     * isFullScreen() has changed to @p fullScreen, whatever asked: setFullScreen(), the user in the
     * player (double-click, menu, Escape), or the player itself. Full screen ends by itself, with
     * this signal, when the file it shows closes.
     */
    void fullScreenChanged(bool fullScreen);
};

/// The PlayerMedia of @p player (a direct child), or nullptr when the player offers none.
inline PlayerMedia* playerMediaOf(const QObject& player)
{
    return player.findChild<PlayerMedia*>(QString(), Qt::FindDirectChildrenOnly);
}
