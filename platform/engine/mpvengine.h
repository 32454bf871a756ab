#pragma once

#include "enginewatch.h"
#include "playstatetracker.h"
#include "positionclock.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QVariant>

#include <cstdint>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

class SoundServerWatch;
struct MpvLibrary;
struct mpv_event;
struct mpv_event_property;
struct mpv_handle;
struct mpv_render_context;

/**
 * @file
 * One instance of the media engine with its software renderer, and the engine's reports turned
 * into Qt signals.
 *
 * Threads
 * -------
 * The constructor may run on any thread: it is the slow part of bringing the engine up (about a
 * tenth of a second) and the player runs it on a thread of its own. The object is then moved to
 * the GUI thread with moveToThread(), and from there on every member, attach() included, belongs
 * to the GUI thread, and every signal is emitted there, from the event loop.
 *
 * The engine calls two callbacks on threads of its own, installed by attach(): one when reports
 * are waiting, one when a new frame can be rendered. Each only posts a call to this object's
 * thread; neither touches the engine or any state, and neither may block or throw. Posted calls
 * still queued when the object is destroyed are dropped with it.
 *
 * While a file plays silently because the sound server has gone, a timer on the GUI thread looks
 * for its return once a second and reopens the sound output there (soundserverwatch.h).
 *
 * Waiting
 * -------
 * The engine's core does its work on a thread of its own and cannot be interrupted there: it will
 * not close a file, open the next or shut down before that file's reads return, which on a share
 * that stopped answering may be never. A synchronous call waits for the core, so nothing here
 * that the player calls at any moment is one:
 * - the commands (open(), stop(), setPaused(), ...) are queued and return at once; the core runs
 *   them in the order queued (mpv 0.35 runs every queued request through one queue on its core);
 * - the readings come from what the engine reported: droppedFrames() as it changes, position()
 *   from its answers carried forward by the clock (positionclock.h), holdsFile() and
 *   unansweredForMs() from its reports about files.
 * Only the readings of an open file's details (reading(), textBytes(), node(), videoFrame()) wait
 * for the core. The core answers them at once between a file's fileLoaded() and the next open or
 * stop, since it then works on that file and closes none; the player reads them only then.
 *
 * Files
 * -----
 * The player names each open by a serial number of its own, larger for every open, and the
 * reports about files carry it. The engine's own number for the file comes with its answer to
 * the open; a report that would come before that answer is held back until it has come, with
 * every report after it, so that their order is kept.
 *
 * Errors
 * ------
 * A command the engine cannot queue raises ProgramError with the engine's reason in the caller.
 * A command it refuses after queuing raises ProgramError from drainEvents(), in the event loop,
 * where it reaches the application's report; except an open, whose refusal ends that open as
 * failed (fileEnded() with Failed), and a seek, which the engine refuses only while it has no
 * file to seek and which then does nothing. The constructor raises ProgramError when the engine
 * cannot be created, configured or initialised; nothing is left behind then.
 *
 * Lifetime
 * --------
 * Destroying the object stops playback and releases the engine on the calling thread: the
 * callbacks are removed first, then the renderer, then the engine (the other order aborts the
 * process). That waits for the core, without a bound when a file's reads hang: an engine that
 * may be stuck is released with detach() instead, on a thread of its own.
 */
class MpvEngine final : public QObject {
    Q_OBJECT

public:
    /// Creates, configures and initialises an engine from @p mpv, and its software renderer, with
    /// the options of mpvEngineOptions() (mpvoptions.h).
    explicit MpvEngine(const MpvLibrary& mpv);
    ~MpvEngine() override;

    /// Installs the engine's callbacks and starts following the sound server (soundserverwatch.h).
    /// Call once, on the GUI thread, after moving the object there; reports already waiting are
    /// delivered by the next drainEvents().
    void attach();

    /// Emits a signal for every report the engine has waiting, in order, until none is left.
    void drainEvents();

    /**
     * Removes the callbacks and hands over the engine itself (its core, its threads and its
     * renderer): running the returned function releases it, and may block for as long as a file's
     * reads hang; it touches nothing of this object and may run on any thread. After this the
     * object reports nothing and takes no call; it only waits to be destroyed, which is then quick.
     * The pixel buffer of render() stays with the object.
     */
    std::function<void()> detach();

    /// Whether render() draws only a frame not rendered yet, or the current picture in any case
    /// (another size, another scaling: the same frame drawn again; black while nothing plays).
    enum class Redraw { NewFrameOnly, Always };

    /**
     * Renders the newest frame into @p frame at @p pixelSize, when the engine has one that was not
     * rendered yet or @p redraw asks for it. @p frame is (re)made to share this engine's pixel
     * buffer when its size changes, so it and every copy of it stay valid only until the next
     * render() at another size or the engine's end. Returns whether @p frame holds a new picture.
     * The frame has an alpha channel (QImage::Format_ARGB32_Premultiplied, or Format_ARGB32 for a
     * picture with an alpha channel of its own) and is transparent where the picture does not
     * reach (the bars beside it): paint it over black, never copy its bytes to the screen as they
     * are. @p frame is remade also when its format changes.
     */
    bool render(QImage& frame, QSize pixelSize, Redraw redraw = Redraw::NewFrameOnly);
    /// The render is fastest with rows, and the buffer they start in, aligned to this many bytes.
    static constexpr std::size_t kRowAlignment = 64;
    /// Bytes a row of @p width pixels of 4 bytes takes, rounded up to kRowAlignment.
    static constexpr std::size_t rowStride(int width)
    {
        return (std::size_t(width) * 4 + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
    }
    /// Renders as render() does, into @p pixels of the caller's: @p pixelSize, @p stride bytes a row
    /// (best rowStride()), in XRGB byte order (B, G, R, then a byte left 0), for a surface that
    /// ignores the fourth byte: bars black, the picture opaque, an alpha channel of its own dropped.
    bool renderOpaque(uchar* pixels, QSize pixelSize, std::size_t stride, Redraw redraw = Redraw::NewFrameOnly);
    /// Whether the picture playing has an alpha channel of its own (renderOpaque() drops it).
    bool hasAlpha() const { return m_hasAlpha; }

    // Commands: queued, in order; each returns at once.

    /// Opens the file at @p absolutePath in place of whatever plays; the reports about it carry
    /// @p serial, which must be larger than that of every open before.
    void open(qint64 serial, const QByteArray& absolutePath);
    void stop();
    void setPaused(bool paused);
    /// 0 to 100 (cubic: 50 is an eighth of the amplitude).
    void setVolume(double volume);
    void setMuted(bool muted);
    /// Whether the picture is scaled up to fill the render size (full screen), or kept at its
    /// own size and only scaled down when too big (the display strip). Either keeps the aspect.
    void setScaledToFit(bool fit);

    /// Jumps to @p seconds (Absolute) or by @p seconds (Relative), to the exact frame, also while
    /// paused; the engine clamps a jump before the start to the start, and one past the end ends
    /// the file. An absolute negative value counts from the end: callers clamp. seekStarted() and
    /// playbackRestarted() follow; nothing happens while the engine has no file to seek.
    enum class SeekMode { Absolute, Relative };
    void seek(double seconds, SeekMode mode);

    // What the engine reported; these never wait.

    /// The playback position now, in seconds: the engine's last answer carried forward while
    /// playback goes on; nothing while no file is open. Asks the engine again, without waiting,
    /// when that answer has grown old.
    std::optional<double> position();
    /// Frames dropped, decoding and showing, since the engine's start.
    double droppedFrames() const { return m_droppedFrames + m_decoderDroppedFrames; }
    /// Whether the engine works on a file: it began to open it and has not reported its end.
    bool holdsFile() const { return m_watch.holdsFile(); }
    /// For how long the engine has owed an answer about the file it holds (enginewatch.h):
    /// nothing when it owes none.
    std::optional<qint64> unansweredForMs() const;

    // Readings of the open file's details: they wait for the engine's core (see Waiting above).
    // They never fail: nothing (or an empty value) when the property is unavailable.

    std::optional<double> reading(const char* name) const;
    /// A text property as its bytes: file paths are not always UTF-8.
    QByteArray textBytes(const char* name) const;
    /// A structured property (`track-list`, `metadata`) as maps, lists, texts and numbers.
    QVariant node(const char* name) const;
    /// The frame the engine shows now, at the video's own size and without scaling, copied into
    /// memory of its own; null when there is none (no video, nothing decoded yet).
    QImage videoFrame() const;

signals:
    void fileStarted(qint64 serial);
    /// The file last started is open: its tags, length and tracks can be read.
    void fileLoaded();
    /// A jump began (seek()); the playbackRestarted() after it ends it. Several jumps in a row
    /// may end in one restart.
    void seekStarted();
    /// Playback (re)started after an open or a seek.
    void playbackRestarted();
    void fileEnded(qint64 serial, PlayStateTracker::EndReason reason);
    void pauseChanged(bool paused);
    void idleChanged(bool idle);
    /// Playback waits for data from slow media, or no longer does (also when a file ends).
    void cacheWaitChanged(bool waiting);
    /// The engine's answer about the position, in seconds: after every playbackRestarted(), when
    /// playback stops or goes on, and when position() found the last answer old.
    void positionAnswered(double seconds);
    /// A new frame can be rendered.
    void frameReady();

private:
    struct Core;

    static void onWakeup(void* engine);
    static void onRenderUpdate(void* engine);
    void dispatch(const mpv_event& event);
    void dispatchProperty(std::uint64_t observed, const mpv_event_property& property);
    void dispatchReply(const mpv_event& event);
    void answerOpen(std::uint64_t userdata, const mpv_event& event);
    /// Runs @p report now, or holds it back while it, or a report before it, names an engine
    /// entry (@p entry; -1 for none) whose open has not been answered yet.
    void deliver(qint64 entry, std::function<void()> report);
    void deliverHeld();
    bool awaitsAnswer(qint64 entry) const;
    qint64 serialOf(qint64 entry) const { return m_serialOfEntry.value(entry, -1); }
    void request(std::uint64_t kind, int status, const char* what);
    void setProperty(std::uint64_t kind, const char* name, int format, void* value);
    void reloadAudioOutput();
    void askPosition();
    /// Starts or stops the position's clock as playback goes on or stands; true when it asked
    /// the engine for the position, which it does on every change.
    bool followPlayback();
    mpv_handle* handle() const;
    /// Whether to render now: the engine has a new frame, or @p redraw asks for the last again.
    bool frameDue(Redraw redraw);
    bool renderInto(uchar* pixels, QSize pixelSize, std::size_t stride, const char* format);

    struct FreeDeleter {
        void operator()(uchar* memory) const;
    };

    const MpvLibrary& m_mpv;
    std::unique_ptr<Core> m_core;
    std::unique_ptr<uchar, FreeDeleter> m_pixels;
    QSize m_pixelSize;
    bool m_hasAlpha = false;      ///< the picture has an alpha channel
    bool m_straightAlpha = false; ///< ... and it is unpremultiplied
    std::unique_ptr<SoundServerWatch> m_soundWatch;
    EngineWatch m_watch;
    QHash<qint64, qint64> m_serialOfEntry; ///< the engine's entry ids of the player's opens
    int m_opensUnanswered = 0;
    std::deque<std::pair<qint64, std::function<void()>>> m_held;
    PositionClock m_clock;
    bool m_positionAsked = false;
    bool m_restarted = false; ///< playback started and no jump, end or other file since
    bool m_paused = false;
    bool m_waitingForData = false;
    double m_droppedFrames = 0;
    double m_decoderDroppedFrames = 0;
};
