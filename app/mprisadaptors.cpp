#include "mprisadaptors.h"

#include "identity.h"
#include "mprisservice.h"

MprisRootAdaptor::MprisRootAdaptor(MprisService& service)
    : QDBusAbstractAdaptor(&service)
    , m_service(service)
{
}

QString MprisRootAdaptor::identity() const
{
    return QString::fromLatin1(marrowlark::kName);
}

QString MprisRootAdaptor::desktopEntry() const
{
    return QStringLiteral("marrowlark");
}

void MprisRootAdaptor::Raise()
{
    m_service.raise();
}

void MprisRootAdaptor::Quit()
{
    m_service.quit();
}

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService& service)
    : QDBusAbstractAdaptor(&service)
    , m_service(service)
{
}

QString MprisPlayerAdaptor::playbackStatus() const
{
    return m_service.playbackStatus();
}

QVariantMap MprisPlayerAdaptor::metadata() const
{
    return m_service.metadata();
}

qlonglong MprisPlayerAdaptor::position() const
{
    return m_service.position();
}

bool MprisPlayerAdaptor::canSeek() const
{
    return m_service.canSeek();
}

void MprisPlayerAdaptor::PlayPause()
{
    m_service.playPause();
}

void MprisPlayerAdaptor::Play()
{
    m_service.play();
}

void MprisPlayerAdaptor::Pause()
{
    m_service.pause();
}

void MprisPlayerAdaptor::Seek(qlonglong offset)
{
    m_service.seek(offset);
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& trackId, qlonglong position)
{
    m_service.setPosition(trackId.path(), position);
}

void MprisPlayerAdaptor::OpenUri(const QString& uri, const QDBusMessage& call)
{
    m_service.refuseUnsupported(call, QStringLiteral("opening %1").arg(uri));
}
