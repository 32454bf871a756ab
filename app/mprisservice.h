#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QVariantMap>

class Form1;
class FormBehaviour;
class QDBusMessage;

/**
 * The window's media controls on the desktop bus, as the MPRIS 2 interface: what the keyboard's
 * media keys and the desktop's media applets talk to.
 *
 * Bus name org.mpris.MediaPlayer2.marrowlark (a copy started while another holds that name takes
 * org.mpris.MediaPlayer2.marrowlark.instance<pid>), object /org/mpris/MediaPlayer2, interfaces
 * org.mpris.MediaPlayer2 and org.mpris.MediaPlayer2.Player.
 *
 * What a call does:
 * - PlayPause is Space in the file list (pause while playing, resume while paused, nothing
 *   otherwise); Play is Command2's click and Pause is Command3's: the player is driven exactly as
 *   by the window, and the caption and buttons follow through the player's usual notification.
 * - Raise shows, raises and activates the window; Quit closes it, which ends the program.
 * - Next, Previous, Stop, Seek and SetPosition have no effect (every Can... says so); OpenUri is
 *   refused with org.freedesktop.DBus.Error.NotSupported and opens nothing.
 *
 * Every action runs after the call has been answered, as an event of its own on the GUI thread,
 * so that an error of the player reaches the application's report the way a click's would and
 * the caller never waits on the player.
 *
 * PlaybackStatus ("Playing" for state 3, "Paused" for 2, "Stopped" otherwise) and Metadata
 * (mpris:trackid and xesam:title, the window's caption, while a file plays or is paused; empty
 * otherwise) are read when the player's notification has been handled by the window; a change of
 * either is announced with org.freedesktop.DBus.Properties.PropertiesChanged.
 *
 * GUI thread only. The service belongs to the window and leaves the bus with it.
 */
class MprisService final : public QObject {
    Q_OBJECT

public:
    static QString serviceName();
    static QString objectPath();
    static QString trackId();

    /**
     * Publishes the controls of @p form on @p bus. Returns the service, owned by the form, or
     * nullptr when the bus is not connected or refuses both names: the program then runs
     * without media controls, and nothing is printed.
     */
    static MprisService* publish(Form1& form, FormBehaviour& behaviour,
                                 const QDBusConnection& bus = QDBusConnection::sessionBus());

    ~MprisService() override;

    /// The bus name this service holds.
    QString busName() const { return m_busName; }

    QString playbackStatus() const;
    QVariantMap metadata() const;

    // The actions, each queued as described above.
    void raise();
    void quit();
    void playPause();
    void play();
    void pause();

    /// Sends @p call the refusal of an operation this player does not offer.
    void refuseUnsupported(const QDBusMessage& call, const QString& what) const;

private:
    MprisService(Form1& form, FormBehaviour& behaviour, QDBusConnection bus);

    bool registerOnBus();
    void announceChanges();

    Form1& m_form;
    FormBehaviour& m_behaviour;
    QDBusConnection m_bus;
    QString m_busName;
    QString m_announcedStatus;
    QVariantMap m_announcedMetadata;
};
