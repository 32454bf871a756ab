#pragma once

#include "playstatetracker.h"

#include <QImage>
#include <QObject>

#include <cstdint>

#include <memory>
#include <span>
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
    /// An option set on the engine before it is initialised.
    using Option = std::pair<const char*, const char*>;
    /// The options every engine is created with, in order. The sound outputs to try, the first,
    /// are chosen from the sound servers there are as the first engine is created
    /// (soundOutputList() in soundservers.h).
    static std::span<const Option> options();

    /// Creates, configures and initialises an engine from @p mpv, and its software renderer.
    explicit MpvEngine(const MpvLibrary& mpv);
    ~MpvEngine() override;

    /// Installs the engine's callbacks and starts following the sound server (soundserverwatch.h).
    /// Call once, on the GUI thread, after moving the object there; reports already waiting are
    /// delivered by the next drainEvents().
    void attach();

    /// Emits a signal for every report the engine has waiting, in order, until none is left.
    void drainEvents();

    /**
     * Renders the newest frame into @p frame at @p pixelSize, when the engine has one that was not
     * rendered yet. @p frame is (re)made to share this engine's pixel buffer when its size changes,
     * so it stays valid only until the next render() at another size or the engine's end.
     * Returns whether @p frame holds a new picture.
     */
    bool render(QImage& frame, QSize pixelSize);

    bool flag(const char* name) const;
    void setFlag(const char* name, bool value);
    double number(const char* name) const;
    void setNumber(const char* name, double value);
    /// Opens the file at @p absolutePath in place of whatever plays; returns its entry id.
    qint64 loadFile(const QByteArray& absolutePath);
    void stop();

signals:
    void fileStarted(qint64 entry);
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
    std::unique_ptr<SoundServerWatch> m_soundWatch;
};
