// The real executable on the suite's X server and sound server: closing the window in each state
// ends the process cleanly; a run that plays, pauses and closes writes no file and opens no
// socket but the display's and the sound server's (traced with strace).
#include "systemsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

using namespace SystemTest;

namespace {

const QPoint kFirstRow{kListInside.left() + 40, kListInside.top() + 8};

QString idleTitle()
{
    return QStringLiteral("Marrowlark");
}

// Every path below @p folder, for before-and-after comparisons.
QStringList contentsOf(const QString& folder)
{
    QStringList paths;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        paths << it.next();
    }
    paths.sort();
    return paths;
}

} // namespace

class TestWholeProgram : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void closingInEveryState_data();
    void closingInEveryState();
    void writesNothingAndReachesNoNetwork();

private:
    QString m_work;
};

void TestWholeProgram::initTestCase()
{
    if (testDisplay().isEmpty()) {
        QSKIP("needs the suite's X server: run through scripts/run-tests.sh");
    }
    m_work = workFolder(QStringLiteral("wholeprogram"));
    for (const QString state : {"loading", "ended", "failed", "idle"}) {
        QVERIFY(QDir(m_work).mkpath(state));
    }
    QVERIFY(makeTone(m_work + "/loading/tone.wav", 5));
    QVERIFY(makeTone(m_work + "/ended/short.wav", 2)); // its name shows long enough to be seen
    QFile random(m_work + "/failed/random.mp3");
    QVERIFY(random.open(QIODevice::WriteOnly));
    random.write(QByteArray(100000, '\x3c'));
    random.close();
}

void TestWholeProgram::closingInEveryState_data()
{
    // Playing and paused are closed in the whole-program journey test; these are the others.
    QTest::addColumn<QString>("state");
    QTest::newRow("nothing opened yet") << "idle";
    QTest::newRow("loading") << "loading";
    QTest::newRow("ended") << "ended";
    QTest::newRow("failed") << "failed";
}

void TestWholeProgram::closingInEveryState()
{
    QFETCH(QString, state);
    Program program(m_work + u'/' + state); // the box names the start folder: its file is listed
    const XWindow window = program.waitForWindow();
    QVERIFY(window.isValid());
    QVERIFY(!settledGrab(window, listing(state == QLatin1String("idle") ? 0 : 1)).isNull());
    CaptionSpy captions(window);
    if (state != QLatin1String("idle")) {
        window.click(kFirstRow, 2);
    }
    if (state == QLatin1String("ended")) {
        QTRY_VERIFY2_WITH_TIMEOUT(captions.captions().contains(QStringLiteral("short.wav")),
                                  qPrintable(captions.captions().join(QStringLiteral(" | "))), kReactMs);
        QTRY_COMPARE_WITH_TIMEOUT(window.caption(), idleTitle(), kReactMs);
    } else if (state == QLatin1String("failed")) {
        QTRY_VERIFY2_WITH_TIMEOUT(captions.captions().contains(QStringLiteral("Loading")),
                                  qPrintable(captions.captions().join(QStringLiteral(" | "))), kReactMs);
        QTRY_COMPARE_WITH_TIMEOUT(window.caption(), idleTitle(), kReactMs);
    }
    QElapsedTimer closing;
    closing.start();
    QVERIFY(window.requestClose());
    QVERIFY2(program.process().waitForFinished(kReactMs), "the process did not end after the close");
    qInfo("%s: closed after %lld ms (captions %s)", qPrintable(state), closing.elapsed(),
          qPrintable(captions.captions().join(QStringLiteral(" | "))));
    QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process().exitCode(), 0);
    QVERIFY2(!program.errors().contains("Marrowlark:"), program.errors().constData());
}

void TestWholeProgram::writesNothingAndReachesNoNetwork()
{
    const QString home = m_work + "/home";
    const QString media = m_work + "/trace";
    QVERIFY(QDir().mkpath(home));
    QVERIFY(QDir().mkpath(media));
    QVERIFY(makeTone(media + "/tone.wav", 60)); // outlasts the checks, slowed down by the tracer
    const QString log = m_work + "/strace.log";
    const QStringList homeBefore = contentsOf(home);
    const QStringList mediaBefore = contentsOf(media);
    const QStringList tmpBefore = QDir(QStringLiteral("/tmp")).entryList(QDir::AllEntries | QDir::Hidden);
    const QString privateTmp = m_work + "/tmp";
    QVERIFY(QDir().mkpath(privateTmp));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb")); // X11, which this test checks
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"}) {
        environment.remove(QString::fromLatin1(variable));
    }
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("TMPDIR"), privateTmp);
    // LeakSanitizer cannot work under a tracer; the sanitized suite checks leaks everywhere else.
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       environment.value(QStringLiteral("ASAN_OPTIONS")) + ":detect_leaks=0");
    QProcess traced;
    traced.setProcessEnvironment(environment);
    traced.setWorkingDirectory(media);
    traced.setStandardOutputFile(QProcess::nullDevice());
    traced.start(QStringLiteral("strace"), {"-f", "-qq", "-s", "256", "-e", "trace=%file,%network", "-o", log,
                                            QStringLiteral(MARROWLARK_BINARY)});
    QVERIFY(traced.waitForStarted());

    // Play, pause, close.
    XWindow window;
    QTRY_VERIFY_WITH_TIMEOUT(
        (window = XWindow(QString::fromLatin1(runTool("xdotool", {"search", "--onlyvisible", "--name", "^Marrowlark$"})
                                                  .output.trimmed()
                                                  .split('\n')
                                                  .first())))
            .isValid(),
        kReactMs);
    const qint64 pid = runTool("xdotool", {"getwindowpid", window.id()}).output.trimmed().toLongLong();
    QVERIFY(!settledGrab(window, listing(1)).isNull());
    window.click(kFirstRow, 2);
    QTRY_COMPARE_WITH_TIMEOUT(window.caption(), QStringLiteral("tone.wav"), kReactMs);
    QTRY_COMPARE_WITH_TIMEOUT(sinkInputsOf(pid).size(), 1, kReactMs);
    XWindow::key(QStringLiteral("space"));
    QTRY_VERIFY_WITH_TIMEOUT(allCorked(sinkInputsOf(pid)), kReactMs);
    QVERIFY(window.requestClose());
    QVERIFY2(traced.waitForFinished(kReactMs), "the traced process did not end after the close");
    QVERIFY2(traced.exitCode() == 0, traced.readAllStandardError().right(4000).constData());

    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString trace = QString::fromUtf8(file.readAll());
    const QStringList lines = trace.split(u'\n');
    static const QRegularExpression opensForWriting(
        QStringLiteral(R"re(\b(open|openat|creat)\(.*"([^"]*)".*(O_WRONLY|O_RDWR|O_CREAT|O_TRUNC).*\) = \d+)re"));
    static const QRegularExpression changesFiles(QStringLiteral(
        R"re(\b(mkdir|mkdirat|rename|renameat2?|unlink|unlinkat|rmdir|link|linkat|symlink|symlinkat|truncate|chmod|fchmodat|utimensat)\(.*\) = 0)re"));
    static const QRegularExpression socket(QStringLiteral(R"re(\bsocket\((AF_\w+))re"));
    static const QRegularExpression connect(
        QStringLiteral(R"re(\bconnect\(\d+, \{sa_family=(AF_\w+)(, sun_path=([^}]*))?)re"));
    QStringList writes;
    QStringList sockets;
    QStringList peers;
    for (const QString& line : lines) {
        if (const auto match = opensForWriting.match(line); match.hasMatch()) {
            const QString path = match.captured(2);
            // Devices (the null device, sound and graphics nodes) are no files, nor are thread
            // names (/proc/self/task/N/comm).
            if (!path.startsWith(QLatin1String("/dev/")) && !path.startsWith(QLatin1String("/proc/self/"))) {
                writes << line;
            }
        } else if (changesFiles.match(line).hasMatch()) {
            writes << line;
        }
        if (const auto match = socket.match(line); match.hasMatch() && match.captured(1) != QLatin1String("AF_UNIX")) {
            sockets << line;
        }
        if (const auto match = connect.match(line); match.hasMatch()) {
            peers << (match.captured(1) == QLatin1String("AF_UNIX") ? match.captured(3) : line);
        }
    }
    peers.removeDuplicates();
    qInfo() << "connected to:" << peers;

    QVERIFY2(writes.isEmpty(), qPrintable(writes.join(u'\n')));
    QVERIFY2(sockets.isEmpty(), qPrintable(sockets.join(u'\n')));
    const QString display = testDisplay().mid(1);
    const QString soundServer = qEnvironmentVariable("PULSE_SERVER").section(u':', 1);
    for (const QString& peer : peers) {
        const bool isDisplay = peer.contains(QStringLiteral("/tmp/.X11-unix/X") + display);
        const bool isSoundServer = !soundServer.isEmpty() && peer.contains(soundServer);
        QVERIFY2(isDisplay || isSoundServer, qPrintable("connected to " + peer));
    }
    QCOMPARE(contentsOf(home), homeBefore);
    QCOMPARE(contentsOf(media), mediaBefore);
    QCOMPARE(contentsOf(privateTmp), QStringList());
    // Other processes come and go in the shared /tmp: only what the program itself named counts.
    for (const QString& entry : QDir(QStringLiteral("/tmp")).entryList(QDir::AllEntries | QDir::Hidden)) {
        const QString path = "\"/tmp/" + entry;
        QVERIFY2(tmpBefore.contains(entry) || !(trace.contains(path + '"') || trace.contains(path + '/')),
                 qPrintable(path));
    }
}

QTEST_GUILESS_MAIN(TestWholeProgram)
#include "tst_wholeprogram.moc"
