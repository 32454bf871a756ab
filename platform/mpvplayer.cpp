#include "mpvplayer.h"

#include "mpvlibrary.h"
#include "pathcodec.h"
#include "programerror.h"
#include "soundcookie.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <utility>

namespace {

// Set before initialisation. Each line closes a door the engine would otherwise open by itself:
// its own window, configuration files, scripts, resume data, files loaded beside the media,
// playlist expansion (which can reach the network from a local file), key bindings and an OSD.
constexpr MpvPlayer::EngineOption kEngineOptions[] = {
    {"vo", "libmpv"},
    {"ao", "pipewire,pulse,alsa"}, // the jack and sdl probes cost ~100 ms per open without a device
    {"audio-fallback-to-null", "yes"},
    // A quarter second of sound buffered at the sound server: the engine then wakes a few times a
    // second instead of dozens, halving the CPU that playing audio costs. Pausing and switching
    // files still act at once; only a volume change is heard up to that quarter second late.
    {"pulse-buffer", "250"},
    {"pipewire-buffer", "250"},
    {"audio-client-name", "Marrowlark"},
    {"config", "no"},
    {"load-scripts", "no"},
    {"ytdl", "no"},
    {"load-stats-overlay", "no"},
    {"load-osd-console", "no"},
    {"load-auto-profiles", "no"},
    {"osc", "no"},
    {"input-default-bindings", "no"},
    {"input-builtin-bindings", "no"},
    {"input-vo-keyboard", "no"},
    {"input-cursor", "no"},
    {"input-media-keys", "no"},
    {"input-terminal", "no"},
    {"terminal", "no"},
    {"osd-level", "0"},
    {"idle", "yes"},
    {"keep-open", "no"},
    {"loop-file", "no"},
    {"loop-playlist", "no"},
    {"resume-playback", "no"},
    {"save-position-on-quit", "no"},
    {"sub-auto", "no"},
    {"sid", "no"},
    {"audio-file-auto", "no"},
    {"cover-art-auto", "no"},
    {"autoload-files", "no"},
    {"access-references", "no"},
    {"speed", "1"},
    {"volume", "50"},
    {"mute", "no"},
    {"video-unscaled", "downscale-big"},
    {"video-timing-offset", "0"}, // otherwise each render call blocks up to a frame period
    {"hwdec", "no"},
    {"stop-screensaver", "no"},
};

enum ObservedProperty : uint64_t { ObservedPause = 1, ObservedIdle, ObservedCacheWait };

constexpr int kVolumeStep = 10;
constexpr size_t kRowAlignment = 64;

void check(const MpvLibrary& mpv, int status, const char* what)
{
    if (status < 0) {
        throw ProgramError(QStringLiteral("The media engine refused %1: %2")
                               .arg(QString::fromUtf8(what), QString::fromUtf8(mpv.error_string(status))));
    }
}

QByteArray absoluteLocalPath(const QString& path)
{
    if (path.contains(QChar(u'\0'))) {
        // No file name holds one, and the engine would read the path as ending there: another file.
        throw ProgramError(QStringLiteral("%1: not a valid file name").arg(displayFileName(path)));
    }
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(toFsPath(path), error);
    if (error) {
        throw ProgramError(QStringLiteral("%1: %2").arg(displayFileName(path), QString::fromStdString(error.message())));
    }
    return QByteArray::fromStdString(absolute.native());
}

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
struct FreeDeleter {
    void operator()(uchar* memory) const { std::free(memory); }
};

} // namespace

// The engine and its software renderer. The two engine callbacks run on engine threads and only
// post a call to the player's (GUI) thread; everything else runs on the GUI thread.
class MpvPlayer::Engine {
public:
    Engine(MpvPlayer* owner, const MpvLibrary& mpv);
    ~Engine();

    void dispatch(const mpv_event& event);
    bool render(QImage& frame, QSize pixelSize);

    bool flag(const char* name) const;
    void setFlag(const char* name, bool value);
    double number(const char* name) const;
    void setNumber(const char* name, double value);
    qint64 loadFile(const QByteArray& absolutePath);
    void stop();
    const mpv_event* nextEvent() { return m_mpv.wait_event(handle(), 0); }
    mpv_handle* handle() const { return m_handle.get(); }

private:
    static void onWakeup(void* owner);
    static void onRenderUpdate(void* owner);
    void dispatchProperty(uint64_t observed, const mpv_event_property& property);

    MpvPlayer* m_owner;
    const MpvLibrary& m_mpv;
    // Declared in this order so that the render context is freed before the engine is
    // destroyed: the other order aborts the process.
    std::unique_ptr<mpv_handle, HandleDeleter> m_handle;
    std::unique_ptr<mpv_render_context, RenderContextDeleter> m_render;
    std::unique_ptr<uchar, FreeDeleter> m_pixels;
    QSize m_pixelSize;
};

MpvPlayer::Engine::Engine(MpvPlayer* owner, const MpvLibrary& mpv)
    : m_owner(owner)
    , m_mpv(mpv)
    , m_handle(mpv.create(), HandleDeleter{&mpv})
    , m_render(nullptr, RenderContextDeleter{&mpv})
{
    if (!m_handle) {
        throw ProgramError(QStringLiteral("The media engine could not be started."));
    }
    for (const auto& [name, value] : kEngineOptions) {
        check(m_mpv, m_mpv.set_option_string(handle(), name, value), name);
    }
    check(m_mpv, m_mpv.initialize(handle()), "to start");
    check(m_mpv, m_mpv.observe_property(handle(), ObservedPause, "pause", MPV_FORMAT_FLAG), "pause");
    check(m_mpv, m_mpv.observe_property(handle(), ObservedIdle, "idle-active", MPV_FORMAT_FLAG), "idle-active");
    check(m_mpv, m_mpv.observe_property(handle(), ObservedCacheWait, "paused-for-cache", MPV_FORMAT_FLAG),
          "paused-for-cache");

    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_SW)},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context* render = nullptr;
    check(m_mpv, m_mpv.render_context_create(&render, handle(), params), "the software renderer");
    m_render.reset(render);
    m_mpv.render_context_set_update_callback(render, &Engine::onRenderUpdate, owner);
    m_mpv.set_wakeup_callback(handle(), &Engine::onWakeup, owner);
}

MpvPlayer::Engine::~Engine()
{
    // After this no callback can post a call to the widget that is going away.
    m_mpv.set_wakeup_callback(handle(), nullptr, nullptr);
}

void MpvPlayer::Engine::onWakeup(void* owner)
{
    auto* player = static_cast<MpvPlayer*>(owner);
    QMetaObject::invokeMethod(player, [player] { player->drainEvents(); }, Qt::QueuedConnection);
}

void MpvPlayer::Engine::onRenderUpdate(void* owner)
{
    auto* player = static_cast<MpvPlayer*>(owner);
    QMetaObject::invokeMethod(player, [player] { player->renderFrame(); }, Qt::QueuedConnection);
}

void MpvPlayer::Engine::dispatch(const mpv_event& event)
{
    switch (event.event_id) {
    case MPV_EVENT_START_FILE:
        m_owner->onFileStarted(static_cast<const mpv_event_start_file*>(event.data)->playlist_entry_id);
        break;
    case MPV_EVENT_PLAYBACK_RESTART:
        m_owner->onPlaybackRestarted();
        break;
    case MPV_EVENT_END_FILE: {
        const auto* ended = static_cast<const mpv_event_end_file*>(event.data);
        m_owner->onFileEnded(ended->playlist_entry_id, ended->reason == MPV_END_FILE_REASON_EOF,
                             ended->reason == MPV_END_FILE_REASON_ERROR);
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
    case MPV_EVENT_FILE_LOADED:
    case MPV_EVENT_IDLE: // followed through the idle-active property instead
    case MPV_EVENT_TICK:
    case MPV_EVENT_CLIENT_MESSAGE:
    case MPV_EVENT_VIDEO_RECONFIG:
    case MPV_EVENT_AUDIO_RECONFIG:
    case MPV_EVENT_SEEK:
    case MPV_EVENT_QUEUE_OVERFLOW:
    case MPV_EVENT_HOOK:
        break;
    }
}

void MpvPlayer::Engine::dispatchProperty(uint64_t observed, const mpv_event_property& property)
{
    // Without a file a property may be unavailable: format NONE and no data.
    const bool available = property.format == MPV_FORMAT_FLAG && property.data != nullptr;
    const bool value = available && *static_cast<const int*>(property.data) != 0;
    switch (ObservedProperty(observed)) {
    case ObservedPause:
        if (available) {
            m_owner->onPauseChanged(value);
        }
        break;
    case ObservedIdle:
        if (available) {
            m_owner->onIdleChanged(value);
        }
        break;
    case ObservedCacheWait:
        // Unavailable once a file ends: no wait then, or the next file would read "buffering".
        m_owner->onCacheWaitChanged(value);
        break;
    }
}

bool MpvPlayer::Engine::render(QImage& frame, QSize pixelSize)
{
    if ((m_mpv.render_context_update(m_render.get()) & MPV_RENDER_UPDATE_FRAME) == 0 || pixelSize.isEmpty()) {
        return false;
    }
    size_t stride = (size_t(pixelSize.width()) * 4 + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
    if (pixelSize != m_pixelSize) {
        m_pixels.reset(static_cast<uchar*>(std::aligned_alloc(kRowAlignment, stride * size_t(pixelSize.height()))));
        m_pixelSize = pixelSize;
        frame = QImage(m_pixels.get(), pixelSize.width(), pixelSize.height(), qsizetype(stride),
                       QImage::Format_RGB32);
    }
    int size[2] = {pixelSize.width(), pixelSize.height()};
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_SW_SIZE, size},
        {MPV_RENDER_PARAM_SW_FORMAT, const_cast<char*>("bgr0")},
        {MPV_RENDER_PARAM_SW_STRIDE, &stride},
        {MPV_RENDER_PARAM_SW_POINTER, m_pixels.get()},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    return m_mpv.render_context_render(m_render.get(), params) >= 0;
}

bool MpvPlayer::Engine::flag(const char* name) const
{
    int value = 0;
    check(m_mpv, m_mpv.get_property(handle(), name, MPV_FORMAT_FLAG, &value), name);
    return value != 0;
}

void MpvPlayer::Engine::setFlag(const char* name, bool value)
{
    int flag = value ? 1 : 0;
    check(m_mpv, m_mpv.set_property(handle(), name, MPV_FORMAT_FLAG, &flag), name);
}

double MpvPlayer::Engine::number(const char* name) const
{
    double value = 0;
    check(m_mpv, m_mpv.get_property(handle(), name, MPV_FORMAT_DOUBLE, &value), name);
    return value;
}

void MpvPlayer::Engine::setNumber(const char* name, double value)
{
    check(m_mpv, m_mpv.set_property(handle(), name, MPV_FORMAT_DOUBLE, &value), name);
}

qint64 MpvPlayer::Engine::loadFile(const QByteArray& absolutePath)
{
    const char* args[] = {"loadfile", absolutePath.constData(), "replace", nullptr};
    mpv_node result{};
    check(m_mpv, m_mpv.command_ret(handle(), args, &result), "to open the file");
    qint64 entryId = -1;
    if (result.format == MPV_FORMAT_NODE_MAP) {
        for (int i = 0; i < result.u.list->num; ++i) {
            const mpv_node& value = result.u.list->values[i];
            if (std::strcmp(result.u.list->keys[i], "playlist_entry_id") == 0 && value.format == MPV_FORMAT_INT64) {
                entryId = value.u.int64;
            }
        }
    }
    m_mpv.free_node_contents(&result);
    return entryId;
}

void MpvPlayer::Engine::stop()
{
    const char* args[] = {"stop", nullptr};
    check(m_mpv, m_mpv.command(handle(), args), "to stop");
}

// ---------------------------------------------------------------------------------------------

class MpvPlayer::Transport final : public PlayerControls {
public:
    explicit Transport(MpvPlayer& player)
        : m_player(player)
    {
    }
    void play() override { m_player.resume(); }
    void pause() override { m_player.pause(); }

private:
    MpvPlayer& m_player;
};

MpvPlayer::MpvPlayer(QWidget* parent, const QString& engineLibrary)
    : PlayerFacade(parent)
    , m_engineLibrary(engineLibrary)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    createContextMenu();
    // Application-wide: a press reaches the widget under the pointer or with the focus, anywhere
    // in the window. Removed once the engine is on its way.
    qApp->installEventFilter(this);
}

MpvPlayer::~MpvPlayer()
{
    if (m_engineStarter.joinable()) {
        m_engineStarter.join();
    }
}

bool MpvPlayer::isEngineReady() const
{
    return m_engineStart == EngineStart::Ready;
}

void MpvPlayer::startEngine()
{
    if (m_engineStart != EngineStart::NotStarted) {
        return;
    }
    m_engineStart = EngineStart::Starting;
    qApp->removeEventFilter(this);
    keepSoundCookieUnwritten(); // before any thread of the engine reads the environment
    // Loading the library and initialising the engine take about a tenth of a second; on a
    // thread of their own they never hold up the window, and a click meanwhile is kept.
    m_engineStarter = std::thread([this] {
        try {
            m_startedEngine = std::make_unique<Engine>(this, loadMpvLibrary(m_engineLibrary));
        } catch (const ProgramError& error) {
            m_engineError = error.message();
        }
        // Errors of the calls kept until now go to the report, not through Qt's queued-call code.
        QMetaObject::invokeMethod(this, reportingErrors([this] { finishEngineStart(); }), Qt::QueuedConnection);
    });
}

void MpvPlayer::finishEngineStart()
{
    if (m_engineStart != EngineStart::Starting) {
        return; // already finished for a call that needed the engine at once
    }
    m_engineStarter.join(); // after this the starter's results may be read
    m_engine = std::move(m_startedEngine);
    m_engineStart = m_engine ? EngineStart::Ready : EngineStart::Failed;
    std::vector<std::function<void()>> calls;
    calls.swap(m_callsBeforeEngine);
    emit engineStarted(m_engine != nullptr);
    if (!m_engine) {
        if (!calls.empty()) {
            throw ProgramError(m_engineError);
        }
        return;
    }
    drainEvents();
    for (const auto& call : calls) {
        call();
    }
}

bool MpvPlayer::deferUntilEngineReady(std::function<void()> call)
{
    switch (m_engineStart) {
    case EngineStart::Ready:
        return false;
    case EngineStart::Failed:
        throw ProgramError(m_engineError);
    case EngineStart::NotStarted:
        startEngine(); // a call before any input, or to a player that is never shown
        break;
    case EngineStart::Starting:
        break;
    }
    m_callsBeforeEngine.push_back(std::move(call));
    return true;
}

MpvPlayer::Engine& MpvPlayer::engineNow() const
{
    // Bringing the engine up is no change of what the player shows or plays.
    auto* self = const_cast<MpvPlayer*>(this);
    self->startEngine();
    self->finishEngineStart();
    if (!m_engine) {
        throw ProgramError(m_engineError);
    }
    return *m_engine;
}

std::span<const MpvPlayer::EngineOption> MpvPlayer::engineOptions()
{
    return kEngineOptions;
}

void MpvPlayer::createContextMenu()
{
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("playerMenu"));
    // A refused engine call goes to the report from here, not through the menu's own code.
    connect(m_menu->addAction(tr("Play")), &QAction::triggered, this, reportingErrors([this] { resume(); }));
    connect(m_menu->addAction(tr("Pause")), &QAction::triggered, this, reportingErrors([this] { pause(); }));
    connect(m_menu->addAction(tr("Stop")), &QAction::triggered, this, reportingErrors([this] { stop(); }));
    QAction* mute = m_menu->addAction(tr("Mute"));
    mute->setCheckable(true);
    connect(mute, &QAction::triggered, this, reportingErrors([this, mute] { setMuted(mute->isChecked()); }));
    connect(m_menu, &QMenu::aboutToShow, this, reportingErrors([this, mute] { mute->setChecked(isMuted()); }));
    connect(m_menu->addAction(tr("Volume up")), &QAction::triggered, this,
            reportingErrors([this] { changeVolume(kVolumeStep); }));
    connect(m_menu->addAction(tr("Volume down")), &QAction::triggered, this,
            reportingErrors([this] { changeVolume(-kVolumeStep); }));
}

void MpvPlayer::setMuted(bool muted)
{
    if (!deferUntilEngineReady([this, muted] { setMuted(muted); })) {
        m_engine->setFlag("mute", muted);
    }
}

void MpvPlayer::changeVolume(int step)
{
    if (!deferUntilEngineReady([this, step] { changeVolume(step); })) {
        m_engine->setNumber("volume", std::clamp(volume() + step, 0.0, 100.0));
    }
}

void MpvPlayer::setUrl(const QString& path)
{
    if (path.isEmpty()) {
        stop();
        m_url.clear();
        return;
    }
    const QByteArray absolutePath = absoluteLocalPath(path);
    if (!deferUntilEngineReady([this, absolutePath] { open(absolutePath); })) {
        open(absolutePath);
    }
    m_url = path;
}

void MpvPlayer::open(const QByteArray& absolutePath)
{
    setPaused(false); // the engine's pause survives loads; every open autostarts
    m_openingEntry = m_engine->loadFile(absolutePath);
    m_opening = true;
}

QString MpvPlayer::url() const
{
    return m_url;
}

std::unique_ptr<PlayerControls> MpvPlayer::controls()
{
    return std::make_unique<Transport>(*this);
}

PlayState MpvPlayer::playState() const
{
    return m_state;
}

double MpvPlayer::volume() const
{
    return engineNow().number("volume");
}

bool MpvPlayer::isMuted() const
{
    return engineNow().flag("mute");
}

bool MpvPlayer::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::TouchBegin:
        if (watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == window()) {
            startEngine();
        }
        break;
    default:
        break;
    }
    return false;
}

void MpvPlayer::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!m_frame.isNull()) {
        painter.drawImage(rect(), m_frame);
    }
}

void MpvPlayer::contextMenuEvent(QContextMenuEvent* event)
{
    m_menu->popup(event->globalPos());
}

void MpvPlayer::drainEvents()
{
    // A notification handler may raise an error that leaves this loop early; the events still
    // queued must not wait for the engine's next wakeup.
    struct DrainAgainIfUnwinding {
        MpvPlayer* player;
        int exceptions = std::uncaught_exceptions();
        ~DrainAgainIfUnwinding()
        {
            if (std::uncaught_exceptions() > exceptions) {
                QMetaObject::invokeMethod(player, [p = player] { p->drainEvents(); }, Qt::QueuedConnection);
            }
        }
    } guard{this};
    if (!m_engine) {
        return; // woken while the engine was still starting; drained once it is up
    }
    for (;;) {
        const mpv_event* event = m_engine->nextEvent();
        if (event->event_id == MPV_EVENT_NONE) {
            return;
        }
        m_engine->dispatch(*event);
    }
}

void MpvPlayer::renderFrame()
{
    const QSize pixelSize = (QSizeF(size()) * devicePixelRatioF()).toSize();
    if (m_engine && m_engine->render(m_frame, pixelSize)) {
        m_frame.setDevicePixelRatio(devicePixelRatioF());
        update();
    }
}

void MpvPlayer::clearFrame()
{
    if (!m_frame.isNull()) {
        m_frame.fill(Qt::black);
        update();
    }
}

void MpvPlayer::onFileStarted(qint64 entryId)
{
    m_currentEntry = entryId;
}

void MpvPlayer::onPlaybackRestarted()
{
    if (!m_opening || m_currentEntry != m_openingEntry) {
        return; // a seek within the playing file, or a file already replaced
    }
    m_opening = false;
    setState(runningState(), true);
}

void MpvPlayer::onFileEnded(qint64 entryId, bool endOfFile, bool failed)
{
    if (entryId == m_currentEntry) {
        m_currentEntry = -1;
    }
    const bool endsOpen = m_opening && entryId == m_openingEntry;
    if (m_opening && !endsOpen) {
        return; // a file replaced by the one being opened: how it ended no longer matters
    }
    m_opening = false;
    if (failed) {
        setState(PlayStateReady, endsOpen);
    } else if (endOfFile) {
        setState(PlayStateMediaEnded, endsOpen);
    }
}

void MpvPlayer::onIdleChanged(bool idle)
{
    if (!idle || m_opening) {
        return;
    }
    clearFrame();
    if (m_state != PlayStateUndefined && m_state != PlayStateReady) {
        setState(PlayStateStopped);
    }
}

void MpvPlayer::onPauseChanged(bool /*paused*/)
{
    if (!m_opening && m_currentEntry >= 0 && m_state != PlayStateMediaEnded) {
        setState(runningState());
    }
}

void MpvPlayer::onCacheWaitChanged(bool waiting)
{
    m_waitingForData = waiting;
    onPauseChanged(false);
}

void MpvPlayer::resume()
{
    if (deferUntilEngineReady([this] { resume(); })) {
        return;
    }
    if (m_opening || m_currentEntry >= 0) {
        setPaused(false);
    } else if (!m_url.isEmpty()) {
        setUrl(m_url); // ended, stopped or failed: play the location again
    }
}

void MpvPlayer::pause()
{
    if (deferUntilEngineReady([this] { pause(); })) {
        return;
    }
    if (m_opening || m_currentEntry >= 0) {
        setPaused(true);
    }
}

void MpvPlayer::stop()
{
    if (deferUntilEngineReady([this] { stop(); })) {
        return;
    }
    const bool endsOpen = m_opening;
    m_opening = false;
    m_engine->stop();
    if (endsOpen) {
        // The open ends here, and the engine may report nothing for a file it never started.
        // Announced from the event loop, as every notification is.
        QMetaObject::invokeMethod(this, [this] { setState(PlayStateStopped, true); }, Qt::QueuedConnection);
    }
}

void MpvPlayer::setState(PlayState state, bool announceEvenIfUnchanged)
{
    if (state == m_state && !announceEvenIfUnchanged) {
        return;
    }
    m_state = state;
    emit playStateChange(state);
}

PlayState MpvPlayer::runningState() const
{
    if (m_waitingForData) {
        return PlayStateBuffering;
    }
    return m_paused ? PlayStatePaused : PlayStatePlaying;
}

void MpvPlayer::setPaused(bool paused)
{
    m_engine->setFlag("pause", paused);
    m_paused = paused;
}
