// The real program against a PulseAudio of the test's own (the suite's is left alone), which the
// test stops and starts again while a file plays; and a normal session, from the pointer's entry
// to closing, that writes nothing on standard error.

#include "systemsupport.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>

using namespace SystemTest;

namespace {

const QString kTone = QStringLiteral("tone.wav");
const QString kSink = QStringLiteral("marrowlark_test_sink"); // the one SinkRecorder records
const QString kOtherSink = QStringLiteral("marrowlark_other_sink");

bool engineLoaded(qint64 pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libmpv");
}

bool setDefaultSink(const QString& sink)
{
    return runTool(QStringLiteral("pactl"), {"set-default-sink", sink}).ok();
}

} // namespace

class TestSoundServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void quietSessionFollowingTheDefaultSink();
    void soundComesBackWithTheServer_data();
    void soundComesBackWithTheServer();

private:
    bool startServer();

    QString m_folder;
    QProcess m_server;
};

void TestSoundServer::initTestCase()
{
    if (testDisplay().isEmpty()) {
        QSKIP("needs the suite's private X server: run through scripts/run-tests.sh");
    }
    const QString work = workFolder(QStringLiteral("soundserver"));
    m_folder = work + QStringLiteral("/music");
    const QString runtime = work + QStringLiteral("/runtime");
    QVERIFY(QDir().mkpath(m_folder) && QDir().mkpath(runtime));
    QVERIFY(QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(makeTone(m_folder + u'/' + kTone, 30));
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    qputenv("PULSE_SERVER", ("unix:" + runtime + QStringLiteral("/pulse-native")).toUtf8());
    m_server.setStandardErrorFile(QProcess::nullDevice());
    QVERIFY(startServer());
}

void TestSoundServer::cleanupTestCase()
{
    m_server.kill();
    m_server.waitForFinished();
}

// As scripts/run-tests.sh starts the suite's, with a second null sink, at the socket that
// PULSE_SERVER names for this test and every program it starts.
bool TestSoundServer::startServer()
{
    const QString socket = qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/pulse-native");
    m_server.start(QStringLiteral("pulseaudio"),
                   {"-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes", "--use-pid-file=no", "-L",
                    "module-native-protocol-unix auth-anonymous=1 socket=" + socket, "-L",
                    "module-null-sink sink_name=" + kSink, "-L", "module-null-sink sink_name=" + kOtherSink});
    const QDeadlineTimer deadline(kReactMs);
    while (!setDefaultSink(kSink) && !deadline.hasExpired()) {
        QTest::qWait(50);
    }
    return !deadline.hasExpired();
}

void TestSoundServer::quietSessionFollowingTheDefaultSink()
{
    XWindow::parkPointer();
    SinkRecorder sound;
    QTRY_VERIFY_WITH_TIMEOUT(sound.seconds() > 0.5, kReactMs);
    Program program(m_folder);
    const XWindow window = program.waitForWindow();
    const QImage start = settledGrab(window, listing(1));
    QVERIFY(!start.isNull());
    QVERIFY(!engineLoaded(program.pid())); // shown, never hovered: small

    // The pointer on its way to the list brings the engine up, before any press.
    const QPoint row = contentRows(start, kListInside).at(0).center();
    runTool(QStringLiteral("xdotool"),
            {"mousemove", "--window", window.id(), QString::number(row.x()), QString::number(row.y())});
    QTRY_VERIFY_WITH_TIMEOUT(engineLoaded(program.pid()), kReactMs);

    QVERIFY(setDefaultSink(kOtherSink));
    window.click(row, 2);
    QTRY_COMPARE_WITH_TIMEOUT(sinkInputsOf(program.pid()).size(), 1, kReactMs);
    QVERIFY(sound.silent());
    QVERIFY(setDefaultSink(kSink));
    QTRY_VERIFY_WITH_TIMEOUT(sound.toneHeard(), kReactMs); // the stream moved to the new default

    XWindow::key(QStringLiteral("space"));
    QTRY_VERIFY_WITH_TIMEOUT(sound.silent(), kReactMs);
    QVERIFY(window.requestClose());
    QVERIFY(program.process().waitForFinished(kReactMs));
    QCOMPARE(program.errors(), QByteArray());
}

void TestSoundServer::soundComesBackWithTheServer_data()
{
    QTest::addColumn<bool>("beforeOpen");
    QTest::addColumn<bool>("crash");
    QTest::newRow("server stopped mid-file") << false << false;
    QTest::newRow("server killed mid-file") << false << true; // its socket file stays behind
    QTest::newRow("no server at the open") << true << false;
}

void TestSoundServer::soundComesBackWithTheServer()
{
    QFETCH(bool, beforeOpen);
    QFETCH(bool, crash);
    auto sound = std::make_unique<SinkRecorder>();
    Program program(m_folder);
    const XWindow window = program.waitForWindow();
    const QImage start = settledGrab(window, listing(1));
    QVERIFY(!start.isNull());
    const auto stopServer = [&] {
        crash ? m_server.kill() : m_server.terminate();
        m_server.waitForFinished(kReactMs);
    };
    if (beforeOpen) {
        stopServer();
    }
    window.click(contentRows(start, kListInside).at(0).center(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(window.caption(), kTone, kReactMs);
    if (!beforeOpen) {
        QTRY_VERIFY_WITH_TIMEOUT(sound->toneHeard(), kReactMs);
        stopServer();
    }
    sound.reset();
    QVERIFY(startServer());
    QElapsedTimer sinceReturn;
    sinceReturn.start();
    QTRY_COMPARE_WITH_TIMEOUT(sinkInputsOf(program.pid()).size(), 1, kReactMs);
    qInfo("the stream is back %lld ms after the server answered", sinceReturn.elapsed());
    sound = std::make_unique<SinkRecorder>();
    QTRY_VERIFY_WITH_TIMEOUT(sound->toneHeard(), kReactMs);
    QCOMPARE(window.caption(), kTone); // the same file, going on
}

QTEST_GUILESS_MAIN(TestSoundServer)
#include "tst_soundserver.moc"
