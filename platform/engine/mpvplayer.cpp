#include "mpvplayer.h"

#include "enginestart.h"
#include "fullscreenview.h"
#include "mpvengine.h"
#include "mpvmedia.h"
#include "pathcodec.h"
#include "programerror.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <filesystem>
#include <utility>

namespace {

constexpr int kVolumeStep = 10;

QByteArray absoluteLocalPath(const QString& path)
{
    if (path.contains(QChar(u'\0'))) {
        // No file name holds one, and the engine would read the path as ending there: another file.
        throw ProgramError(QStringLiteral("%1: not a valid file name").arg(displayFileName(path)));
    }
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(toFsPath(path), error);
    if (error) {
        throw ProgramError(
            QStringLiteral("%1: %2").arg(displayFileName(path), QString::fromStdString(error.message())));
    }
    return QByteArray::fromStdString(absolute.native());
}

} // namespace

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
    , m_start(std::make_unique<EngineStart>(engineLibrary))
    , m_letGoCheck(new QTimer(this))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    createContextMenu();
    createFullScreen();
    connect(m_start.get(), &EngineStart::started, this, &MpvPlayer::connectEngine);
    m_letGoCheck->setSingleShot(true);
    m_letGoCheck->setTimerType(Qt::PreciseTimer);
    m_letGoCheck->setInterval(EngineStart::kGiveUpMs);
    connect(m_letGoCheck, &QTimer::timeout, this, reportingErrors([this] { checkLetGo(); }));
    // Application-wide: the pointer's entry and a press reach the widget under the pointer or with
    // the focus, anywhere in the window. Removed once the engine is on its way.
    qApp->installEventFilter(this);
}

MpvPlayer::~MpvPlayer()
{
    // Before the frame it shows and the slots its hiding calls go.
    delete m_view;
}

bool MpvPlayer::keepUntilEngineReady(std::function<void()> call)
{
    return m_start->keepUntilReady(std::move(call));
}

MpvEngine& MpvPlayer::engine() const
{
    return *m_start->engine();
}

bool MpvPlayer::isEngineReady() const
{
    return m_start->isReady();
}

void MpvPlayer::startEngine()
{
    qApp->removeEventFilter(this);
    m_start->begin();
}

void MpvPlayer::releaseEngine()
{
    m_letGoCheck->stop();
    m_frame = QImage(); // shares the engine's pixels
    m_start->letGo();
}

void MpvPlayer::connectEngine(bool ready)
{
    qApp->removeEventFilter(this);
    if (ready) {
        MpvEngine* engine = m_start->engine();
        connect(engine, &MpvEngine::fileStarted, this, [this](qint64 entry) { m_tracker.fileStarted(entry); });
        connect(engine, &MpvEngine::playbackRestarted, this, [this] { announce(m_tracker.playbackRestarted()); });
        connect(engine, &MpvEngine::fileEnded, this, [this](qint64 entry, PlayStateTracker::EndReason reason) {
            announce(m_tracker.fileEnded(entry, reason));
        });
        connect(engine, &MpvEngine::idleChanged, this, &MpvPlayer::onIdleChanged);
        connect(engine, &MpvEngine::pauseChanged, this, [this] { announce(m_tracker.pauseChanged()); });
        connect(engine, &MpvEngine::cacheWaitChanged, this,
                [this](bool waiting) { announce(m_tracker.cacheWaitChanged(waiting)); });
        connect(engine, &MpvEngine::frameReady, this, [this] { renderFrame(); });
        m_media->connectEngine(*engine);
        // As set on an engine given up; a first engine starts with them already.
        engine->setVolume(m_volume);
        engine->setMuted(m_muted);
    }
    emit engineStarted(ready);
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
    m_fullScreenAction = m_menu->addAction(tr("Full screen"));
    m_fullScreenAction->setCheckable(true);
}

void MpvPlayer::createFullScreen()
{
    m_view = new FullScreenView(m_frame, this);
    m_media = new MpvMedia(*m_start, m_tracker, *m_view, *this);
    connect(m_view, &FullScreenView::targetChanged, this, reportingErrors([this] { onDisplayTargetChanged(); }));
    connect(m_view, &FullScreenView::pauseToggleRequested, this, reportingErrors([this] { togglePause(); }));
    connect(m_view, &FullScreenView::menuRequested, this, [this](QPoint at) { popupMenu(*m_view, at); });
    connect(m_fullScreenAction, &QAction::triggered, this,
            reportingErrors([this] { m_media->setFullScreen(m_fullScreenAction->isChecked()); }));
    connect(m_menu, &QMenu::aboutToShow, this, [this] {
        m_fullScreenAction->setChecked(m_media->isFullScreen());
        m_fullScreenAction->setEnabled(m_media->isFullScreen() || m_media->track().hasPicture);
    });
}

void MpvPlayer::setMuted(bool muted)
{
    // Kept: the engine is given the flag as it is once up.
    if (!keepUntilEngineReady([this] { engine().setMuted(m_muted); })) {
        engine().setMuted(muted);
    }
    m_muted = muted;
}

void MpvPlayer::changeVolume(int step)
{
    const double volume = std::clamp(m_volume + step, 0.0, 100.0);
    if (!keepUntilEngineReady([this] { engine().setVolume(m_volume); })) {
        engine().setVolume(volume);
    }
    m_volume = volume;
}

void MpvPlayer::setUrl(const QString& path)
{
    if (path.isEmpty()) {
        stop();
        m_url.clear();
        return;
    }
    const QByteArray absolutePath = absoluteLocalPath(path);
    if (!keepUntilEngineReady([this, absolutePath] { open(absolutePath); })) {
        open(absolutePath);
    }
    m_url = path;
}

void MpvPlayer::open(const QByteArray& absolutePath)
{
    if (m_start->holdsOn() && replaceEngine()) {
        keepUntilEngineReady([this, absolutePath] { open(absolutePath); }); // on the fresh engine
        return;
    }
    const bool lettingGo = engine().holdsFile();
    engine().setPaused(false); // the engine's pause survives loads; every open autostarts
    engine().open(++m_serial, absolutePath);
    m_tracker.opened(m_serial);
    m_openPath = absolutePath;
    if (lettingGo) {
        m_letGoCheck->start();
    }
}

bool MpvPlayer::replaceEngine()
{
    if (!m_start->replace()) {
        return false;
    }
    m_letGoCheck->stop();
    m_frame = QImage(); // shared the pixels of the engine given up
    update();
    m_view->update();
    m_tracker.engineReplaced();
    return true;
}

void MpvPlayer::checkLetGo()
{
    if (!isEngineReady()) {
        return;
    }
    engine().drainEvents(); // an answer may be waiting, not yet read
    if (!m_tracker.isOpening() || !m_start->holdsOn()) {
        return;
    }
    const QByteArray path = m_openPath;
    const bool paused = m_tracker.isPaused();
    if (replaceEngine()) {
        keepUntilEngineReady([this, path, paused] {
            open(path);
            if (paused) {
                setPaused(true);
            }
        });
    }
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
    return m_tracker.state();
}

bool MpvPlayer::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Enter: // the pointer coming in: a press is likely to follow
    case QEvent::HoverEnter:
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
    // Under the frame too: it is transparent beside the picture (MpvEngine::render()).
    painter.fillRect(rect(), Qt::black);
    if (!m_frame.isNull() && !m_view->isVisible()) {
        painter.drawImage(rect(), m_frame);
    }
}

void MpvPlayer::contextMenuEvent(QContextMenuEvent* event)
{
    popupMenu(*this, event->globalPos());
}

void MpvPlayer::keyPressEvent(QKeyEvent* event)
{
    // The Menu key comes as a context-menu event; Shift+F10, its usual stand-in, does not.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        popupMenu(*this, mapToGlobal(rect().center()));
        return;
    }
    PlayerFacade::keyPressEvent(event);
}

void MpvPlayer::popupMenu(QWidget& over, QPoint globalPosition)
{
    // A popup is placed relative to the window it belongs to (Wayland): the one it opens over.
    m_menu->winId();
    m_menu->windowHandle()->setTransientParent(over.window()->windowHandle());
    m_menu->popup(globalPosition);
}

void MpvPlayer::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        reportingErrors([this] { m_media->setFullScreen(true); })();
    }
}

void MpvPlayer::renderFrame(bool again)
{
    if (m_view->isVisible() && presentFullScreen(again)) {
        return;
    }
    QWidget& display = m_view->isVisible() ? static_cast<QWidget&>(*m_view) : *this;
    const QSize pixelSize = (QSizeF(display.size()) * display.devicePixelRatioF()).toSize();
    if (engine().render(m_frame, pixelSize, again ? MpvEngine::Redraw::Always : MpvEngine::Redraw::NewFrameOnly)) {
        m_frame.setDevicePixelRatio(display.devicePixelRatioF());
        display.update();
    }
}

bool MpvPlayer::presentFullScreen(bool again)
{
    if (engine().hasAlpha()) {
        m_view->withdrawPresentedFrames(); // the compositor's opaque buffers cannot show it
        return false;
    }
    const SubsurfaceFrames::Buffer* buffer = m_view->nextBuffer();
    if (buffer == nullptr) {
        return m_view->showsPresentedFrames(); // every buffer held: painting would not show either
    }
    const auto redraw = again ? MpvEngine::Redraw::Always : MpvEngine::Redraw::NewFrameOnly;
    if (engine().renderOpaque(buffer->pixels, buffer->size, buffer->stride, redraw)) {
        m_view->present();
    }
    return true;
}

void MpvPlayer::onDisplayTargetChanged()
{
    if (isEngineReady()) {
        renderFrame(true);
    }
    update();
}

void MpvPlayer::clearFrame()
{
    if (!m_frame.isNull()) {
        m_frame.fill(Qt::black);
        update();
        m_view->update();
    }
}

void MpvPlayer::togglePause()
{
    if (m_tracker.isPaused()) {
        resume();
    } else {
        pause();
    }
}

void MpvPlayer::onIdleChanged(bool idle)
{
    if (idle && !m_tracker.isOpening()) {
        clearFrame();
    }
    announce(m_tracker.idleChanged(idle));
}

void MpvPlayer::resume()
{
    if (keepUntilEngineReady([this] { resume(); })) {
        return;
    }
    if (m_tracker.hasFile()) {
        setPaused(false);
    } else if (!m_url.isEmpty()) {
        setUrl(m_url); // ended, stopped or failed: play the location again
    }
}

void MpvPlayer::pause()
{
    if (keepUntilEngineReady([this] { pause(); })) {
        return;
    }
    if (m_tracker.hasFile()) {
        setPaused(true);
    }
}

void MpvPlayer::setPaused(bool paused)
{
    engine().setPaused(paused);
    m_tracker.pauseSet(paused);
}

void MpvPlayer::stop()
{
    if (keepUntilEngineReady([this] { stop(); })) {
        return;
    }
    engine().stop();
    if (m_tracker.stopped()) {
        // The open ends here, and the engine may report nothing for a file it never started.
        // Announced from the event loop, as every notification is.
        QMetaObject::invokeMethod(
            this, [this] { announce(m_tracker.stopTookEffect()); }, Qt::QueuedConnection);
    }
}

void MpvPlayer::announce(PlayStateTracker::Announcement announcement)
{
    if (announcement) {
        emit playStateChange(*announcement);
    }
}
