#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>

/**
 * @file
 * The media player as the window sees it.
 *
 * A PlayerFacade is the player control of the window: a widget (its display area) plus an engine
 * that opens, decodes and outputs media. The window drives it through five operations and learns
 * what it does through one notification; it uses nothing else of the player.
 *
 * Threads
 * -------
 * Every member, the notification included, belongs to the GUI thread. Calling from another thread
 * is undefined behaviour. An implementation may run threads of its own, but nothing of them is
 * visible here: playStateChange() is only ever emitted on the GUI thread, from the event loop,
 * never from inside setUrl(), play() or pause().
 *
 * Guarantees
 * ----------
 * 1. setUrl(path) followed by controls()->play() starts playback of that file. Setting the
 *    location alone starts it too (the player starts automatically); play() then merely makes
 *    sure it is not paused.
 * 2. pause() while playing leaves the player in PlayStatePaused; play() while paused resumes it
 *    into PlayStatePlaying.
 * 3. After every change of the play state, and at the end of every open (playback started or the
 *    open failed, even when the code did not change), playStateChange() is emitted.
 * 4. url() returns the location exactly as it was last set, byte for byte.
 *
 * Errors
 * ------
 * A call the engine refuses raises ProgramError (programerror.h): in the caller when the engine
 * does not take it, or from the event loop, where it reaches the application's report, when an
 * engine that takes calls without waiting refuses it afterwards. Nothing is retried. A file that
 * cannot be opened or played is not an error of the call: it shows only as the state
 * PlayStateReady after the open.
 */

/// The player's state code. The window tells apart only PlayStatePaused and PlayStatePlaying.
using PlayState = std::int32_t;

inline constexpr PlayState PlayStateUndefined = 0; ///< nothing opened yet
inline constexpr PlayState PlayStateStopped = 1;   ///< stopped, or idle after a file ended
inline constexpr PlayState PlayStatePaused = 2;
inline constexpr PlayState PlayStatePlaying = 3;
inline constexpr PlayState PlayStateBuffering = 6; ///< waiting for data from slow media
inline constexpr PlayState PlayStateMediaEnded = 8;
inline constexpr PlayState PlayStateReady = 10; ///< the last open failed; ready for another

/**
 * The transport object. It is fetched anew by PlayerFacade::controls() for each call and released
 * right after it: never keep one.
 */
class PlayerControls {
public:
    virtual ~PlayerControls() = default;

    /// Resumes a paused file; replays the location when it has ended or was stopped.
    virtual void play() = 0;
    /// Pauses the current file; a file still opening starts paused. Without a file, no effect:
    /// every later open starts playing again.
    virtual void pause() = 0;
};

class PlayerFacade : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;

    /**
     * Sets the location and opens it at once. The path is a local file path, absolute or relative
     * to the current directory; it is never taken for a protocol, a URL or standard input.
     * Opening replaces whatever plays now, without a stop first. Returns before the open is done;
     * its end is announced by playStateChange().
     */
    virtual void setUrl(const QString& path) = 0;

    /// The location as last set; "" before the first setUrl().
    virtual QString url() const = 0;

    /// A new transport object for one call: `player.controls()->play();`.
    virtual std::unique_ptr<PlayerControls> controls() = 0;

    /// The current state code: a fresh reading on every call.
    virtual PlayState playState() const = 0;

signals:
    /// See guarantee 3. @p newState is the state at the time of emission.
    void playStateChange(int newState);
};
