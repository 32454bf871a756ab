#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QVariantMap>

#include <functional>

class Form1;
class FormBehaviour;
class QImage;
class MprisPlayerAdaptor;
class PlayerMedia;
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
 * - Seek(offset) jumps relative to the position, clamped to the file; SetPosition(trackid,
 *   position) jumps there, and does nothing when trackid is not the open file's or position lies
 *   outside the file. Both do nothing while CanSeek is false.
 * - Raise shows, raises and activates the window; Quit closes it, which ends the program.
 * - Next, Previous and Stop have no effect (every Can... says so); OpenUri is refused with
 *   org.freedesktop.DBus.Error.NotSupported and opens nothing.
 *
 * Every action runs after the call has been answered, as an event of its own on the GUI thread,
 * so that an error of the player reaches the application's report the way a click's would and
 * the caller never waits on the player.
 *
 * Readings. PlaybackStatus is "Playing" for state 3, "Paused" for 2, "Stopped" otherwise. The rest
 * comes from the player's PlayerMedia (playermedia.h): Metadata is mprisMetadata() of the open
 * file (its own trackid for every open, tags, length, file URI; empty while nothing is open),
 * with the cover's mpris:artUrl added once it has been encoded on a worker thread, Position is read from the player on
 * every Get, CanSeek is the player's. The Seeked signal follows every jump the player announces, whoever asked for it.
 * A player without a PlayerMedia gives what the window shows: Metadata is mpris:trackid trackId() and xesam:title the
 * caption while a file plays or is paused, empty otherwise; Position 0; CanSeek false.
 *
 * A change of PlaybackStatus, Metadata or CanSeek is announced with
 * org.freedesktop.DBus.Properties.PropertiesChanged: the status once the window has handled the
 * player's notification, the track as soon as the player announces it.
 *
 * GUI thread only. The service belongs to the window and leaves the bus with it.
 */
class MprisService final : public QObject {
    Q_OBJECT

public:
    static QString serviceName();
    static QString objectPath();
    /// The one track id used without a PlayerMedia.
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
    qlonglong position() const;
    bool canSeek() const;

    // The actions, each queued as described above.
    void raise();
    void quit();
    void playPause();
    void play();
    void pause();
    void seek(qlonglong offsetUs);
    void setPosition(const QString& trackId, qlonglong positionUs);

    /// Sends @p call the refusal of an operation this player does not offer.
    void refuseUnsupported(const QDBusMessage& call, const QString& what) const;

private:
    MprisService(Form1& form, FormBehaviour& behaviour, QDBusConnection bus);

    bool registerOnBus();
    void followMedia(MprisPlayerAdaptor& adaptor);
    void readTrack();
    /// Adds @p cover's mpris:artUrl to the Metadata once encoded, and announces it, unless the
    /// track has been read again meanwhile.
    void encodeCover(const QImage& cover);
    /// Queues @p action for the player's media, to run only if it can seek by then.
    void whenSeekable(std::function<void(PlayerMedia&)> action);
    void announceChanges();

    Form1& m_form;
    FormBehaviour& m_behaviour;
    QDBusConnection m_bus;
    // The player's, destroyed with it: the window deletes its player before this service.
    QPointer<PlayerMedia> m_media;
    QString m_busName;
    QVariantMap m_trackMetadata; ///< built once per change of the track, and once more with the cover
    quint64 m_trackReadings = 0;
    QString m_announcedStatus;
    QVariantMap m_announcedMetadata;
    bool m_announcedCanSeek = false;
};
