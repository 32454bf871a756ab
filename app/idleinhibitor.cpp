#include "idleinhibitor.h"

#include "playerfacade.h"
#include "playermedia.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace {

constexpr QLatin1String kPortalService("org.freedesktop.portal.Desktop");
constexpr QLatin1String kPortalPath("/org/freedesktop/portal/desktop");
constexpr QLatin1String kScreenSaverService("org.freedesktop.ScreenSaver");
constexpr QLatin1String kScreenSaverPath("/org/freedesktop/ScreenSaver");
constexpr uint kInhibitIdle = 8;

// Runs @p then with the answer to @p call once it arrives (an error when the service is missing or
// silent), whether or not whoever asked still exists.
template <typename Then> void whenAnswered(const QDBusConnection& bus, const QDBusMessage& call, Then then)
{
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, then = std::move(then)] {
        watcher->deleteLater();
        then(*watcher);
    });
}

// The portal's name for @p window: its X11 id where it has one, none on other platforms.
QString portalParentWindow(QWindow* window)
{
    if (window == nullptr || QGuiApplication::platformName() != QLatin1String("xcb")) {
        return {};
    }
    return QStringLiteral("x11:%1").arg(window->winId(), 0, 16);
}

// The program's window that fills a screen now, if any: the player's full-screen view.
QWindow* fullScreenWindow()
{
    const QWindowList windows = QGuiApplication::topLevelWindows();
    const auto found = std::find_if(windows.begin(), windows.end(), [](const QWindow* window) {
        return window->isVisible() && window->windowStates().testFlag(Qt::WindowFullScreen);
    });
    return found == windows.end() ? nullptr : *found;
}

} // namespace

IdleInhibitor::IdleInhibitor(QString reason, QDBusConnection bus, QObject* parent,
                             std::unique_ptr<SurfaceIdleInhibit> compositor)
    : QObject(parent)
    , m_reason(std::move(reason))
    , m_bus(std::move(bus))
    , m_compositor(std::move(compositor))
{
}

IdleInhibitor::~IdleInhibitor()
{
    release(m_bus, m_grant);
}

IdleInhibitor* IdleInhibitor::whileWatchingFullScreen(PlayerFacade& player, PlayerMedia& media,
                                                      const QDBusConnection& bus)
{
    auto* inhibitor = new IdleInhibitor(QStringLiteral("Playing a video full screen"), bus, &media);
    const auto follow = [inhibitor, &player, &media] {
        const PlayState state = player.playState();
        const bool watching = media.isFullScreen() && (state == PlayStatePlaying || state == PlayStateBuffering);
        inhibitor->setHeld(watching, watching ? fullScreenWindow() : nullptr);
    };
    connect(&player, &PlayerFacade::playStateChange, inhibitor, follow);
    connect(&media, &PlayerMedia::fullScreenChanged, inhibitor, follow);
    follow();
    return inhibitor;
}

void IdleInhibitor::setHeld(bool held, QWindow* window)
{
    const bool onSurface = held && window != nullptr && m_compositor != nullptr;
    if (onSurface) {
        m_compositor->hold(*window);
    } else if (m_onSurface) {
        m_compositor->release();
    }
    m_onSurface = onSurface;
    setHeldOnBus(held && !onSurface, window);
}

void IdleInhibitor::setHeldOnBus(bool held, QWindow* window)
{
    m_window = window;
    m_wanted = held && m_bus.isConnected();
    if (!m_wanted) {
        release(m_bus, std::exchange(m_grant, {}));
    } else if (!m_asking && m_grant.from == Grant::From::Nobody) {
        m_asking = true;
        ask();
    }
}

void IdleInhibitor::ask()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        kPortalService, kPortalPath, QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
    call << portalParentWindow(m_window) << kInhibitIdle << QVariantMap{{QStringLiteral("reason"), m_reason}};
    whenAnswered(m_bus, call, [self = QPointer(this), bus = m_bus](const QDBusPendingCall& answer) {
        const QDBusPendingReply<QDBusObjectPath> reply = answer;
        if (!reply.isError()) {
            answered(self, bus, {Grant::From::Portal, reply.value().path()});
        } else if (self && self->m_wanted) {
            self->askScreenSaver();
        } else {
            answered(self, bus, {});
        }
    });
}

void IdleInhibitor::askScreenSaver()
{
    QDBusMessage call = QDBusMessage::createMethodCall(kScreenSaverService, kScreenSaverPath, kScreenSaverService,
                                                       QStringLiteral("Inhibit"));
    call << QGuiApplication::applicationName() << m_reason;
    whenAnswered(m_bus, call, [self = QPointer(this), bus = m_bus](const QDBusPendingCall& answer) {
        const QDBusPendingReply<uint> reply = answer;
        answered(self, bus, reply.isError() ? Grant() : Grant{Grant::From::ScreenSaver, {}, reply.value()});
    });
}

void IdleInhibitor::answered(IdleInhibitor* self, const QDBusConnection& bus, const Grant& grant)
{
    if (self != nullptr && self->m_wanted) {
        self->m_grant = grant;
    } else {
        release(bus, grant);
    }
    if (self != nullptr) {
        self->m_asking = false;
    }
}

void IdleInhibitor::release(const QDBusConnection& bus, const Grant& grant)
{
    switch (grant.from) {
    case Grant::From::Nobody:
        return;
    case Grant::From::Portal:
        bus.send(QDBusMessage::createMethodCall(
            kPortalService, grant.handle, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close")));
        return;
    case Grant::From::ScreenSaver: {
        QDBusMessage call = QDBusMessage::createMethodCall(kScreenSaverService, kScreenSaverPath, kScreenSaverService,
                                                           QStringLiteral("UnInhibit"));
        call << grant.cookie;
        bus.send(call);
        return;
    }
    }
}
