// A stand-in for the desktop's two idle-inhibit services, for tests on a private session bus: it
// owns org.freedesktop.portal.Desktop (org.freedesktop.portal.Inhibit and its Request objects) and
// org.freedesktop.ScreenSaver, grants every Inhibit and writes one line to standard output for
// each event, flushed at once, so that a test can wait for it:
//
//   ready portal=<0|1>                         both names owned (the portal's unless --no-portal)
//   inhibit portal active=<n> <handle> window=<parent window> flags=<flags> reason=<reason>
//   inhibit screensaver active=<n> <cookie> app=<application> reason=<reason>
//   release portal active=<n> <handle>         Request.Close on a handle it gave
//   release screensaver active=<n> <cookie>    UnInhibit of a cookie it gave
//   dropped <portal|screensaver> active=<n> <handle|cookie>
//                                              its holder left the bus without releasing it
//
// active is the number of inhibits held after the event, over both services. Calls that name
// nothing it gave are answered with an error and not written. Runs until killed.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QMap>

#include <cstdio>
#include <utility>

namespace {

struct Inhibit {
    QString service; // "portal" or "screensaver"
    QString id;      // the request handle or the cookie
    QString holder;  // the caller's unique bus name
};

class Ledger : public QObject {
public:
    Ledger()
    {
        m_watcher.setConnection(QDBusConnection::sessionBus());
        m_watcher.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
        connect(&m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, &Ledger::holderLeft);
    }

    void add(const Inhibit& inhibit, const QString& details)
    {
        m_held.insert(inhibit.service + inhibit.id, inhibit);
        m_watcher.addWatchedService(inhibit.holder);
        say(QStringLiteral("inhibit %1 active=%2 %3 %4")
                .arg(inhibit.service)
                .arg(m_held.size())
                .arg(inhibit.id, details));
    }

    bool remove(const QString& service, const QString& id, const char* verb = "release")
    {
        if (m_held.remove(service + id) == 0) {
            return false;
        }
        say(QStringLiteral("%1 %2 active=%3 %4").arg(QLatin1String(verb), service).arg(m_held.size()).arg(id));
        return true;
    }

    static void say(const QString& line)
    {
        std::fputs(qPrintable(line + u'\n'), stdout);
        std::fflush(stdout);
    }

private:
    void holderLeft(const QString& holder)
    {
        const QList<Inhibit> held = m_held.values();
        for (const Inhibit& inhibit : held) {
            if (inhibit.holder == holder) {
                remove(inhibit.service, inhibit.id, "dropped");
            }
        }
    }

    QMap<QString, Inhibit> m_held;
    QDBusServiceWatcher m_watcher;
};

Ledger* ledger = nullptr;

// One granted portal inhibit, at its handle, until closed.
class PortalRequest : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")

public:
    explicit PortalRequest(QString handle)
        : m_handle(std::move(handle))
    {
    }

public slots:
    void Close()
    {
        ledger->remove(QStringLiteral("portal"), m_handle);
        QDBusConnection::sessionBus().unregisterObject(m_handle);
        deleteLater();
    }

private:
    QString m_handle;
};

class Portal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")

public slots:
    QDBusObjectPath Inhibit(const QString& window, uint flags, const QVariantMap& options, const QDBusMessage& call)
    {
        // The handle is made as the real portal makes it: the caller's name and a token.
        QString sender = call.service().mid(1);
        sender.replace(u'.', u'_');
        const QString token =
            options.value(QStringLiteral("handle_token"), QStringLiteral("t%1").arg(++m_tokens)).toString();
        const QString handle = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
        auto* request = new PortalRequest(handle);
        request->setParent(this);
        QDBusConnection::sessionBus().registerObject(handle, request, QDBusConnection::ExportAllSlots);
        ledger->add({QStringLiteral("portal"), handle, call.service()}, QStringLiteral("window=%1 flags=%2 reason=%3")
                                                                            .arg(window)
                                                                            .arg(flags)
                                                                            .arg(options.value("reason").toString()));
        return QDBusObjectPath(handle);
    }

private:
    int m_tokens = 0;
};

class ScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public slots:
    uint Inhibit(const QString& application, const QString& reason, const QDBusMessage& call)
    {
        ++m_cookies;
        ledger->add({QStringLiteral("screensaver"), QString::number(m_cookies), call.service()},
                    QStringLiteral("app=%1 reason=%2").arg(application, reason));
        return m_cookies;
    }

    void UnInhibit(uint cookie, const QDBusMessage& call)
    {
        if (!ledger->remove(QStringLiteral("screensaver"), QString::number(cookie))) {
            call.setDelayedReply(true);
            QDBusConnection::sessionBus().send(call.createErrorReply(QDBusError::InvalidArgs, "no such cookie"));
        }
    }

private:
    uint m_cookies = 0;
};

bool serve(QObject* object, const QString& path, const QString& name)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.registerObject(path, object, QDBusConnection::ExportAllSlots) && bus.registerService(name);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool withPortal = !app.arguments().contains(QStringLiteral("--no-portal"));
    Ledger theLedger;
    ledger = &theLedger;
    Portal portal;
    ScreenSaver screenSaver;
    if (!serve(&screenSaver, QStringLiteral("/org/freedesktop/ScreenSaver"),
               QStringLiteral("org.freedesktop.ScreenSaver")) ||
        (withPortal && !serve(&portal, QStringLiteral("/org/freedesktop/portal/desktop"),
                              QStringLiteral("org.freedesktop.portal.Desktop")))) {
        std::fputs("inhibit_standin: no session bus, or the names are taken\n", stderr);
        return 1;
    }
    Ledger::say(QStringLiteral("ready portal=%1").arg(int(withPortal)));
    return app.exec();
}

#include "inhibit_standin.moc"
