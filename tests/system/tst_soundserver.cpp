// The real program against a PulseAudio of the test's own (the suite's is left alone), which the
// test stops and starts again while a file plays; and a normal session, from the pointer's
// entry to closing, that writes nothing on standard error.

#include "systemsupport.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>

using namespace SystemTest;

namespace {

constexpr int kReactMs = 10000;
const QString kToneName = QStringLiteral("tone.wav");
const QString kSink = QStringLiteral("marrowlark_test_sink"); // the one SinkRecorder records
const QString kOtherSink = QStringLiteral("marrowlark_other_sink");

QByteArray procFile(qint64 pid, const char* name)
{
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool engineLoaded(qint64 pid)
{
    return procFile(pid, "maps").contains("libmpv");
}

double residentMiB(qint64 pid)
{
    const QByteArray status = procFile(pid, "status");
    const qsizetype at = status.indexOf("VmRSS:");
    return at < 0 ? -1
                  : status.mid(at + 6, status.indexOf('\n', at) - at - 6).trimmed().split(' ').at(0).toDouble() / 1024;
}

// Started as scripts/run-tests.sh starts the suite's, with a second null sink, at the socket that
// PULSE_SERVER names for this test and every program it starts.
class SoundServer {
public:
    bool start()
    {
        const QString socket = qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/pulse-native");
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(QStringLiteral("pulseaudio"),
                        {"-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes", "--use-pid-file=no", "-L",
                         "module-native-protocol-unix auth-anonymous=1 socket=" + socket, "-L",
                         "module-null-sink sink_name=" + kSink, "-L", "module-null-sink sink_name=" + kOtherSink});
        const QDeadlineTimer deadline(kReactMs);
        while (!runTool(QStringLiteral("pactl"), {"set-default-sink", kSink}).ok() && !deadline.hasExpired()) {
            QTest::qWait(50);
        }
        return !deadline.hasExpired();
    }
    void stop(bool crash)
    {
        crash ? m_process.kill() : m_process.terminate();
        m_process.waitForFinished(kReactMs);
    }
    ~SoundServer() { stop(true); }

private:
    QProcess m_process;
};

} // namespace

class TestSoundServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void quietSessionFollowingTheDefaultSink();
    void soundComesBackWithTheServer_data();
    void soundComesBackWithTheServer();

private:
    QString m_folder;
    SoundServer m_server;
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
    QVERIFY(makeTone(m_folder + u'/' + kToneName, 30));
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    qputenv("PULSE_SERVER", ("unix:" + runtime + QStringLiteral("/pulse-native")).toUtf8());
    QVERIFY(m_server.start());
}

void TestSoundServer::init()
{
    XWindow::parkPointer();
}

void TestSoundServer::quietSessionFollowingTheDefaultSink()
{
    SinkRecorder sound;
    QTRY_VERIFY_WITH_TIMEOUT(sound.seconds() > 0.5, kReactMs);
    Program program(m_folder);
    const XWindow window = program.waitForWindow();
    const QImage start = settledGrab(window);
    QVERIFY(!start.isNull());
    QVERIFY(!engineLoaded(program.pid())); // shown, never hovered: small
    QCOMPARE_LT(residentMiB(program.pid()), 40);

    // The pointer on its way to the list brings the engine up, before any press.
    const QPoint row = contentRows(start, kListInside).at(0).center();
    runTool(QStringLiteral("xdotool"),
            {"mousemove", "--window", window.id(), QString::number(row.x()), QString::number(row.y())});
    QTRY_VERIFY_WITH_TIMEOUT(engineLoaded(program.pid()), kReactMs);

    QVERIFY(runTool(QStringLiteral("pactl"), {"set-default-sink", kOtherSink}).ok());
    window.click(row, 2);
    QTRY_COMPARE_WITH_TIMEOUT(sinkInputsOf(program.pid()).size(), 1, kReactMs);
    QVERIFY(sound.silent());
    QVERIFY(runTool(QStringLiteral("pactl"), {"set-default-sink", kSink}).ok());
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
    QTRY_VERIFY_WITH_TIMEOUT(sound->seconds() > 0.5, kReactMs);
    Program program(m_folder);
    const XWindow window = program.waitForWindow();
    const QImage start = settledGrab(window);
    QVERIFY(!start.isNull());
    if (beforeOpen) {
        m_server.stop(crash);
    }
    window.click(contentRows(start, kListInside).at(0).center(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(window.caption(), kToneName, kReactMs);
    if (!beforeOpen) {
        QTRY_VERIFY_WITH_TIMEOUT(sound->toneHeard(), kReactMs);
        m_server.stop(crash);
    }
    sound.reset();
    QVERIFY(m_server.start());
    QElapsedTimer sinceReturn;
    sinceReturn.start();
    QTRY_COMPARE_WITH_TIMEOUT(sinkInputsOf(program.pid()).size(), 1, kReactMs);
    qInfo("the stream is back %lld ms after the server answered", sinceReturn.elapsed());
    sound = std::make_unique<SinkRecorder>();
    QTRY_VERIFY_WITH_TIMEOUT(sound->toneHeard(), kReactMs);
    QCOMPARE(window.caption(), kToneName); // the same file, going on
}

QTEST_GUILESS_MAIN(TestSoundServer)
#include "tst_soundserver.moc"
