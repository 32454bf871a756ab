// The real player component over the real engine, on the offscreen platform: the play states it
// notifies, what it opens for a location, its menu and its picture.

#include "enginemedia.h"
#include "mpvplayer.h"
#include "pathcodec.h"
#include "programerror.h"
#include "statenames.h"
#include "testfolder.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDir>
#include <QMenu>
#include <QTcpServer>
#include <QTest>

#include <clocale>

namespace {

constexpr int kTimeout = 15000;

bool isBlack(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        for (int x = 0; x < rgb.width(); ++x) {
            if (qGray(rgb.pixel(x, y)) > 16) {
                return false;
            }
        }
    }
    return true;
}

// The first column of each row that is clearly red, or -1 for a row without red.
QList<int> redStarts(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    QList<int> starts;
    for (int y = 0; y < rgb.height(); ++y) {
        int start = -1;
        for (int x = 0; x < rgb.width() && start < 0; ++x) {
            const QRgb pixel = rgb.pixel(x, y);
            if (qRed(pixel) > 160 && qGreen(pixel) < 80 && qBlue(pixel) < 80) {
                start = x;
            }
        }
        starts.append(start);
    }
    return starts;
}

QAction* menuAction(const MpvPlayer& player, const QString& text)
{
    const QList<QAction*> actions = player.contextMenu()->actions();
    const auto found = std::find_if(actions.begin(), actions.end(), [&](QAction* a) { return a->text() == text; });
    return found == actions.end() ? nullptr : *found;
}

} // namespace

class TestPlayer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void scripts_data();
    void scripts();
    void failedOpens_data();
    void failedOpens();
    void playableLocations_data();
    void playableLocations();

    void locationWithNulIsRefused();

    void menuOffersTheTransport();
    void menuActions_data();
    void menuActions();
    void rightClickOpensTheMenu();

    void pictureFillsTheStripAlignedAndClearsAtTheEnd_data();
    void pictureFillsTheStripAlignedAndClearsAtTheEnd();

    void pictureGoesWhenASoundReplacesAVideo();

    void cleanupTestCase();

private:
    QString media(const QString& name) const { return m_media.path() + u'/' + name; }
    void runScript(MpvPlayer& player, StateLog& log, const QStringList& script);
    void checkContract(const StateLog& log);

    TestFolder m_media;
    QTcpServer m_listener; // stands for the network: nothing may ever connect to it
    int m_connections = 0;
};

void TestPlayer::initTestCase()
{
    std::setlocale(LC_NUMERIC, "C"); // as the program does after creating its application object
    QVERIFY(m_listener.listen(QHostAddress::LocalHost));
    connect(&m_listener, &QTcpServer::newConnection, this, [this] { ++m_connections; });
    const QString network = QStringLiteral("http://127.0.0.1:%1/x.mp3").arg(m_listener.serverPort());

    m_media.addFile("tone.ogg", testmedia::tone("ogg"));
    m_media.addFile("tone.mp3", testmedia::tone("mp3"));
    m_media.addFile("short.ogg", testmedia::tone("ogg", 440, 0.8));
    m_media.addFile("clip.mp4", testmedia::video());
    m_media.addFile("red.mp4", testmedia::video(QStringLiteral("color=c=red")));
    m_media.addFile("noise.mp3", testmedia::noise());
    m_media.addFolder("dir");
    m_media.addFile("dir/a.mp3", testmedia::tone("mp3"));
    m_media.addFile("local.m3u", testmedia::playlist({media("tone.mp3")}));
    m_media.addFile("local.mp3", testmedia::playlist({media("tone.mp3")}));
    m_media.addFile("net.m3u", testmedia::playlist({network}));
    m_media.addFile("net.mp3", testmedia::playlist({network}));
    m_media.addFile("hls.m3u8",
                    testmedia::playlist({QStringLiteral("#EXT-X-TARGETDURATION:2"), QStringLiteral("#EXTINF:2,"),
                                         network, QStringLiteral("#EXT-X-ENDLIST")}));
    for (const QByteArray name : {"-", "-x.mp3", "av:x.mp3", "edl:x", "a%20b.mp3", "a b%.mp3", "two\nlines.mp3",
                                  "caf\xe9.mp3", "\xff\xfe.ogg"}) {
        m_media.addFile(name, testmedia::tone("mp3", 440, 0.8));
    }
    m_media.addFolder("weird:");
    m_media.addFile("weird:/x.mp3", testmedia::tone("mp3", 440, 0.8));
    // Relative locations are taken from the current directory, as the window's are.
    QVERIFY(QDir::setCurrent(m_media.path()));
}

void TestPlayer::cleanupTestCase()
{
    // Names that are not UTF-8 are beyond QDir, which removes the rest of the folder.
    m_media.remove("caf\xe9.mp3");
    m_media.remove("\xff\xfe.ogg");
    QCOMPARE(m_connections, 0);
    QVERIFY(!m_listener.hasPendingConnections());
}

// A script is a list of steps: "open NAME" (set the location and play, as the window does),
// "load NAME" (set the location only), "play", "pause", "menu TEXT" (the player's menu item), and
// "expect S S ..." (wait until exactly these states, by name, have been notified, from the start). NAME is a
// file of the media folder.
void TestPlayer::runScript(MpvPlayer& player, StateLog& log, const QStringList& script)
{
    for (const QString& step : script) {
        const QString verb = step.section(u' ', 0, 0);
        const QString rest = step.section(u' ', 1);
        if (verb == u"open" || verb == u"load") {
            player.setUrl(media(rest));
            if (verb == u"open") {
                player.controls()->play();
            }
            QCOMPARE(player.url(), media(rest));
        } else if (verb == u"play") {
            player.controls()->play();
        } else if (verb == u"pause") {
            player.controls()->pause();
        } else if (verb == u"menu") {
            QAction* action = menuAction(player, rest);
            QVERIFY2(action, qPrintable(rest));
            action->trigger();
        } else if (verb == u"expect") {
            const QList<int> expected = statesNamed(rest);
            QTRY_COMPARE_WITH_TIMEOUT(log.states, expected, kTimeout);
            QCOMPARE(player.playState(), expected.isEmpty() ? PlayStateUndefined : expected.last());
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown step: ") + step));
        }
    }
}

void TestPlayer::checkContract(const StateLog& log)
{
    QCOMPARE(log.offGuiThread, 0);
    QCOMPARE(log.disagreeing, 0);
}

void TestPlayer::scripts_data()
{
    QTest::addColumn<QStringList>("script");
    const QStringList throughTheEnd = {"expect Playing",
                                       "pause",
                                       "expect Playing Paused",
                                       "play",
                                       "expect Playing Paused Playing",
                                       "expect Playing Paused Playing MediaEnded Stopped"};
    QTest::newRow("ogg tone: play, pause, resume, end") << QStringList{"open tone.ogg"} + throughTheEnd;
    QTest::newRow("mp3 tone: play, pause, resume, end") << QStringList{"open tone.mp3"} + throughTheEnd;
    QTest::newRow("mp4 video: play, pause, resume, end") << QStringList{"open clip.mp4"} + throughTheEnd;
    QTest::newRow("replacing a playing file")
        << QStringList{"open tone.ogg", "expect Playing", "open clip.mp4", "expect Playing Playing"};
    QTest::newRow("replacing a paused file plays the new one")
        << QStringList{"open tone.ogg",         "expect Playing", "pause",
                       "expect Playing Paused", "open tone.mp3",  "expect Playing Paused Playing"};
    QTest::newRow("replacing before the first open is done")
        << QStringList{"open tone.ogg", "open tone.mp3", "expect Playing"};
    QTest::newRow("pause while opening starts paused")
        << QStringList{"load tone.ogg", "pause", "expect Paused", "play", "expect Paused Playing"};
    QTest::newRow("pause while opening, engine long up")
        << QStringList{"open short.ogg", "expect Playing MediaEnded Stopped", "load tone.ogg", "pause",
                       "expect Playing MediaEnded Stopped Paused"};
    QTest::newRow("pause with nothing opened does not stick")
        << QStringList{"pause", "play", "open short.ogg", "expect Playing", "expect Playing MediaEnded Stopped"};
    QTest::newRow("play after the end plays again") << QStringList{
        "open short.ogg", "expect Playing MediaEnded Stopped", "play", "expect Playing MediaEnded Stopped Playing"};
    QTest::newRow("stop, then play at once, while the engine still opens: plays again")
        << QStringList{"open short.ogg", "expect Playing MediaEnded Stopped",        "load tone.ogg", "menu Stop",
                       "menu Play",      "expect Playing MediaEnded Stopped Playing"};
    QTest::newRow("stop while opening ends the open")
        << QStringList{"load tone.ogg", "menu Stop", "expect Stopped", "menu Play", "expect Stopped Playing"};
    QTest::newRow("a failure replacing a playing file")
        << QStringList{"open tone.ogg",        "expect Playing", "open noise.mp3",
                       "expect Playing Ready", "open tone.mp3",  "expect Playing Ready Playing"};
}

void TestPlayer::scripts()
{
    QFETCH(QStringList, script);
    MpvPlayer player;
    StateLog log(player);
    QCOMPARE(player.playState(), PlayStateUndefined);
    QCOMPARE(player.url(), QString());
    runScript(player, log, script);
    if (!QTest::currentTestFailed()) {
        checkContract(log);
    }
}

void TestPlayer::failedOpens_data()
{
    QTest::addColumn<QString>("location");
    QTest::newRow("random bytes named .mp3") << media("noise.mp3");
    QTest::newRow("missing file") << media("nothing-here.mp3");
    QTest::newRow("folder holding a playable file") << media("dir");
    QTest::newRow("folder with a trailing slash") << media("dir/");
    QTest::newRow("playlist .m3u naming a local file") << media("local.m3u");
    QTest::newRow("playlist named .mp3 naming a local file") << media("local.mp3");
    QTest::newRow("playlist .m3u naming a network address") << media("net.m3u");
    QTest::newRow("playlist named .mp3 naming a network address") << media("net.mp3");
    QTest::newRow("stream index naming a network address") << media("hls.m3u8");
    // Relative locations that an engine would read as protocols; no such files exist here.
    QTest::newRow("generated sound av://") << QStringLiteral("av://lavfi:sine=frequency=440");
    QTest::newRow("edit list edl://") << QStringLiteral("edl://") + media("tone.ogg") + QStringLiteral(",0,1");
    QTest::newRow("memory://") << QStringLiteral("memory://hello");
    QTest::newRow("network address http://")
        << QStringLiteral("http://127.0.0.1:%1/x.mp3").arg(m_listener.serverPort());
    QTest::newRow("file:// address of a playable file") << QStringLiteral("file://") + media("tone.ogg");
}

void TestPlayer::failedOpens()
{
    QFETCH(QString, location);
    MpvPlayer player;
    StateLog log(player);
    for (const QList<int>& expected : {statesNamed("Ready"), statesNamed("Ready Ready")}) {
        player.setUrl(location);
        player.controls()->play();
        QCOMPARE(player.url(), location);
        QTRY_COMPARE_WITH_TIMEOUT(log.states, expected, kTimeout);
    }
    runScript(player, log, {"open tone.mp3", "expect Ready Ready Playing"});
    checkContract(log);
    QCOMPARE(m_connections, 0);
}

void TestPlayer::playableLocations_data()
{
    QTest::addColumn<QString>("location");
    QTest::newRow("absolute") << media("tone.mp3");
    QTest::newRow("relative") << QStringLiteral("tone.mp3");
    QTest::newRow("relative with dots") << QStringLiteral("./dir/../tone.mp3");
    QTest::newRow("doubled separator") << m_media.path() + QStringLiteral("//tone.mp3");
    QTest::newRow("named -, not standard input") << QStringLiteral("-");
    QTest::newRow("leading dash, not an option") << QStringLiteral("-x.mp3");
    QTest::newRow("av: prefix") << QStringLiteral("av:x.mp3");
    QTest::newRow("edl: prefix") << QStringLiteral("edl:x");
    QTest::newRow("looks like an address, is a folder and file") << QStringLiteral("weird://x.mp3");
    QTest::newRow("percent escape kept literally") << QStringLiteral("a%20b.mp3");
    QTest::newRow("space and percent") << media("a b%.mp3");
    QTest::newRow("newline in the name") << media("two\nlines.mp3");
    QTest::newRow("Latin-1 byte, not UTF-8") << decodeFileName(m_media.pathBytes() + "/caf\xe9.mp3");
    QTest::newRow("bytes never valid UTF-8") << decodeFileName("\xff\xfe.ogg");
}

void TestPlayer::playableLocations()
{
    QFETCH(QString, location);
    MpvPlayer player;
    StateLog log(player);
    player.setUrl(location);
    player.controls()->play();
    QTRY_COMPARE_WITH_TIMEOUT(log.states, QList<int>{PlayStatePlaying}, kTimeout);
    QCOMPARE(player.url(), location);
    QCOMPARE(encodeFileName(player.url()), encodeFileName(location));
    checkContract(log);
}

// A NUL ends the path for the engine: it would open the file named by the part before it.
void TestPlayer::locationWithNulIsRefused()
{
    MpvPlayer player;
    StateLog log(player);
    QVERIFY_THROWS_EXCEPTION(ProgramError, player.setUrl(media("tone.mp3") + QChar(u'\0') + QStringLiteral("x")));
    QCOMPARE(player.url(), QString());
    runScript(player, log, {"open tone.ogg", "expect Playing"});
}

void TestPlayer::menuOffersTheTransport()
{
    MpvPlayer player;
    QStringList texts;
    QStringList checkable;
    for (const QAction* action : player.contextMenu()->actions()) {
        texts.append(action->text());
        if (action->isCheckable()) {
            checkable.append(action->text());
        }
    }
    QCOMPARE(texts, (QStringList{"Play", "Pause", "Stop", "Mute", "Volume up", "Volume down", "Full screen"}));
    QCOMPARE(checkable, (QStringList{"Mute", "Full screen"}));
}

void TestPlayer::menuActions_data()
{
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QList<int>>("states");
    QTest::addColumn<double>("volume");
    QTest::addColumn<bool>("muted");
    QTest::newRow("nothing") << QStringList{} << statesNamed("Playing") << 50.0 << false;
    QTest::newRow("stop while playing") << QStringList{"Stop"} << statesNamed("Playing Stopped") << 50.0 << false;
    QTest::newRow("pause, play") << QStringList{"Pause", "Play"} << statesNamed("Playing Paused Playing") << 50.0
                                 << false;
    QTest::newRow("stop, play plays again")
        << QStringList{"Stop", "Play"} << statesNamed("Playing Stopped Playing") << 50.0 << false;
    QTest::newRow("pause, stop") << QStringList{"Pause", "Stop"} << statesNamed("Playing Paused Stopped") << 50.0
                                 << false;
    QTest::newRow("mute") << QStringList{"Mute"} << statesNamed("Playing") << 50.0 << true;
    QTest::newRow("mute twice") << QStringList{"Mute", "Mute"} << statesNamed("Playing") << 50.0 << false;
    QTest::newRow("volume up") << QStringList{"Volume up"} << statesNamed("Playing") << 60.0 << false;
    QTest::newRow("volume up and down twice")
        << QStringList{"Volume up", "Volume down", "Volume down"} << statesNamed("Playing") << 40.0 << false;
    QTest::newRow("volume up stops at 100") << QStringList(6, "Volume up") << statesNamed("Playing") << 100.0 << false;
    QTest::newRow("volume down stops at 0") << QStringList(6, "Volume down") << statesNamed("Playing") << 0.0 << false;
}

void TestPlayer::menuActions()
{
    QFETCH(QStringList, actions);
    QFETCH(QList<int>, states);
    QFETCH(double, volume);
    QFETCH(bool, muted);
    MpvPlayer player;
    StateLog log(player);
    QCOMPARE(player.volume(), 50.0);
    QCOMPARE(player.isMuted(), false);
    runScript(player, log, {"open tone.ogg", "expect Playing"});
    for (const QString& text : actions) {
        QAction* action = menuAction(player, text);
        QVERIFY2(action, qPrintable(text));
        emit player.contextMenu()->aboutToShow(); // the menu as it opens: Mute shows the engine's flag
        const qsizetype notified = log.states.size();
        action->trigger();
        if (!action->isCheckable() && !text.startsWith(u"Volume")) {
            QTRY_COMPARE_WITH_TIMEOUT(log.states.size(), notified + 1, kTimeout);
        }
    }
    QTRY_COMPARE_WITH_TIMEOUT(log.states, states, kTimeout);
    QCOMPARE(player.volume(), volume);
    QCOMPARE(player.isMuted(), muted);
    checkContract(log);
}

void TestPlayer::rightClickOpensTheMenu()
{
    MpvPlayer player;
    player.resize(325, 40);
    player.show();
    QVERIFY(QTest::qWaitForWindowExposed(&player));
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(10, 10), player.mapToGlobal(QPoint(10, 10)));
    QCoreApplication::sendEvent(&player, &click);
    QTRY_VERIFY(player.contextMenu()->isVisible());
    player.contextMenu()->close();
}

void TestPlayer::pictureFillsTheStripAlignedAndClearsAtTheEnd_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("the window's strip") << QSize(325, 40);
    QTest::newRow("odd width, rows not a multiple of 64 bytes") << QSize(331, 41);
    QTest::newRow("narrow") << QSize(7, 40);
    QTest::newRow("larger than the picture") << QSize(400, 300);
}

// A flat red picture in a strip of any width: red must start in the same column on every row
// (a wrong row length shears the picture), and the strip goes black again after the end.
void TestPlayer::pictureFillsTheStripAlignedAndClearsAtTheEnd()
{
    QFETCH(QSize, size);
    MpvPlayer player;
    StateLog log(player);
    player.setFixedSize(size);
    player.show();
    QVERIFY(QTest::qWaitForWindowExposed(&player));
    QVERIFY(isBlack(player.grab().toImage()));
    runScript(player, log, {"open red.mp4", "expect Playing"});
    QTRY_VERIFY_WITH_TIMEOUT(!isBlack(player.grab().toImage()), kTimeout);
    const QImage frame = player.grab().toImage();
    QCOMPARE(frame.size(), size);
    const QList<int> starts = redStarts(frame);
    const int middle = starts.at(size.height() / 2);
    QVERIFY2(middle >= 0, "no red in the middle row");
    for (int y = 0; y < starts.size(); ++y) {
        if (starts.at(y) >= 0) {
            QVERIFY2(
                qAbs(starts.at(y) - middle) <= 1,
                qPrintable(QStringLiteral("row %1 starts at %2, middle at %3").arg(y).arg(starts.at(y)).arg(middle)));
        }
    }
    // The picture keeps its shape: centred, as wide as the strip's height allows.
    const int expectedWidth = qMin(size.width(), qMin(320, size.height() * 4 / 3));
    QVERIFY2(qAbs(middle - (size.width() - expectedWidth) / 2) <= 2, qPrintable(QString::number(middle)));
    QTRY_COMPARE_WITH_TIMEOUT(log.states, statesNamed("Playing MediaEnded Stopped"), kTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(isBlack(player.grab().toImage()), kTimeout);
}

void TestPlayer::pictureGoesWhenASoundReplacesAVideo()
{
    MpvPlayer player;
    StateLog log(player);
    player.setFixedSize(325, 40);
    player.show();
    QVERIFY(QTest::qWaitForWindowExposed(&player));
    runScript(player, log, {"open clip.mp4", "expect Playing"});
    QTRY_VERIFY_WITH_TIMEOUT(!isBlack(player.grab().toImage()), kTimeout);
    runScript(player, log, {"open tone.ogg", "expect Playing Playing"});
    QTRY_VERIFY_WITH_TIMEOUT(isBlack(player.grab().toImage()), kTimeout);
}

QTEST_MAIN(TestPlayer)
#include "tst_player.moc"
