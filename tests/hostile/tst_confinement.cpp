// The real executable with a decoder taken over (decoderprobe.cpp, preloaded): from a thread
// started while the engine opens the file, every write to the home folder, every network socket,
// an io_uring and a chmod by path fail, and the file goes on playing. The same program built with
// the confinement switched off lets the same attempts through, which shows that the test sees them.
#include "systemsupport.h"

#include <QDirIterator>
#include <QHostAddress>
#include <QTcpServer>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

using namespace SystemTest;

namespace {

// Every file of @p folder with its size and permissions.
QStringList stateOf(const QString& folder)
{
    QStringList entries;
    for (QDirIterator it(folder, QDir::Files); it.hasNext();) {
        const QFileInfo entry(it.next());
        entries << QStringLiteral("%1 %2 %3").arg(entry.fileName()).arg(entry.size()).arg(int(entry.permissions()));
    }
    entries.sort();
    return entries;
}

} // namespace

class TestConfinement : public QObject {
    Q_OBJECT

private slots:
    void takenOverDecoder_data();
    void takenOverDecoder();
};

void TestConfinement::takenOverDecoder_data()
{
    QTest::addColumn<QString>("binary");
    QTest::addColumn<QString>("outcomes");
    QTest::newRow("confined")
        << QStringLiteral(MARROWLARK_BINARY)
        << "create EACCES|write EACCES|remove EACCES|rename EACCES|truncate EACCES|open-truncate EACCES|"
           "chmod EACCES|"
           "inet EAFNOSUPPORT|inet6 EAFNOSUPPORT|io_uring EPERM|done ok";
    QTest::newRow("switched off")
        << QStringLiteral(MARROWLARK_UNCONFINED_BINARY)
        << "create ok|write ok|remove ok|rename ok|truncate ok|open-truncate ok|chmod ok|inet ok|inet6 ok|"
           "io_uring ok|done ok";
}

void TestConfinement::takenOverDecoder()
{
    QFETCH(QString, binary);
    QFETCH(QString, outcomes);
    if (testDisplay().isEmpty()) {
        QSKIP("needs the suite's X server: run through scripts/run-tests.sh");
    }
    const QString work = workFolder("confinement-" + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-'));
    QVERIFY(QDir(work).mkpath(QStringLiteral("home")) && makeTone(work + "/tone.wav", 30));
    for (const char* name : {"existing", "victim", "kept", "sized"}) {
        QFile file(work + "/home/" + name);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(1000, 'x')) == 1000);
    }
    const QStringList homeBefore = stateOf(work + "/home");
    QTcpServer listener;
    int report[2];
    QVERIFY(listener.listen(QHostAddress::LocalHost) && pipe2(report, O_NONBLOCK) == 0);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(PROBE_LIBRARY));
    environment.insert(QStringLiteral("MARROWLARK_PROBE_FD"), QString::number(report[1]));
    environment.insert(QStringLiteral("MARROWLARK_PROBE_HOME"), work + "/home");
    environment.insert(QStringLiteral("MARROWLARK_PROBE_PORT"), QString::number(listener.serverPort()));
    environment.insert(QStringLiteral("HOME"), work + "/home");
    // A sanitized build wants its runtime first among the preloaded libraries.
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       qEnvironmentVariable("ASAN_OPTIONS") + ":verify_asan_link_order=0");
    Program program(work, binary, environment);
    close(report[1]);
    const XWindow window = program.waitForWindow();
    QVERIFY(window.isValid() && !settledGrab(window, listing(1)).isNull());
    window.click({kListInside.left() + 40, kListInside.top() + 8}, 2);

    QByteArray received;
    const auto readReport = [&] {
        char buffer[4096];
        received.append(buffer, std::max<ssize_t>(0, read(report[0], buffer, sizeof buffer)));
        return received;
    };
    QTRY_VERIFY_WITH_TIMEOUT(readReport().endsWith("done ok\n"), kReactMs);
    close(report[0]);
    QCOMPARE(QString::fromLatin1(received.trimmed()).split(u'\n').join(u'|'), outcomes);
    if (binary == QLatin1String(MARROWLARK_BINARY)) {
        QCOMPARE(stateOf(work + "/home"), homeBefore);
    }
    QTRY_COMPARE_WITH_TIMEOUT(window.caption(), QStringLiteral("tone.wav"), kReactMs); // it plays on
    QTRY_COMPARE_WITH_TIMEOUT(sinkInputsOf(program.pid()).size(), 1, kReactMs);
    QVERIFY(window.requestClose() && program.process().waitForFinished(kReactMs));
    QCOMPARE(program.process().exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestConfinement)
#include "tst_confinement.moc"
