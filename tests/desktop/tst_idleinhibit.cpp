// The idle inhibit while the player plays full screen, against the stand-in services on a private
// bus that starts nothing by itself, and a stand-in for a compositor that offers the protocol:
// the first of compositor, portal and screen saver that is there holds it.
#include "fakeplayer.h"
#include "fakeplayermedia.h"
#include "idleinhibitor.h"

#include <QProcess>
#include <QWindow>
#include <QtTest>

namespace {

// Writes what it is asked among the bus stand-in's lines, as they read.
class CompositorStandIn final : public SurfaceIdleInhibit {
public:
    explicit CompositorStandIn(QStringList& lines)
        : m_lines(lines)
    {
    }
    void hold(QWindow& /*window*/) override { m_lines.append(QStringLiteral("inhibit compositor active=1")); }
    void release() override { m_lines.append(QStringLiteral("release compositor active=0")); }

private:
    QStringList& m_lines;
};

} // namespace

class TestIdleInhibit : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void heldWhilePlayingFullScreen_data();
    void heldWhilePlayingFullScreen();
    void firstServiceThereHolds_data();
    void firstServiceThereHolds();
    void answerArrivingAfterTheEndIsReleased();

private:
    void startStandIn(const QStringList& arguments);
    /// The stand-in's event lines so far, each cut to "<verb> <service> active=<n>".
    QStringList events();

    QProcess m_standIn;
    QStringList m_lines;
};

void TestIdleInhibit::init()
{
    m_lines.clear();
}

void TestIdleInhibit::cleanup()
{
    m_standIn.kill();
    m_standIn.waitForFinished();
}

void TestIdleInhibit::startStandIn(const QStringList& arguments)
{
    m_standIn.start(QStringLiteral(INHIBIT_STANDIN), arguments);
    QTRY_VERIFY(!events().isEmpty() && m_lines.first().startsWith("ready"));
    m_lines.removeFirst();
}

QStringList TestIdleInhibit::events()
{
    while (m_standIn.canReadLine()) {
        m_lines.append(QString::fromUtf8(m_standIn.readLine()).trimmed());
    }
    QStringList cut;
    for (const QString& line : std::as_const(m_lines)) {
        cut.append(line.section(u' ', 0, 2));
    }
    return cut;
}

void TestIdleInhibit::heldWhilePlayingFullScreen_data()
{
    QTest::addColumn<QStringList>("standInArguments");
    QTest::addColumn<QString>("service");
    QTest::addColumn<QString>("details");

    QTest::newRow("portal answers") << QStringList() << "portal"
                                    << "flags=8 reason=Playing a video full screen";
    QTest::newRow("no portal: screen saver") << QStringList{"--no-portal"} << "screensaver"
                                             << "app=tst_idleinhibit reason=Playing a video full screen";
}

void TestIdleInhibit::heldWhilePlayingFullScreen()
{
    QFETCH(QStringList, standInArguments);
    QFETCH(QString, service);
    QFETCH(QString, details);
    startStandIn(standInArguments);
    const QString held = "inhibit " + service + " active=1";
    const QString released = "release " + service + " active=0";

    auto player = std::make_unique<FakePlayer>();
    auto* media = new FakePlayerMedia(player.get());
    IdleInhibitor::whileWatchingFullScreen(*player, *media);
    media->open({.serial = 1, .path = "/v.mp4", .title = "v.mp4", .lengthUs = 5000000, .hasPicture = true});
    player->setState(PlayStatePlaying); // in the strip: nothing
    const auto step = [&](const auto& change, const QStringList& expected) {
        change();
        QTRY_COMPARE(events(), expected);
    };
    step([&] { media->setFullScreen(true); }, {held});
    QVERIFY(m_lines.first().endsWith(details));
    step([&] { player->setState(PlayStatePaused); }, {held, released});
    step([&] { player->setState(PlayStatePlaying); }, {held, released, held});
    step([&] { media->setFullScreen(false); }, {held, released, held, released});
    step([&] { media->setFullScreen(true); }, {held, released, held, released, held});
    step([&] { player->setState(PlayStateMediaEnded); }, {held, released, held, released, held, released});
    m_lines.clear();
    step([&] { player->setState(PlayStatePlaying); }, {held});
    step([&] { player.reset(); }, {held, released}); // quitting
}

void TestIdleInhibit::firstServiceThereHolds_data()
{
    QTest::addColumn<bool>("compositorOffers");
    QTest::addColumn<bool>("forWindow");
    QTest::addColumn<QStringList>("standInArguments");
    QTest::addColumn<QString>("service");

    QTest::newRow("compositor offers the protocol: nothing on the bus")
        << true << true << QStringList() << "compositor";
    QTest::newRow("compositor, but no window to hold it on: portal") << true << false << QStringList() << "portal";
    QTest::newRow("no protocol: portal, told the window") << false << true << QStringList() << "portal";
    QTest::newRow("no protocol, no portal: screen saver")
        << false << true << QStringList{"--no-portal"} << "screensaver";
}

void TestIdleInhibit::firstServiceThereHolds()
{
    QFETCH(bool, compositorOffers);
    QFETCH(bool, forWindow);
    QFETCH(QStringList, standInArguments);
    QFETCH(QString, service);
    startStandIn(standInArguments);
    QWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    IdleInhibitor inhibitor(QStringLiteral("test"), QDBusConnection::sessionBus(), nullptr,
                            compositorOffers ? std::make_unique<CompositorStandIn>(m_lines) : nullptr);

    inhibitor.setHeld(true, forWindow ? &window : nullptr);
    const QStringList held{"inhibit " + service + " active=1"};
    QTRY_COMPARE(events(), held);
    // The portal's parent window: the X11 window's id on X11, none elsewhere.
    const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb") && forWindow;
    const QString parent = x11 ? QStringLiteral("x11:%1").arg(window.winId(), 0, 16) : QString();
    QVERIFY2(service != "portal" || m_lines.first().contains(" window=" + parent + " flags="),
             qPrintable(m_lines.first()));
    inhibitor.setHeld(false);
    QTRY_COMPARE(events(), held + QStringList{"release " + service + " active=0"});
}

void TestIdleInhibit::answerArrivingAfterTheEndIsReleased()
{
    startStandIn({});
    const QStringList heldThenReleased{"inhibit portal active=1", "release portal active=0"};
    IdleInhibitor givenUp(QStringLiteral("test"));
    givenUp.setHeld(true);
    givenUp.setHeld(false); // before the portal's answer
    QTRY_COMPARE(events(), heldThenReleased);

    m_lines.clear();
    auto destroyed = std::make_unique<IdleInhibitor>(QStringLiteral("test"));
    destroyed->setHeld(true);
    destroyed.reset();
    QTRY_COMPARE(events(), heldThenReleased);
}

QTEST_MAIN(TestIdleInhibit)
#include "tst_idleinhibit.moc"
