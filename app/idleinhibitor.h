#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

class PlayerFacade;
class PlayerMedia;

/**
 * Keeps the desktop from going idle (blanking or locking the screen, suspending) while held.
 *
 * Holding asks the desktop portal first: org.freedesktop.portal.Desktop, object
 * /org/freedesktop/portal/desktop, org.freedesktop.portal.Inhibit.Inhibit with flag 8 (idle) and
 * the reason; its answer is a request handle, and org.freedesktop.portal.Request.Close on it ends
 * the inhibit. When the portal does not answer with a handle (not running, too old, refusing),
 * org.freedesktop.ScreenSaver.Inhibit(application name, reason) on /org/freedesktop/ScreenSaver
 * is asked instead; its cookie ends it with UnInhibit(cookie). When neither answers, or there is
 * no bus, nothing is held and nothing is said: the program works as without this object.
 *
 * Every call is asynchronous: the GUI thread never waits on the bus. setHeld() only records what
 * is wanted; the services are asked one at a time, and an answer that arrives after the hold was
 * given up is released at once. Asking again for a hold that is already held, or being asked, sends
 * nothing.
 *
 * Destroying the inhibitor releases what it holds. An answer still awaited then is released when
 * it arrives, for as long as the bus connection lasts; should the program end first, the services
 * drop the inhibits of a client that leaves the bus.
 *
 * GUI thread only.
 */
class IdleInhibitor final : public QObject {
    Q_OBJECT

public:
    explicit IdleInhibitor(QString reason, QDBusConnection bus = QDBusConnection::sessionBus(),
                           QObject* parent = nullptr);
    ~IdleInhibitor() override;

    IdleInhibitor(const IdleInhibitor&) = delete;
    IdleInhibitor& operator=(const IdleInhibitor&) = delete;

    /**
     * The rule of the player: holds an inhibit while @p player plays (or waits for data) with its
     * picture full screen, and releases it on pause, end, stop, leaving full screen and the
     * player's destruction. Returns the inhibitor, owned by @p media.
     */
    static IdleInhibitor* whileWatchingFullScreen(PlayerFacade& player, PlayerMedia& media,
                                                  const QDBusConnection& bus = QDBusConnection::sessionBus());

    /// Asks for the inhibit (@p held true) or gives it up.
    void setHeld(bool held);
    /// Whether the inhibit is asked for now, granted or not (never with a disconnected bus).
    bool isHeld() const { return m_wanted; }

private:
    /// What a service gave: a portal request handle or a screen-saver cookie.
    struct Grant {
        enum class From { Nobody, Portal, ScreenSaver };
        From from = From::Nobody;
        QString handle;
        uint cookie = 0;
    };

    void ask();
    void askScreenSaver();
    /// Takes a service's answer, or releases it when the hold is no longer wanted or the
    /// inhibitor is gone (@p self null).
    static void answered(IdleInhibitor* self, const QDBusConnection& bus, const Grant& grant);
    static void release(const QDBusConnection& bus, const Grant& grant);

    QString m_reason;
    QDBusConnection m_bus;
    bool m_wanted = false;
    bool m_asking = false;
    Grant m_grant;
};
