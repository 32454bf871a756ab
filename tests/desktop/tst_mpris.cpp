// The media controls on a private session bus (the test runs under dbus-run-session), driven by
// real D-Bus calls from a second connection: first against the fake player for the logic (with
// and without its media surface), then against the real one playing a tone, checking the
// window's caption and buttons.
#include "fakeplayer.h"
#include "fakeplayermedia.h"
#include "filelistbox.h"
#include "form1.h"
#include "formbehaviour.h"
#include "glyphbutton.h"
#include "mprismetadata.h"
#include "mprisservice.h"
#include "playerfacade.h"
#include "startup.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

// A Metadata map as it comes over the bus, with every value made plain.
QVariantMap plainMap(const QVariant& value)
{
    QVariantMap map =
        value.canConvert<QDBusArgument>() ? qdbus_cast<QVariantMap>(value.value<QDBusArgument>()) : value.toMap();
    for (QVariant& entry : map) {
        if (entry.canConvert<QDBusObjectPath>()) {
            entry = entry.value<QDBusObjectPath>().path();
        }
    }
    return map;
}

} // namespace

Q_DECLARE_METATYPE(TrackInfo)

/// Keeps every PropertiesChanged signal of the player interface that reaches the client.
class ChangeRecorder : public QObject {
    Q_OBJECT

public:
    QList<QVariantMap> changes;
    QList<qlonglong> seeks;

public slots:
    void seeked(qlonglong position) { seeks.append(position); }
    void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& /*invalidated*/)
    {
        if (interface == kPlayer) {
            QVariantMap plain = changed;
            if (plain.contains(QStringLiteral("Metadata"))) {
                plain[QStringLiteral("Metadata")] = plainMap(plain.value("Metadata"));
            }
            changes.append(plain);
        }
    }
};

class TestMpris : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fixedProperties_data();
    void fixedProperties();
    void methodsDriveThePlayerAsTheWindowDoes_data();
    void methodsDriveThePlayerAsTheWindowDoes();
    void statusAndTitleFollowThePlayState_data();
    void statusAndTitleFollowThePlayState();
    void changesAreAnnouncedOnce();
    void openUriIsRefusedAndOpensNothing();
    void raiseActivatesTheWindow();
    void quitClosesTheWindow();
    void secondWindowLeavesTheFirstOnTheBus();
    void noBusMeansNoServiceAndNoWarning();
    void publishedOnceTheWindowHasPainted();

    void metadataOfTheOpenFile_data();
    void metadataOfTheOpenFile();
    void coverOverTheLimitIsLeftOut();
    void trackChangesAreAnnouncedAndTheCaptionStays();
    void seekingFromTheBus_data();
    void seekingFromTheBus();

    void realPlayerFollowsTheMediaKeys();

private:
    static QDBusConnection client();
    static QDBusMessage call(const QString& interface, const QString& method, const QVariantList& arguments = {});
    static QVariant property(const QString& interface, const QString& name);
    FakePlayer& fake() const { return *static_cast<FakePlayer*>(m_form->windowsMediaPlayer1()); }
    /// Replaces the window by one whose fake player has a FakePlayerMedia, and returns that.
    FakePlayerMedia& useWindowWithMedia();

    std::unique_ptr<Form1> m_form;
    ChangeRecorder m_recorder;
};

void TestMpris::initTestCase()
{
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run this test under dbus-run-session");
    QVERIFY(client().connect(QString(), MprisService::objectPath(), kProperties, QStringLiteral("PropertiesChanged"),
                             &m_recorder, SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
    QVERIFY(client().connect(QString(), MprisService::objectPath(), kPlayer, QStringLiteral("Seeked"), &m_recorder,
                             SLOT(seeked(qlonglong))));
}

void TestMpris::init()
{
    m_form = createMainWindow([](QWidget* parent) { return new FakePlayer(parent); });
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    // Published once the window has painted.
    QTRY_VERIFY(client().interface()->isServiceRegistered(MprisService::serviceName()));
    m_recorder.changes.clear();
    m_recorder.seeks.clear();
}

FakePlayerMedia& TestMpris::useWindowWithMedia()
{
    m_form.reset();
    m_form = createMainWindow([](QWidget* parent) {
        auto* player = new FakePlayer(parent);
        new FakePlayerMedia(player);
        return player;
    });
    m_form->show();
    [&] { QTRY_VERIFY(client().interface()->isServiceRegistered(MprisService::serviceName())); }();
    m_recorder.changes.clear();
    return *static_cast<FakePlayerMedia*>(playerMediaOf(fake()));
}

void TestMpris::cleanup()
{
    m_form.reset();
}

QDBusConnection TestMpris::client()
{
    // A connection of its own, so that every call really travels through the bus daemon.
    static const QDBusConnection connection =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("tst_client"));
    return connection;
}

QDBusMessage TestMpris::call(const QString& interface, const QString& method, const QVariantList& arguments)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(MprisService::serviceName(), MprisService::objectPath(), interface, method);
    message.setArguments(arguments);
    // Asynchronous, so that the window's own connection goes on serving while the test waits.
    QDBusPendingCall pending = client().asyncCall(message, 5000);
    QDBusPendingCallWatcher watcher(pending);
    QSignalSpy finished(&watcher, &QDBusPendingCallWatcher::finished);
    if (!pending.isFinished()) {
        finished.wait(6000);
    }
    return pending.reply();
}

QVariant TestMpris::property(const QString& interface, const QString& name)
{
    const QDBusMessage reply = call(kProperties, QStringLiteral("Get"), {interface, name});
    if (reply.type() != QDBusMessage::ReplyMessage) {
        return {};
    }
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

void TestMpris::fixedProperties_data()
{
    QTest::addColumn<QString>("interface");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("identity") << kRoot << "Identity" << QVariant(QStringLiteral("Marrowlark"));
    QTest::newRow("desktop entry") << kRoot << "DesktopEntry" << QVariant("marrowlark");
    QTest::newRow("can quit") << kRoot << "CanQuit" << QVariant(true);
    QTest::newRow("can raise") << kRoot << "CanRaise" << QVariant(true);
    QTest::newRow("no track list") << kRoot << "HasTrackList" << QVariant(false);
    QTest::newRow("no full screen") << kRoot << "CanSetFullscreen" << QVariant(false);
    QTest::newRow("opens no URI") << kRoot << "SupportedUriSchemes" << QVariant(QStringList());
    QTest::newRow("opens no type") << kRoot << "SupportedMimeTypes" << QVariant(QStringList());
    QTest::newRow("no next") << kPlayer << "CanGoNext" << QVariant(false);
    QTest::newRow("no previous") << kPlayer << "CanGoPrevious" << QVariant(false);
    QTest::newRow("no seeking") << kPlayer << "CanSeek" << QVariant(false);
    QTest::newRow("can play") << kPlayer << "CanPlay" << QVariant(true);
    QTest::newRow("can pause") << kPlayer << "CanPause" << QVariant(true);
    QTest::newRow("can control") << kPlayer << "CanControl" << QVariant(true);
    QTest::newRow("stopped at start") << kPlayer << "PlaybackStatus" << QVariant("Stopped");
}

void TestMpris::fixedProperties()
{
    QFETCH(QString, interface);
    QFETCH(QString, name);
    QFETCH(QVariant, expected);
    QVariant value = property(interface, name);
    if (expected.typeId() == QMetaType::QStringList) {
        value = qdbus_cast<QStringList>(value);
    }
    QCOMPARE(value, expected);
}

void TestMpris::methodsDriveThePlayerAsTheWindowDoes_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariantList>("arguments");
    QTest::addColumn<QStringList>("calls");

    const QStringList none;
    const QStringList play{QStringLiteral("play")};
    const QStringList pause{QStringLiteral("pause")};
    QTest::newRow("play-pause while playing pauses") << PlayStatePlaying << "PlayPause" << QVariantList() << pause;
    QTest::newRow("play-pause while paused resumes") << PlayStatePaused << "PlayPause" << QVariantList() << play;
    QTest::newRow("play-pause while stopped: nothing") << PlayStateStopped << "PlayPause" << QVariantList() << none;
    QTest::newRow("play-pause before a file: nothing") << PlayStateUndefined << "PlayPause" << QVariantList() << none;
    QTest::newRow("play-pause at the end: nothing") << PlayStateMediaEnded << "PlayPause" << QVariantList() << none;
    QTest::newRow("play-pause after a failed open") << PlayStateReady << "PlayPause" << QVariantList() << none;
    QTest::newRow("play while stopped plays") << PlayStateStopped << "Play" << QVariantList() << play;
    QTest::newRow("play while playing plays") << PlayStatePlaying << "Play" << QVariantList() << play;
    QTest::newRow("pause before a file pauses") << PlayStateUndefined << "Pause" << QVariantList() << pause;
    QTest::newRow("pause while paused pauses") << PlayStatePaused << "Pause" << QVariantList() << pause;
    QTest::newRow("next: nothing") << PlayStatePlaying << "Next" << QVariantList() << none;
    QTest::newRow("previous: nothing") << PlayStatePlaying << "Previous" << QVariantList() << none;
    QTest::newRow("stop: nothing") << PlayStatePlaying << "Stop" << QVariantList() << none;
    QTest::newRow("seek: nothing") << PlayStatePlaying << "Seek" << QVariantList{qlonglong(5000000)} << none;
    QTest::newRow("set position: nothing")
        << PlayStatePlaying << "SetPosition"
        << QVariantList{QVariant::fromValue(QDBusObjectPath(MprisService::trackId())), qlonglong(0)} << none;
}

void TestMpris::methodsDriveThePlayerAsTheWindowDoes()
{
    QFETCH(int, state);
    QFETCH(QString, method);
    QFETCH(QVariantList, arguments);
    QFETCH(QStringList, calls);
    fake().setState(state);
    fake().clearCalls();

    const QDBusMessage reply = call(kPlayer, method, arguments);
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    // The action was queued before the reply was sent, so it has run by now; one more round trip
    // makes sure for the rows where nothing is to happen.
    QTRY_COMPARE(fake().calls(), calls);
    property(kPlayer, QStringLiteral("PlaybackStatus"));
    QCOMPARE(fake().calls(), calls);
}

void TestMpris::statusAndTitleFollowThePlayState_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("folderText");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("title");

    QTest::newRow("playing") << PlayStatePlaying << "/music"
                             << "Playing"
                             << "song.mp3";
    QTest::newRow("paused") << PlayStatePaused << "/music"
                            << "Paused"
                            << "song.mp3";
    QTest::newRow("folder text changed: the full location") << PlayStatePlaying << "/other"
                                                            << "Playing"
                                                            << "/music/song.mp3";
    QTest::newRow("stopped") << PlayStateStopped << "/music"
                             << "Stopped"
                             << "";
    QTest::newRow("ended") << PlayStateMediaEnded << "/music"
                           << "Stopped"
                           << "";
    QTest::newRow("buffering") << PlayStateBuffering << "/music"
                               << "Stopped"
                               << "";
    QTest::newRow("failed open") << PlayStateReady << "/music"
                                 << "Stopped"
                                 << "";
}

void TestMpris::statusAndTitleFollowThePlayState()
{
    QFETCH(int, state);
    QFETCH(QString, folderText);
    QFETCH(QString, status);
    QFETCH(QString, title);
    m_form->text1()->setText(QStringLiteral("/music"));
    fake().setUrl(QStringLiteral("/music/song.mp3"));
    m_form->text1()->setText(folderText);
    fake().setState(state);

    QCOMPARE(property(kPlayer, QStringLiteral("PlaybackStatus")).toString(), status);
    const QVariantMap metadata = plainMap(property(kPlayer, QStringLiteral("Metadata")));
    if (title.isEmpty()) {
        QVERIFY2(metadata.isEmpty(), qPrintable(QStringList(metadata.keys()).join(' ')));
    } else {
        QCOMPARE(metadata.value("xesam:title").toString(), title);
        QCOMPARE(metadata.value("mpris:trackid").toString(), MprisService::trackId());
        QCOMPARE(m_form->windowTitle(), title);
    }
}

void TestMpris::changesAreAnnouncedOnce()
{
    m_form->text1()->setText(QStringLiteral("/music"));
    fake().setUrl(QStringLiteral("/music/song.mp3"));
    const QVariantMap playingMetadata{{"mpris:trackid", MprisService::trackId()}, {"xesam:title", "song.mp3"}};

    fake().setState(PlayStatePlaying);
    QTRY_COMPARE(m_recorder.changes.size(), 1);
    QCOMPARE(m_recorder.changes.at(0), (QVariantMap{{"PlaybackStatus", "Playing"}, {"Metadata", playingMetadata}}));

    fake().setState(PlayStatePaused); // same file: the status alone changes
    QTRY_COMPARE(m_recorder.changes.size(), 2);
    QCOMPARE(m_recorder.changes.at(1), (QVariantMap{{"PlaybackStatus", "Paused"}}));

    fake().setState(PlayStateMediaEnded);
    QTRY_COMPARE(m_recorder.changes.size(), 3);
    QCOMPARE(m_recorder.changes.at(2), (QVariantMap{{"PlaybackStatus", "Stopped"}, {"Metadata", QVariantMap()}}));

    fake().setState(PlayStateStopped); // still "Stopped": nothing to announce
    fake().setState(PlayStatePlaying);
    QTRY_COMPARE(m_recorder.changes.size(), 4);
    QCOMPARE(m_recorder.changes.at(3).value("PlaybackStatus").toString(), "Playing");
}

void TestMpris::openUriIsRefusedAndOpensNothing()
{
    const QDBusMessage reply = call(kPlayer, QStringLiteral("OpenUri"), {QStringLiteral("file:///tmp/song.mp3")});
    QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
    QCOMPARE(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.NotSupported"));
    property(kPlayer, QStringLiteral("PlaybackStatus"));
    QCOMPARE(fake().calls(), QStringList());
    QCOMPARE(m_form->windowTitle(), Form1::idleTitle());
}

void TestMpris::raiseActivatesTheWindow()
{
    QWidget other;
    other.show();
    other.activateWindow();
    QTRY_VERIFY(other.isActiveWindow());
    m_form->hide();

    QCOMPARE(call(kRoot, QStringLiteral("Raise")).type(), QDBusMessage::ReplyMessage);
    QTRY_VERIFY(m_form->isVisible());
    QTRY_VERIFY(m_form->isActiveWindow());
}

void TestMpris::quitClosesTheWindow()
{
    QCOMPARE(call(kRoot, QStringLiteral("Quit")).type(), QDBusMessage::ReplyMessage);
    QTRY_VERIFY(!m_form->isVisible());
}

void TestMpris::secondWindowLeavesTheFirstOnTheBus()
{
    // One object path per connection: a second window in the same process gets no service of
    // its own (a second copy of the program, with its own connection, takes an instance name).
    auto second = createMainWindow([](QWidget* parent) { return new FakePlayer(parent); });
    second.reset();
    QCOMPARE(property(kRoot, QStringLiteral("Identity")).toString(), QStringLiteral("Marrowlark"));
    fake().setState(PlayStatePaused);
    QTRY_COMPARE(property(kPlayer, QStringLiteral("PlaybackStatus")).toString(), "Paused");

    m_form.reset();
    QTRY_VERIFY(!client().interface()->isServiceRegistered(MprisService::serviceName()));
}

void TestMpris::noBusMeansNoServiceAndNoWarning()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    const QDBusConnection nowhere =
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("nowhere"));
    QVERIFY(!nowhere.isConnected());
    auto* behaviour = m_form->findChild<FormBehaviour*>();
    QVERIFY(behaviour);
    QCOMPARE(MprisService::publish(*m_form, *behaviour, nowhere), nullptr);
}

void TestMpris::publishedOnceTheWindowHasPainted()
{
    m_form.reset(); // frees the bus name
    const auto registered = [] {
        return client().interface()->isServiceRegistered(MprisService::serviceName()).value();
    };
    QTRY_VERIFY(!registered());
    const auto form = createMainWindow([](QWidget* parent) { return new FakePlayer(parent); });
    QCoreApplication::processEvents();
    QVERIFY(!registered()); // nothing painted yet: the first picture does not wait on the bus
    form->show();
    QTRY_VERIFY(registered());
    QVERIFY(form->findChild<MprisService*>());
}

void TestMpris::realPlayerFollowsTheMediaKeys()
{
    m_form.reset(); // frees the bus name for the window with the real player
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const int made = QProcess::execute(QStringLiteral("ffmpeg"),
                                       {"-v", "error", "-f", "lavfi", "-i", "sine=frequency=440:duration=60", "-ac",
                                        "1", "-ar", "8000", folder.filePath(QStringLiteral("tone.wav"))});
    QCOMPARE(made, 0);

    std::unique_ptr<Form1> form = createMainWindow();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    form->text1()->setText(folder.path());
    FileListBox& list = *form->file1();
    QTRY_COMPARE(list.model()->rowCount(), 1);
    list.setCurrentIndex(list.model()->index(0, 0));
    form->command1()->click();

    const QString name = QStringLiteral("tone.wav");
    const auto expectPlaying = [&](bool playing) {
        QTRY_COMPARE_WITH_TIMEOUT(property(kPlayer, QStringLiteral("PlaybackStatus")).toString(),
                                  QString(playing ? "Playing" : "Paused"), 10000);
        QCOMPARE(form->windowTitle(), name);
        QCOMPARE(form->command3()->isVisible(), playing); // the pause glyph
        QCOMPARE(form->command2()->isVisible(), !playing);
    };
    expectPlaying(true);
    QVERIFY(!QTest::currentTestFailed());
    QCOMPARE(plainMap(property(kPlayer, QStringLiteral("Metadata"))).value("xesam:title"), name);

    const std::pair<const char*, bool> steps[] = {
        {"PlayPause", false}, {"PlayPause", true}, {"Pause", false}, {"Play", true}};
    for (const auto& [method, playing] : steps) {
        QCOMPARE(call(kPlayer, QString::fromLatin1(method)).type(), QDBusMessage::ReplyMessage);
        expectPlaying(playing);
        QVERIFY2(!QTest::currentTestFailed(), method);
    }
}

void TestMpris::metadataOfTheOpenFile_data()
{
    QTest::addColumn<TrackInfo>("track");
    QTest::addColumn<QVariantMap>("expected"); // but mpris:artUrl
    QTest::addColumn<QSize>("artSize");        // invalid: no mpris:artUrl

    QImage cover(1024, 512, QImage::Format_RGB32);
    cover.fill(Qt::darkCyan);
    const QString id = mprisTrackId(7);

    QTest::newRow("nothing open") << TrackInfo() << QVariantMap() << QSize();
    QTest::newRow("tagged, with a cover") << TrackInfo{7, "/m/a.mp3", "Song", {"A", "B"}, "Album", 3000000, cover, true}
                                          << QVariantMap{{"mpris:trackid", id},
                                                         {"xesam:title", "Song"},
                                                         {"xesam:artist", QStringList{"A", "B"}},
                                                         {"xesam:album", "Album"},
                                                         {"mpris:length", qlonglong(3000000)},
                                                         {"xesam:url", "file:///m/a.mp3"}}
                                          << QSize(512, 256);
    QTest::newRow("untagged, length unknown, URL encoded")
        << TrackInfo{7, "/m/a b#%é.mp3", "a b#%é.mp3", {}, {}, -1, {}, false}
        << QVariantMap{{"mpris:trackid", id},
                       {"xesam:title", "a b#%é.mp3"},
                       {"xesam:url", "file:///m/a%20b%23%25%C3%A9.mp3"}}
        << QSize();
}

void TestMpris::metadataOfTheOpenFile()
{
    QFETCH(TrackInfo, track);
    QFETCH(QVariantMap, expected);
    QFETCH(QSize, artSize);
    FakePlayerMedia& media = useWindowWithMedia();
    media.open(track);

    const QString artKey = QStringLiteral("mpris:artUrl");
    const QString prefix = QStringLiteral("data:image/jpeg;base64,");
    QVariantMap metadata = plainMap(property(kPlayer, QStringLiteral("Metadata")));
    if (artSize.isValid()) { // encoded apart, announced when ready
        QTRY_VERIFY((metadata = plainMap(property(kPlayer, QStringLiteral("Metadata")))).contains(artKey));
        const QString art = metadata.take(artKey).toString();
        QVERIFY(art.startsWith(prefix));
        QCOMPARE(QImage::fromData(QByteArray::fromBase64(art.mid(prefix.size()).toLatin1())).size(), artSize);
        QCOMPARE(m_recorder.changes.last().value("Metadata").toMap().value(artKey), art);
    }
    QCOMPARE(metadata, expected);
}

void TestMpris::coverOverTheLimitIsLeftOut()
{
    QImage noise(512, 512, QImage::Format_ARGB32); // PNG for its alpha channel, and incompressible
    QRandomGenerator random(12);
    for (int y = 0; y < noise.height(); ++y) {
        random.fillRange(reinterpret_cast<quint32*>(noise.scanLine(y)), noise.width());
    }
    QCOMPARE(coverArtUrl(noise), QString());
    QVERIFY(coverArtUrl(noise.scaled(64, 64)).startsWith("data:image/png;base64,"));
}

void TestMpris::trackChangesAreAnnouncedAndTheCaptionStays()
{
    FakePlayerMedia& media = useWindowWithMedia();
    m_form->text1()->setText(QStringLiteral("/m"));
    fake().setUrl(QStringLiteral("/m/a.mp3"));
    media.open({.serial = 3, .path = "/m/a.mp3", .title = "Song", .lengthUs = 2000000});
    fake().setState(PlayStatePlaying);
    QTRY_COMPARE(m_recorder.changes.size(), 2);
    QCOMPARE(m_recorder.changes.at(0).value("Metadata").toMap().value("xesam:title"), "Song");
    QCOMPARE(m_recorder.changes.at(0).value("CanSeek"), true);
    QCOMPARE(m_recorder.changes.at(1), (QVariantMap{{"PlaybackStatus", "Playing"}}));
    QCOMPARE(m_form->windowTitle(), "a.mp3");

    media.setPositionUs(1500000);
    QCOMPARE(property(kPlayer, QStringLiteral("Position")).toLongLong(), 1500000);
    media.close();
    QTRY_COMPARE(m_recorder.changes.size(), 3);
    QCOMPARE(m_recorder.changes.at(2), (QVariantMap{{"Metadata", QVariantMap()}, {"CanSeek", false}}));
}

void TestMpris::seekingFromTheBus_data()
{
    QTest::addColumn<bool>("seekable");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariantList>("arguments");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QList<qlonglong>>("seeks"); // Seeked signals, from a position of 1 s in 5 s

    const auto current = QVariant::fromValue(QDBusObjectPath(mprisTrackId(4)));
    const auto stale = QVariant::fromValue(QDBusObjectPath(mprisTrackId(3)));
    const QList<qlonglong> none;
    QTest::newRow("seek forward") << true << "Seek" << QVariantList{qlonglong(2000000)} << QStringList{"seekBy 2000000"}
                                  << QList<qlonglong>{3000000};
    QTest::newRow("seek, not seekable") << false << "Seek" << QVariantList{qlonglong(1)} << QStringList() << none;
    QTest::newRow("set position") << true << "SetPosition" << QVariantList{current, qlonglong(4000000)}
                                  << QStringList{"seekTo 4000000"} << QList<qlonglong>{4000000};
    QTest::newRow("set position, stale track")
        << true << "SetPosition" << QVariantList{stale, qlonglong(4000000)} << QStringList() << none;
    QTest::newRow("set position past the end")
        << true << "SetPosition" << QVariantList{current, qlonglong(5000001)} << QStringList() << none;
    QTest::newRow("a jump in the player: its keys, a replay")
        << true << "" << QVariantList() << QStringList() << QList<qlonglong>{0};
}

void TestMpris::seekingFromTheBus()
{
    QFETCH(bool, seekable);
    QFETCH(QString, method);
    QFETCH(QVariantList, arguments);
    QFETCH(QStringList, calls);
    QFETCH(QList<qlonglong>, seeks);
    FakePlayerMedia& media = useWindowWithMedia();
    media.open({.serial = 4, .path = "/m/v.mp4", .title = "v.mp4", .lengthUs = 5000000, .hasPicture = true});
    media.setPositionUs(1000000);
    media.setCanSeek(seekable);
    QCOMPARE(property(kPlayer, QStringLiteral("CanSeek")).toBool(), seekable);

    if (method.isEmpty()) {
        media.jumpTo(0);
    } else {
        QCOMPARE(call(kPlayer, method, arguments).type(), QDBusMessage::ReplyMessage);
    }
    QTRY_COMPARE(m_recorder.seeks, seeks);
    property(kPlayer, QStringLiteral("Position")); // a round trip for the rows where nothing is to happen
    QCOMPARE(media.calls(), calls);
    QCOMPARE(m_recorder.seeks, seeks);
}

QTEST_MAIN(TestMpris)
#include "tst_mpris.moc"
