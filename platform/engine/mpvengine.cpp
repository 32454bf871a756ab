#include "mpvengine.h"

#include "mpvlibrary.h"
#include "mpvnode.h"
#include "mpvoptions.h"
#include "programerror.h"
#include "soundserverwatch.h"

#include <QDeadlineTimer>

#include <cstdlib>
#include <cstring>
#include <exception>

namespace {

enum ObservedProperty : std::uint64_t {
    ObservedPause = 1,
    ObservedIdle,
    ObservedCacheWait,
    ObservedAudioOutput,
    ObservedDroppedFrames,
    ObservedDecoderDroppedFrames,
    ObservedAlpha,
};

// What a reply answers: the low byte of its userdata; an open's serial sits above it.
enum Request : std::uint64_t {
    RequestOpen = 1,
    RequestStop,
    RequestSeek,
    RequestReloadAudio,
    RequestPause,
    RequestVolume,
    RequestMute,
    RequestScaling,
    RequestPosition,
};
constexpr int kSerialShift = 8;
constexpr std::uint64_t kRequestMask = 0xff;

void check(const MpvLibrary& mpv, int status, const char* what)
{
    if (status < 0) {
        throw ProgramError(QStringLiteral("The media engine refused %1: %2")
                               .arg(QString::fromUtf8(what), QString::fromUtf8(mpv.error_string(status))));
    }
}

const char* refusedWhat(std::uint64_t request)
{
    switch (request) {
    case RequestStop:
        return "to stop";
    case RequestReloadAudio:
        return "to reopen the sound output";
    case RequestPause:
        return "pause";
    case RequestVolume:
        return "volume";
    case RequestMute:
        return "mute";
    case RequestScaling:
        return "video-unscaled";
    default:
        return "a request";
    }
}

PlayStateTracker::EndReason endReason(mpv_end_file_reason reason)
{
    switch (reason) {
    case MPV_END_FILE_REASON_EOF:
        return PlayStateTracker::EndReason::EndOfFile;
    case MPV_END_FILE_REASON_STOP:
    case MPV_END_FILE_REASON_QUIT:
        return PlayStateTracker::EndReason::Stopped;
    case MPV_END_FILE_REASON_ERROR:
        return PlayStateTracker::EndReason::Failed;
    case MPV_END_FILE_REASON_REDIRECT:
        break;
    }
    return PlayStateTracker::EndReason::Other;
}

qint64 nowMs()
{
    return QDeadlineTimer::current().deadline();
}

} // namespace

// The engine itself, apart from the object that reports it, so that it can be released elsewhere.
// Declared in this order so that the render context is freed before the engine is destroyed.
struct MpvEngine::Core {
    struct HandleDeleter {
        const MpvLibrary* mpv;
        void operator()(mpv_handle* handle) const { mpv->terminate_destroy(handle); }
    };
    struct RenderContextDeleter {
        const MpvLibrary* mpv;
        void operator()(mpv_render_context* context) const
        {
            mpv->render_context_set_update_callback(context, nullptr, nullptr);
            mpv->render_context_free(context);
        }
    };

    explicit Core(const MpvLibrary& mpv)
        : handle(mpv.create(), HandleDeleter{&mpv})
        , render(nullptr, RenderContextDeleter{&mpv})
    {
    }

    std::unique_ptr<mpv_handle, HandleDeleter> handle;
    std::unique_ptr<mpv_render_context, RenderContextDeleter> render;
};

void MpvEngine::FreeDeleter::operator()(uchar* memory) const
{
    std::free(memory);
}

MpvEngine::MpvEngine(const MpvLibrary& mpv)
    : m_mpv(mpv)
    , m_core(std::make_unique<Core>(mpv))
{
    if (!m_core->handle) {
        throw ProgramError(QStringLiteral("The media engine could not be started."));
    }
    for (const auto& [name, value] : mpvEngineOptions()) {
        check(m_mpv, m_mpv.set_option_string(handle(), name, value), name);
    }
    check(m_mpv, m_mpv.initialize(handle()), "to start");
    const std::pair<ObservedProperty, const char*> flags[] = {
        {ObservedPause, "pause"}, {ObservedIdle, "idle-active"}, {ObservedCacheWait, "paused-for-cache"}};
    for (const auto& [id, name] : flags) {
        check(m_mpv, m_mpv.observe_property(handle(), id, name, MPV_FORMAT_FLAG), name);
    }
    check(m_mpv, m_mpv.observe_property(handle(), ObservedAudioOutput, "current-ao", MPV_FORMAT_STRING), "current-ao");
    const std::pair<ObservedProperty, const char*> numbers[] = {
        {ObservedDroppedFrames, "frame-drop-count"}, {ObservedDecoderDroppedFrames, "decoder-frame-drop-count"}};
    for (const auto& [id, name] : numbers) {
        check(m_mpv, m_mpv.observe_property(handle(), id, name, MPV_FORMAT_DOUBLE), name);
    }
    check(m_mpv, m_mpv.observe_property(handle(), ObservedAlpha, "video-params/alpha", MPV_FORMAT_STRING),
          "video-params/alpha");

    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_SW)},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context* render = nullptr;
    check(m_mpv, m_mpv.render_context_create(&render, handle(), params), "the software renderer");
    m_core->render.reset(render);
}

MpvEngine::~MpvEngine()
{
    if (m_core) {
        // After this no callback can post a call to the object that is going away.
        m_mpv.set_wakeup_callback(handle(), nullptr, nullptr);
    }
}

mpv_handle* MpvEngine::handle() const
{
    return m_core->handle.get();
}

void MpvEngine::attach()
{
    m_soundWatch = std::make_unique<SoundServerWatch>();
    // Errors of the reopen go to the report, not through the timer's code.
    connect(m_soundWatch.get(), &SoundServerWatch::serverReturned, this,
            reportingErrors([this] { reloadAudioOutput(); }));
    m_mpv.render_context_set_update_callback(m_core->render.get(), &MpvEngine::onRenderUpdate, this);
    m_mpv.set_wakeup_callback(handle(), &MpvEngine::onWakeup, this);
}

std::function<void()> MpvEngine::detach()
{
    // Neither call waits for the core: each takes a lock that only its callback holds.
    m_mpv.set_wakeup_callback(handle(), nullptr, nullptr);
    m_mpv.render_context_set_update_callback(m_core->render.get(), nullptr, nullptr);
    m_soundWatch.reset();
    m_held.clear();
    std::shared_ptr<Core> core(std::move(m_core));
    return [core]() mutable { core.reset(); };
}

void MpvEngine::onWakeup(void* engine)
{
    auto* self = static_cast<MpvEngine*>(engine);
    QMetaObject::invokeMethod(self, &MpvEngine::drainEvents, Qt::QueuedConnection);
}

void MpvEngine::onRenderUpdate(void* engine)
{
    auto* self = static_cast<MpvEngine*>(engine);
    QMetaObject::invokeMethod(self, &MpvEngine::frameReady, Qt::QueuedConnection);
}

void MpvEngine::drainEvents()
{
    // A receiver may raise an error that leaves this loop early; the reports still waiting must
    // not wait for the engine's next wakeup.
    struct DrainAgainIfUnwinding {
        MpvEngine* engine;
        int exceptions = std::uncaught_exceptions();
        ~DrainAgainIfUnwinding()
        {
            if (std::uncaught_exceptions() > exceptions) {
                QMetaObject::invokeMethod(engine, &MpvEngine::drainEvents, Qt::QueuedConnection);
            }
        }
    } guard{this};
    deliverHeld();
    // A receiver may detach the engine (the player giving it up) from inside a report.
    while (m_core) {
        const mpv_event* event = m_mpv.wait_event(handle(), 0);
        if (event->event_id == MPV_EVENT_NONE) {
            return;
        }
        dispatch(*event);
    }
}

void MpvEngine::deliver(qint64 entry, std::function<void()> report)
{
    if (!m_held.empty() || awaitsAnswer(entry)) {
        m_held.emplace_back(entry, std::move(report));
        return;
    }
    report();
}

void MpvEngine::deliverHeld()
{
    while (m_core && !m_held.empty() && !awaitsAnswer(m_held.front().first)) {
        const std::function<void()> report = std::move(m_held.front().second);
        m_held.pop_front();
        report();
    }
}

bool MpvEngine::awaitsAnswer(qint64 entry) const
{
    return entry >= 0 && m_opensUnanswered > 0 && !m_serialOfEntry.contains(entry);
}

void MpvEngine::dispatch(const mpv_event& event)
{
    switch (event.event_id) {
    case MPV_EVENT_START_FILE: {
        const qint64 entry = static_cast<const mpv_event_start_file*>(event.data)->playlist_entry_id;
        deliver(entry, [this, entry] {
            if (const qint64 serial = serialOf(entry); serial >= 0) {
                m_watch.fileStarted(serial, nowMs());
                m_restarted = false;
                m_clock.answered(std::nullopt, nowMs());
                followPlayback();
                emit fileStarted(serial);
            }
        });
        break;
    }
    case MPV_EVENT_FILE_LOADED:
        deliver(-1, [this] { emit fileLoaded(); });
        break;
    case MPV_EVENT_SEEK:
        deliver(-1, [this] {
            m_restarted = false;
            followPlayback();
            emit seekStarted();
        });
        break;
    case MPV_EVENT_PLAYBACK_RESTART:
        deliver(-1, [this] {
            m_watch.playbackRestarted();
            m_restarted = true;
            if (!followPlayback()) {
                askPosition(); // where it restarts, also while paused
            }
            emit playbackRestarted();
        });
        break;
    case MPV_EVENT_END_FILE: {
        const auto* ended = static_cast<const mpv_event_end_file*>(event.data);
        const qint64 entry = ended->playlist_entry_id;
        const PlayStateTracker::EndReason reason = endReason(ended->reason);
        deliver(entry, [this, entry, reason] {
            if (const qint64 serial = serialOf(entry); serial >= 0) {
                m_watch.fileEnded(serial);
                m_restarted = false;
                m_clock.answered(std::nullopt, nowMs());
                followPlayback();
                emit fileEnded(serial, reason);
            }
        });
        break;
    }
    case MPV_EVENT_PROPERTY_CHANGE:
        dispatchProperty(event.reply_userdata, *static_cast<const mpv_event_property*>(event.data));
        break;
    case MPV_EVENT_GET_PROPERTY_REPLY:
    case MPV_EVENT_SET_PROPERTY_REPLY:
    case MPV_EVENT_COMMAND_REPLY:
        dispatchReply(event);
        break;
    case MPV_EVENT_NONE:
    case MPV_EVENT_SHUTDOWN:
    case MPV_EVENT_LOG_MESSAGE:
    case MPV_EVENT_IDLE: // followed through the idle-active property instead
    case MPV_EVENT_TICK:
    case MPV_EVENT_CLIENT_MESSAGE:
    case MPV_EVENT_VIDEO_RECONFIG:
    case MPV_EVENT_AUDIO_RECONFIG:
    case MPV_EVENT_QUEUE_OVERFLOW:
    case MPV_EVENT_HOOK:
        break;
    }
}

void MpvEngine::dispatchProperty(std::uint64_t observed, const mpv_event_property& property)
{
    // Without a file a property may be unavailable: format NONE and no data.
    const bool available = property.format != MPV_FORMAT_NONE && property.data != nullptr;
    const bool flag = available && property.format == MPV_FORMAT_FLAG && *static_cast<const int*>(property.data) != 0;
    const std::optional<double> number = available && property.format == MPV_FORMAT_DOUBLE
                                             ? std::optional(*static_cast<const double*>(property.data))
                                             : std::nullopt;
    switch (ObservedProperty(observed)) {
    case ObservedPause:
        if (available) {
            deliver(-1, [this, flag] {
                m_soundWatch->pausedChanged(flag);
                m_paused = flag;
                followPlayback();
                emit pauseChanged(flag);
            });
        }
        break;
    case ObservedIdle:
        if (available) {
            deliver(-1, [this, flag] { emit idleChanged(flag); });
        }
        break;
    case ObservedCacheWait:
        // Unavailable once a file ends: no wait then, or the next file would read "buffering".
        deliver(-1, [this, flag] {
            m_watch.cacheWaitChanged(flag, nowMs());
            m_waitingForData = flag;
            followPlayback();
            emit cacheWaitChanged(flag);
        });
        break;
    case ObservedAudioOutput: {
        // Unavailable while no output is open.
        const bool named = available && property.format == MPV_FORMAT_STRING;
        m_soundWatch->outputChanged(named ? QByteArray(*static_cast<const char* const*>(property.data)) : QByteArray());
        break;
    }
    case ObservedDroppedFrames:
        m_droppedFrames = number.value_or(0);
        break;
    case ObservedDecoderDroppedFrames:
        m_decoderDroppedFrames = number.value_or(0);
        break;
    case ObservedAlpha:
        // "straight" or "premul" for a picture with an alpha channel; unavailable without one.
        m_hasAlpha = available;
        m_straightAlpha = available && property.format == MPV_FORMAT_STRING &&
                          std::strcmp(*static_cast<const char* const*>(property.data), "straight") == 0;
        break;
    }
}

void MpvEngine::dispatchReply(const mpv_event& event)
{
    const std::uint64_t request = event.reply_userdata & kRequestMask;
    if (request == RequestOpen) {
        answerOpen(event.reply_userdata, event);
    } else if (request == RequestPosition) {
        const auto* property = static_cast<const mpv_event_property*>(event.data);
        const std::optional<double> seconds = event.error >= 0 && property->format == MPV_FORMAT_DOUBLE
                                                  ? std::optional(*static_cast<const double*>(property->data))
                                                  : std::nullopt;
        deliver(-1, [this, seconds] {
            m_positionAsked = false;
            m_clock.answered(seconds, nowMs());
            if (seconds) {
                emit positionAnswered(*seconds);
            }
        });
    } else if (request != RequestSeek) {
        // A seek is refused only while there is no file to seek: nothing to do then.
        check(m_mpv, event.error, refusedWhat(request));
    }
}

void MpvEngine::answerOpen(std::uint64_t userdata, const mpv_event& event)
{
    --m_opensUnanswered;
    const auto serial = qint64(userdata >> kSerialShift);
    if (event.error < 0) {
        deliver(-1, [this, serial] { emit fileEnded(serial, PlayStateTracker::EndReason::Failed); });
    } else {
        const mpv_node& result = static_cast<const mpv_event_command*>(event.data)->result;
        const QVariant entry = toVariant(result).toMap().value(QStringLiteral("playlist_entry_id"));
        if (entry.typeId() == QMetaType::LongLong) {
            m_serialOfEntry.insert(entry.toLongLong(), serial);
        }
    }
    deliverHeld();
}

bool MpvEngine::render(QImage& frame, QSize pixelSize, Redraw redraw)
{
    // A frame is due before the buffer is remade at a new size: the frame is painted from the
    // buffer, whatever it holds, until the next render fills it.
    if (pixelSize.isEmpty() || !frameDue(redraw)) {
        return false;
    }
    const std::size_t stride = rowStride(pixelSize.width());
    if (pixelSize != m_pixelSize) {
        m_pixels.reset(
            static_cast<uchar*>(std::aligned_alloc(kRowAlignment, stride * std::size_t(pixelSize.height()))));
        m_pixelSize = pixelSize;
    }
    // "bgra" is QImage's ARGB32 byte order on a little-endian machine. The engine writes alpha 255
    // over an opaque picture and clears the bars around it to 0: premultiplied as it stands, the
    // format Qt blends fastest. A picture with an alpha channel of its own keeps it unpremultiplied.
    // (The padding byte of "bgr0" would be 0 everywhere, and a compositor that takes a window's
    // alpha, as Wayland's do, would show through it.)
    const QImage::Format format = m_straightAlpha ? QImage::Format_ARGB32 : QImage::Format_ARGB32_Premultiplied;
    if (frame.constBits() != m_pixels.get() || frame.size() != pixelSize || frame.format() != format) {
        frame = QImage(m_pixels.get(), pixelSize.width(), pixelSize.height(), qsizetype(stride), format);
    }
    return renderInto(m_pixels.get(), pixelSize, stride, "bgra");
}

bool MpvEngine::renderOpaque(uchar* pixels, QSize pixelSize, std::size_t stride, Redraw redraw)
{
    return !pixelSize.isEmpty() && frameDue(redraw) && renderInto(pixels, pixelSize, stride, "bgr0");
}

bool MpvEngine::frameDue(Redraw redraw)
{
    const bool newFrame = (m_mpv.render_context_update(m_core->render.get()) & MPV_RENDER_UPDATE_FRAME) != 0;
    return newFrame || redraw == Redraw::Always;
}

bool MpvEngine::renderInto(uchar* pixels, QSize pixelSize, std::size_t stride, const char* format)
{
    int size[2] = {pixelSize.width(), pixelSize.height()};
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_SW_SIZE, size},      {MPV_RENDER_PARAM_SW_FORMAT, const_cast<char*>(format)},
        {MPV_RENDER_PARAM_SW_STRIDE, &stride}, {MPV_RENDER_PARAM_SW_POINTER, pixels},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    return m_mpv.render_context_render(m_core->render.get(), params) >= 0;
}

void MpvEngine::request(std::uint64_t kind, int status, const char* what)
{
    check(m_mpv, status, what);
    if ((kind & kRequestMask) == RequestOpen) {
        ++m_opensUnanswered;
    }
}

void MpvEngine::setProperty(std::uint64_t kind, const char* name, int format, void* value)
{
    request(kind, m_mpv.set_property_async(handle(), kind, name, mpv_format(format), value), name);
}

void MpvEngine::open(qint64 serial, const QByteArray& absolutePath)
{
    const char* args[] = {"loadfile", absolutePath.constData(), "replace", nullptr};
    const std::uint64_t kind = RequestOpen | (std::uint64_t(serial) << kSerialShift);
    request(kind, m_mpv.command_async(handle(), kind, args), "to open the file");
    m_watch.letGoAsked(nowMs());
}

void MpvEngine::stop()
{
    const char* args[] = {"stop", nullptr};
    request(RequestStop, m_mpv.command_async(handle(), RequestStop, args), "to stop");
    m_watch.letGoAsked(nowMs());
}

void MpvEngine::setPaused(bool paused)
{
    int flag = paused ? 1 : 0;
    setProperty(RequestPause, "pause", MPV_FORMAT_FLAG, &flag);
}

void MpvEngine::setVolume(double volume)
{
    setProperty(RequestVolume, "volume", MPV_FORMAT_DOUBLE, &volume);
}

void MpvEngine::setMuted(bool muted)
{
    int flag = muted ? 1 : 0;
    setProperty(RequestMute, "mute", MPV_FORMAT_FLAG, &flag);
}

void MpvEngine::setScaledToFit(bool fit)
{
    const char* value = fit ? "no" : kUnscaledInStrip;
    setProperty(RequestScaling, "video-unscaled", MPV_FORMAT_STRING, static_cast<void*>(&value));
}

void MpvEngine::seek(double seconds, SeekMode mode)
{
    // Exact: a jump to the nearest keyframe may land far off, or forward past the last keyframe,
    // at the end of the file.
    const QByteArray target = QByteArray::number(seconds, 'f', 6);
    const char* args[] = {"seek", target.constData(), mode == SeekMode::Absolute ? "absolute+exact" : "relative+exact",
                          nullptr};
    request(RequestSeek, m_mpv.command_async(handle(), RequestSeek, args), "to seek");
}

void MpvEngine::askPosition()
{
    request(RequestPosition, m_mpv.get_property_async(handle(), RequestPosition, "time-pos", MPV_FORMAT_DOUBLE),
            "time-pos");
    m_positionAsked = true;
}

bool MpvEngine::followPlayback()
{
    const bool running = m_restarted && !m_paused && !m_waitingForData;
    if (running == m_clock.isRunning()) {
        return false;
    }
    m_clock.setRunning(running, nowMs());
    askPosition();
    return true;
}

std::optional<double> MpvEngine::position()
{
    const qint64 now = nowMs();
    if (m_clock.isStale(now) && !m_positionAsked) {
        askPosition();
    }
    return m_clock.at(now);
}

void MpvEngine::reloadAudioOutput()
{
    // Tries the outputs in order again; the file plays on meanwhile, from where it is.
    const char* args[] = {"ao-reload", nullptr};
    request(RequestReloadAudio, m_mpv.command_async(handle(), RequestReloadAudio, args), "to reopen the sound output");
}

std::optional<qint64> MpvEngine::unansweredForMs() const
{
    const std::optional<qint64> since = m_watch.owesSince();
    if (!since) {
        return std::nullopt;
    }
    return nowMs() - *since;
}

std::optional<double> MpvEngine::reading(const char* name) const
{
    double value = 0;
    if (m_mpv.get_property(handle(), name, MPV_FORMAT_DOUBLE, &value) < 0) {
        return std::nullopt;
    }
    return value;
}

QByteArray MpvEngine::textBytes(const char* name) const
{
    char* text = m_mpv.get_property_string(handle(), name);
    if (text == nullptr) {
        return {};
    }
    QByteArray bytes(text);
    m_mpv.free(text);
    return bytes;
}

QVariant MpvEngine::node(const char* name) const
{
    mpv_node value{};
    if (m_mpv.get_property(handle(), name, MPV_FORMAT_NODE, &value) < 0) {
        return {};
    }
    QVariant converted = toVariant(value);
    m_mpv.free_node_contents(&value);
    return converted;
}

QImage MpvEngine::videoFrame() const
{
    // The decoded frame as it is, in memory: the renderer's output would be scaled and padded.
    const char* args[] = {"screenshot-raw", "video", nullptr};
    mpv_node result{};
    if (m_mpv.command_ret(handle(), args, &result) < 0) {
        return {};
    }
    QImage frame = toImage(result);
    m_mpv.free_node_contents(&result);
    return frame;
}
