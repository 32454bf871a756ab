#include "mprisservice.h"

#include "programerror.h"

#include "form1.h"
#include "formbehaviour.h"
#include "mprisadaptors.h"
#include "mprismetadata.h"
#include "playerfacade.h"
#include "playermedia.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFutureWatcher>
#include <QPromise>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <utility>

namespace {

QString playerInterface()
{
    return QStringLiteral("org.mpris.MediaPlayer2.Player");
}

} // namespace

QString MprisService::serviceName()
{
    return QStringLiteral("org.mpris.MediaPlayer2.marrowlark");
}

QString MprisService::objectPath()
{
    return QStringLiteral("/org/mpris/MediaPlayer2");
}

QString MprisService::trackId()
{
    return QStringLiteral("/org/marrowlark/Marrowlark/CurrentFile");
}

MprisService* MprisService::publish(Form1& form, FormBehaviour& behaviour, const QDBusConnection& bus)
{
    if (!bus.isConnected()) {
        return nullptr;
    }
    auto* service = new MprisService(form, behaviour, bus);
    if (!service->registerOnBus()) {
        delete service;
        return nullptr;
    }
    return service;
}

MprisService::MprisService(Form1& form, FormBehaviour& behaviour, QDBusConnection bus)
    : QObject(&form)
    , m_form(form)
    , m_behaviour(behaviour)
    , m_bus(std::move(bus))
    , m_media(playerMediaOf(*form.windowsMediaPlayer1()))
{
    new MprisRootAdaptor(*this);
    followMedia(*new MprisPlayerAdaptor(*this));
    m_announcedStatus = playbackStatus();
    m_announcedMetadata = metadata();
    m_announcedCanSeek = canSeek();
    // Queued: the readings are taken once the window has rebuilt its caption for this
    // notification, whatever order the handlers were connected in.
    connect(form.windowsMediaPlayer1(), &PlayerFacade::playStateChange, this, &MprisService::announceChanges,
            Qt::QueuedConnection);
}

MprisService::~MprisService()
{
    // Only what this service registered: the path may belong to another window of the process.
    if (!m_busName.isEmpty()) {
        m_bus.unregisterService(m_busName);
        m_bus.unregisterObject(objectPath());
    }
}

bool MprisService::registerOnBus()
{
    if (!m_bus.registerObject(objectPath(), this, QDBusConnection::ExportAdaptors)) {
        return false;
    }
    // The name is not queued for: a second copy of the program takes the instance name that
    // MPRIS clients look for beside the plain one.
    const QString instanceName = serviceName() + QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
    for (const QString& name : {serviceName(), instanceName}) {
        if (m_bus.registerService(name)) {
            m_busName = name;
            return true;
        }
    }
    m_bus.unregisterObject(objectPath());
    return false;
}

QString MprisService::playbackStatus() const
{
    switch (m_form.windowsMediaPlayer1()->playState()) {
    case PlayStatePlaying:
        return QStringLiteral("Playing");
    case PlayStatePaused:
        return QStringLiteral("Paused");
    default:
        return QStringLiteral("Stopped");
    }
}

void MprisService::followMedia(MprisPlayerAdaptor& adaptor)
{
    if (!m_media) {
        return;
    }
    readTrack();
    connect(m_media, &PlayerMedia::trackChanged, this, [this] {
        readTrack();
        announceChanges();
    });
    connect(m_media, &PlayerMedia::seeked, &adaptor, &MprisPlayerAdaptor::Seeked);
}

void MprisService::readTrack()
{
    const TrackInfo track = m_media->track();
    m_trackMetadata = mprisMetadata(track);
    ++m_trackReadings;
    if (!track.cover.isNull()) {
        encodeCover(track.cover);
    }
}

void MprisService::encodeCover(const QImage& cover)
{
    // Scaling and encoding a large cover takes tens of milliseconds: not on the GUI thread while
    // the file starts. The promise is shared so that the worker can finish after this service is
    // gone; the watcher, the service's child, then never reports.
    auto promise = std::make_shared<QPromise<QString>>();
    auto* watcher = new QFutureWatcher<QString>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, reading = m_trackReadings] {
        watcher->deleteLater();
        const QString art = watcher->result();
        if (!art.isEmpty() && reading == m_trackReadings) {
            m_trackMetadata.insert(QStringLiteral("mpris:artUrl"), art);
            announceChanges();
        }
    });
    watcher->setFuture(promise->future());
    QThreadPool::globalInstance()->start([promise, cover] {
        promise->start();
        promise->addResult(coverArtUrl(cover));
        promise->finish();
    });
}

QVariantMap MprisService::metadata() const
{
    if (m_media) {
        return m_trackMetadata;
    }
    if (playbackStatus() == QStringLiteral("Stopped")) {
        return {};
    }
    return {
        {QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(trackId()))},
        {QStringLiteral("xesam:title"), m_form.windowTitle()},
    };
}

qlonglong MprisService::position() const
{
    return m_media ? m_media->positionUs() : 0;
}

bool MprisService::canSeek() const
{
    return m_media && m_media->canSeek();
}

void MprisService::raise()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_form.setWindowState(m_form.windowState() & ~Qt::WindowMinimized);
            m_form.show();
            m_form.raise();
            m_form.activateWindow();
        },
        Qt::QueuedConnection);
}

void MprisService::quit()
{
    QMetaObject::invokeMethod(&m_form, &QWidget::close, Qt::QueuedConnection);
}

void MprisService::playPause()
{
    QMetaObject::invokeMethod(&m_behaviour,
                              reportingErrors([behaviour = &m_behaviour] { behaviour->playPauseToggle(); }),
                              Qt::QueuedConnection);
}

void MprisService::play()
{
    QMetaObject::invokeMethod(&m_behaviour, reportingErrors([behaviour = &m_behaviour] { behaviour->command2Click(); }),
                              Qt::QueuedConnection);
}

void MprisService::pause()
{
    QMetaObject::invokeMethod(&m_behaviour, reportingErrors([behaviour = &m_behaviour] { behaviour->command3Click(); }),
                              Qt::QueuedConnection);
}

void MprisService::seek(qlonglong offsetUs)
{
    whenSeekable([offsetUs](PlayerMedia& media) { media.seekBy(offsetUs); });
}

void MprisService::setPosition(const QString& trackId, qlonglong positionUs)
{
    whenSeekable([trackId, positionUs](PlayerMedia& media) {
        // A request meant for a file that has since been replaced, or for a place outside the
        // file, is not carried out at all rather than clamped.
        const TrackInfo track = media.track();
        const bool inFile = positionUs >= 0 && (track.lengthUs < 0 || positionUs <= track.lengthUs);
        if (track.serial != 0 && trackId == mprisTrackId(track.serial) && inFile) {
            media.seekTo(positionUs);
        }
    });
}

void MprisService::whenSeekable(std::function<void(PlayerMedia&)> action)
{
    QMetaObject::invokeMethod(this, reportingErrors([media = m_media, action = std::move(action)] {
                                  if (media && media->canSeek()) {
                                      action(*media);
                                  }
                              }),
                              Qt::QueuedConnection);
}

void MprisService::refuseUnsupported(const QDBusMessage& call, const QString& what) const
{
    call.setDelayedReply(true);
    m_bus.send(call.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.NotSupported"),
                                     QStringLiteral("Marrowlark does not support %1").arg(what)));
}

void MprisService::announceChanges()
{
    QVariantMap changed;
    const QString status = playbackStatus();
    if (status != m_announcedStatus) {
        m_announcedStatus = status;
        changed.insert(QStringLiteral("PlaybackStatus"), status);
    }
    const QVariantMap now = metadata();
    if (now != m_announcedMetadata) {
        m_announcedMetadata = now;
        changed.insert(QStringLiteral("Metadata"), now);
    }
    if (const bool seekable = canSeek(); seekable != m_announcedCanSeek) {
        m_announcedCanSeek = seekable;
        changed.insert(QStringLiteral("CanSeek"), seekable);
    }
    if (changed.isEmpty()) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(objectPath(), QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << playerInterface() << changed << QStringList();
    m_bus.send(signal);
}
