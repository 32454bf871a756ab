#pragma once

#include "playstatetracker.h"

#include <QImage>
#include <QObject>
#include <QVariant>

#include <cstdint>

#include <memory>
#include <optional>

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
 * Errors
 * ------
 * A call the engine refuses raises ProgramError with the engine's reason. The constructor raises
 * it when the engine cannot be created, configured or initialised; nothing is left behind then.
 *
 * Lifetime
 * --------
 * Destroying the object stops playback at once and releases the engine: the callbacks are
 * removed first, then the renderer, then the engine (the other order aborts the process).
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

    /// Whether the picture is scaled up to fill the render size (full screen), or kept at its
    /// own size and only scaled down when too big (the display strip). Either keeps the aspect.
    void setScaledToFit(bool fit);

    bool flag(const char* name) const;
    void setFlag(const char* name, bool value);
    double number(const char* name) const;
    void setNumber(const char* name, double value);

    // Readings that never fail: nothing (or an empty value) when the property is unavailable,
    // as most are while no file is open.

    std::optional<double> reading(const char* name) const;
    /// A text property as its bytes: file paths are not always UTF-8.
    QByteArray textBytes(const char* name) const;
    /// A structured property (`track-list`, `metadata`) as maps, lists, texts and numbers.
    QVariant node(const char* name) const;
    /// The frame the engine shows now, at the video's own size and without scaling, copied into
    /// memory of its own; null when there is none (no video, nothing decoded yet).
    QImage videoFrame() const;

    /// Jumps to @p seconds (Absolute) or by @p seconds (Relative), to the exact frame, also while
    /// paused; the engine clamps a jump before the start to the start, and one past the end ends
    /// the file. An absolute negative value counts from the end: callers clamp. seekStarted() and
    /// playbackRestarted() follow. Returns false, and does nothing, when the engine has no file to
    /// seek (one that ended a moment ago, before its end was reported).
    enum class SeekMode { Absolute, Relative };
    bool seek(double seconds, SeekMode mode);
    /// Opens the file at @p absolutePath in place of whatever plays; returns its entry id.
    qint64 loadFile(const QByteArray& absolutePath);
    void stop();

signals:
    void fileStarted(qint64 entry);
    /// The file last started is open: its tags, length and tracks can be read.
    void fileLoaded();
    /// A jump began (seek()); the playbackRestarted() after it ends it. Several jumps in a row
    /// may end in one restart.
    void seekStarted();
    /// Playback (re)started after an open or a seek.
    void playbackRestarted();
    void fileEnded(qint64 entry, PlayStateTracker::EndReason reason);
    void pauseChanged(bool paused);
    void idleChanged(bool idle);
    /// Playback waits for data from slow media, or no longer does (also when a file ends).
    void cacheWaitChanged(bool waiting);
    /// A new frame can be rendered.
    void frameReady();

private:
    static void onWakeup(void* engine);
    static void onRenderUpdate(void* engine);
    void dispatch(const mpv_event& event);
    void dispatchProperty(std::uint64_t observed, const mpv_event_property& property);
    void reloadAudioOutput();
    mpv_handle* handle() const { return m_handle.get(); }

    struct HandleDeleter {
        const MpvLibrary* mpv;
        void operator()(mpv_handle* handle) const;
    };
    struct RenderContextDeleter {
        const MpvLibrary* mpv;
        void operator()(mpv_render_context* context) const;
    };
    struct FreeDeleter {
        void operator()(uchar* memory) const;
    };

    const MpvLibrary& m_mpv;
    // Declared in this order so that the render context is freed before the engine is destroyed.
    std::unique_ptr<mpv_handle, HandleDeleter> m_handle;
    std::unique_ptr<mpv_render_context, RenderContextDeleter> m_render;
    std::unique_ptr<uchar, FreeDeleter> m_pixels;
    QSize m_pixelSize;
    bool m_straightAlpha = false; ///< the picture has an alpha channel, unpremultiplied
    std::unique_ptr<SoundServerWatch> m_soundWatch;
};
