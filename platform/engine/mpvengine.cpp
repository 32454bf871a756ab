#include "mpvengine.h"

#include "mpvlibrary.h"
#include "mpvnode.h"
#include "mpvoptions.h"
#include "programerror.h"
#include "soundserverwatch.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

namespace {

enum ObservedProperty : std::uint64_t {
    ObservedPause = 1,
    ObservedIdle,
    ObservedCacheWait,
    ObservedAudioOutput,
    ObservedAlpha
};

constexpr size_t kRowAlignment = 64;

void check(const MpvLibrary& mpv, int status, const char* what)
{
    if (status < 0) {
        throw ProgramError(QStringLiteral("The media engine refused %1: %2")
                               .arg(QString::fromUtf8(what), QString::fromUtf8(mpv.error_string(status))));
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

} // namespace

void MpvEngine::HandleDeleter::operator()(mpv_handle* handle) const
{
    mpv->terminate_destroy(handle);
}

void MpvEngine::RenderContextDeleter::operator()(mpv_render_context* context) const
{
    mpv->render_context_set_update_callback(context, nullptr, nullptr);
    mpv->render_context_free(context);
}

void MpvEngine::FreeDeleter::operator()(uchar* memory) const
{
    std::free(memory);
}

MpvEngine::MpvEngine(const MpvLibrary& mpv)
    : m_mpv(mpv)
    , m_handle(mpv.create(), HandleDeleter{&mpv})
    , m_render(nullptr, RenderContextDeleter{&mpv})
{
    if (!m_handle) {
        throw ProgramError(QStringLiteral("The media engine could not be started."));
    }
    for (const auto& [name, value] : mpvEngineOptions()) {
        check(m_mpv, m_mpv.set_option_string(handle(), name, value), name);
    }
    check(m_mpv, m_mpv.initialize(handle()), "to start");
    check(m_mpv, m_mpv.observe_property(handle(), ObservedPause, "pause", MPV_FORMAT_FLAG), "pause");
    check(m_mpv, m_mpv.observe_property(handle(), ObservedIdle, "idle-active", MPV_FORMAT_FLAG), "idle-active");
    check(m_mpv, m_mpv.observe_property(handle(), ObservedCacheWait, "paused-for-cache", MPV_FORMAT_FLAG),
          "paused-for-cache");
    check(m_mpv, m_mpv.observe_property(handle(), ObservedAudioOutput, "current-ao", MPV_FORMAT_STRING), "current-ao");
    check(m_mpv, m_mpv.observe_property(handle(), ObservedAlpha, "video-params/alpha", MPV_FORMAT_STRING),
          "video-params/alpha");

    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_SW)},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context* render = nullptr;
    check(m_mpv, m_mpv.render_context_create(&render, handle(), params), "the software renderer");
    m_render.reset(render);
}

MpvEngine::~MpvEngine()
{
    // After this no callback can post a call to the object that is going away.
    m_mpv.set_wakeup_callback(handle(), nullptr, nullptr);
}

void MpvEngine::attach()
{
    m_soundWatch = std::make_unique<SoundServerWatch>();
    // Errors of the reopen go to the report, not through the timer's code.
    connect(m_soundWatch.get(), &SoundServerWatch::serverReturned, this,
            reportingErrors([this] { reloadAudioOutput(); }));
    m_mpv.render_context_set_update_callback(m_render.get(), &MpvEngine::onRenderUpdate, this);
    m_mpv.set_wakeup_callback(handle(), &MpvEngine::onWakeup, this);
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
    for (;;) {
        const mpv_event* event = m_mpv.wait_event(handle(), 0);
        if (event->event_id == MPV_EVENT_NONE) {
            return;
        }
        dispatch(*event);
    }
}

void MpvEngine::dispatch(const mpv_event& event)
{
    switch (event.event_id) {
    case MPV_EVENT_START_FILE:
        emit fileStarted(static_cast<const mpv_event_start_file*>(event.data)->playlist_entry_id);
        break;
    case MPV_EVENT_FILE_LOADED:
        emit fileLoaded();
        break;
    case MPV_EVENT_SEEK:
        emit seekStarted();
        break;
    case MPV_EVENT_PLAYBACK_RESTART:
        emit playbackRestarted();
        break;
    case MPV_EVENT_END_FILE: {
        const auto* ended = static_cast<const mpv_event_end_file*>(event.data);
        emit fileEnded(ended->playlist_entry_id, endReason(ended->reason));
        break;
    }
    case MPV_EVENT_PROPERTY_CHANGE:
        dispatchProperty(event.reply_userdata, *static_cast<const mpv_event_property*>(event.data));
        break;
    case MPV_EVENT_NONE:
    case MPV_EVENT_SHUTDOWN:
    case MPV_EVENT_LOG_MESSAGE:
    case MPV_EVENT_GET_PROPERTY_REPLY:
    case MPV_EVENT_SET_PROPERTY_REPLY:
    case MPV_EVENT_COMMAND_REPLY:
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
    if (observed == ObservedAlpha) {
        // "straight" or "premul" for a picture with an alpha channel; unavailable without one.
        m_straightAlpha = property.format == MPV_FORMAT_STRING && property.data != nullptr &&
                          std::strcmp(*static_cast<const char* const*>(property.data), "straight") == 0;
        return;
    }
    if (observed == ObservedAudioOutput) {
        // Unavailable (format NONE) while no output is open.
        const bool named = property.format == MPV_FORMAT_STRING && property.data != nullptr;
        m_soundWatch->outputChanged(named ? QByteArray(*static_cast<const char* const*>(property.data)) : QByteArray());
        return;
    }
    // Without a file a property may be unavailable: format NONE and no data.
    const bool available = property.format == MPV_FORMAT_FLAG && property.data != nullptr;
    const bool value = available && *static_cast<const int*>(property.data) != 0;
    switch (ObservedProperty(observed)) {
    case ObservedPause:
        if (available) {
            m_soundWatch->pausedChanged(value);
            emit pauseChanged(value);
        }
        break;
    case ObservedIdle:
        if (available) {
            emit idleChanged(value);
        }
        break;
    case ObservedCacheWait:
        // Unavailable once a file ends: no wait then, or the next file would read "buffering".
        emit cacheWaitChanged(value);
        break;
    case ObservedAudioOutput:
    case ObservedAlpha:
        break;
    }
}

bool MpvEngine::render(QImage& frame, QSize pixelSize, Redraw redraw)
{
    const bool newFrame = (m_mpv.render_context_update(m_render.get()) & MPV_RENDER_UPDATE_FRAME) != 0;
    if ((!newFrame && redraw == Redraw::NewFrameOnly) || pixelSize.isEmpty()) {
        return false;
    }
    size_t stride = (size_t(pixelSize.width()) * 4 + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
    if (pixelSize != m_pixelSize) {
        m_pixels.reset(static_cast<uchar*>(std::aligned_alloc(kRowAlignment, stride * size_t(pixelSize.height()))));
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
    int size[2] = {pixelSize.width(), pixelSize.height()};
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_SW_SIZE, size},      {MPV_RENDER_PARAM_SW_FORMAT, const_cast<char*>("bgra")},
        {MPV_RENDER_PARAM_SW_STRIDE, &stride}, {MPV_RENDER_PARAM_SW_POINTER, m_pixels.get()},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    return m_mpv.render_context_render(m_render.get(), params) >= 0;
}

bool MpvEngine::flag(const char* name) const
{
    int value = 0;
    check(m_mpv, m_mpv.get_property(handle(), name, MPV_FORMAT_FLAG, &value), name);
    return value != 0;
}

void MpvEngine::setFlag(const char* name, bool value)
{
    int flag = value ? 1 : 0;
    check(m_mpv, m_mpv.set_property(handle(), name, MPV_FORMAT_FLAG, &flag), name);
}

double MpvEngine::number(const char* name) const
{
    double value = 0;
    check(m_mpv, m_mpv.get_property(handle(), name, MPV_FORMAT_DOUBLE, &value), name);
    return value;
}

void MpvEngine::setNumber(const char* name, double value)
{
    check(m_mpv, m_mpv.set_property(handle(), name, MPV_FORMAT_DOUBLE, &value), name);
}

void MpvEngine::setScaledToFit(bool fit)
{
    check(m_mpv, m_mpv.set_property_string(handle(), "video-unscaled", fit ? "no" : kUnscaledInStrip),
          "video-unscaled");
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

bool MpvEngine::seek(double seconds, SeekMode mode)
{
    // Exact: a jump to the nearest keyframe may land far off, or forward past the last keyframe,
    // at the end of the file.
    const QByteArray target = QByteArray::number(seconds, 'f', 6);
    const char* args[] = {"seek", target.constData(), mode == SeekMode::Absolute ? "absolute+exact" : "relative+exact",
                          nullptr};
    // The engine refuses a well-formed jump only when it has no file open.
    return m_mpv.command(handle(), args) >= 0;
}

qint64 MpvEngine::loadFile(const QByteArray& absolutePath)
{
    const char* args[] = {"loadfile", absolutePath.constData(), "replace", nullptr};
    mpv_node result{};
    check(m_mpv, m_mpv.command_ret(handle(), args, &result), "to open the file");
    const QVariant entryId = toVariant(result).toMap().value(QStringLiteral("playlist_entry_id"));
    m_mpv.free_node_contents(&result);
    return entryId.typeId() == QMetaType::LongLong ? entryId.toLongLong() : -1;
}

void MpvEngine::stop()
{
    const char* args[] = {"stop", nullptr};
    check(m_mpv, m_mpv.command(handle(), args), "to stop");
}

void MpvEngine::reloadAudioOutput()
{
    // Tries the outputs in order again; the file plays on meanwhile, from where it is.
    const char* args[] = {"ao-reload", nullptr};
    check(m_mpv, m_mpv.command(handle(), args), "to reopen the sound output");
}
