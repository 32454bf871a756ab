#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class PlayerFacade;
class PlayerMedia;
class QWindow;

/**
 * An idle inhibit that the compositor keeps on one of the program's windows, for as long as the
 * window shows: Wayland's zwp_idle_inhibit_manager_v1.
 *
 * GUI thread only; no call fails or waits.
 */
class SurfaceIdleInhibit {
public:
    virtual ~SurfaceIdleInhibit() = default;

    /// The compositor's, when the program runs on Wayland and the compositor offers the protocol;
    /// null otherwise. Asks the compositor once (one round trip).
    static std::unique_ptr<SurfaceIdleInhibit> ofCompositor();

    /// Holds the inhibit on @p window's surface until release() or a hold() on another window. A
    /// window loses its surface when it hides and gets a new one when it shows again: the
    /// inhibit is made again for every new one.
    virtual void hold(QWindow& window) = 0;
    /// Gives the inhibit up; nothing when none is held.
    virtual void release() = 0;
};

/**
 * Keeps the desktop from going idle (blanking or locking the screen, suspending) while held.
 *
 * The first of these that is there holds it:
 * 1. the compositor, on the window that the hold is for (SurfaceIdleInhibit), when it offers the
 *    protocol and a window is given; then nothing is asked on the bus;
 * 2. the desktop portal: org.freedesktop.portal.Desktop, object /org/freedesktop/portal/desktop,
 *    org.freedesktop.portal.Inhibit.Inhibit with the parent window ("x11:" and the window's id in
 *    hexadecimal on X11, "" elsewhere), flag 8 (idle) and the reason; its answer is a request
 *    handle, and org.freedesktop.portal.Request.Close on it ends the inhibit;
 * 3. when the portal does not answer with a handle (not running, too old, refusing),
 *    org.freedesktop.ScreenSaver.Inhibit(application name, reason) on /org/freedesktop/ScreenSaver;
 *    its cookie ends it with UnInhibit(cookie).
 * When none is there, or there is no bus, nothing is held and nothing is said: the program works
 * as without this object.
 *
 * Every call on the bus is asynchronous: the GUI thread never waits on it. setHeld() only records
 * what is wanted; the services are asked one at a time, and an answer that arrives after the hold
 * was given up is released at once. Asking again for a hold that is already held, or being asked,
 * sends nothing.
 *
 * Destroying the inhibitor releases what it holds. An answer still awaited then is released when
 * it arrives, for as long as the bus connection lasts; should the program end first, the services
 * drop the inhibits of a client that leaves the bus, and the compositor those of a client that
 * disconnects.
 *
 * GUI thread only.
 */
class IdleInhibitor final : public QObject {
    Q_OBJECT

public:
    /// @p compositor holds the inhibit on a window when there is one (see SurfaceIdleInhibit).
    explicit IdleInhibitor(QString reason, QDBusConnection bus = QDBusConnection::sessionBus(),
                           QObject* parent = nullptr,
                           std::unique_ptr<SurfaceIdleInhibit> compositor = SurfaceIdleInhibit::ofCompositor());
    ~IdleInhibitor() override;

    IdleInhibitor(const IdleInhibitor&) = delete;
    IdleInhibitor& operator=(const IdleInhibitor&) = delete;

    /**
     * The rule of the player: holds an inhibit while @p player plays (or waits for data) with its
     * picture full screen, and releases it on pause, end, stop, leaving full screen and the
     * player's destruction. The window it is for is the program's window that fills a screen:
     * the player's full-screen view. Returns the inhibitor, owned by @p media.
     */
    static IdleInhibitor* whileWatchingFullScreen(PlayerFacade& player, PlayerMedia& media,
                                                  const QDBusConnection& bus = QDBusConnection::sessionBus());

    /// Asks for the inhibit (@p held true) for @p window, which may be null, or gives it up.
    void setHeld(bool held, QWindow* window = nullptr);
    /// Whether the inhibit is asked for now, granted or not (never on the bus when it is
    /// disconnected).
    bool isHeld() const { return m_onSurface || m_wanted; }

private:
    /// What a service gave: a portal request handle or a screen-saver cookie.
    struct Grant {
        enum class From { Nobody, Portal, ScreenSaver };
        From from = From::Nobody;
        QString handle;
        uint cookie = 0;
    };

    void setHeldOnBus(bool held, QWindow* window);
    void ask();
    void askScreenSaver();
    /// Takes a service's answer, or releases it when the hold is no longer wanted or the
    /// inhibitor is gone (@p self null).
    static void answered(IdleInhibitor* self, const QDBusConnection& bus, const Grant& grant);
    static void release(const QDBusConnection& bus, const Grant& grant);

    QString m_reason;
    QDBusConnection m_bus;
    std::unique_ptr<SurfaceIdleInhibit> m_compositor;
    bool m_onSurface = false;
    /// The window the hold on the bus is for, named to the portal.
    QPointer<QWindow> m_window;
    bool m_wanted = false;
    bool m_asking = false;
    Grant m_grant;
};
