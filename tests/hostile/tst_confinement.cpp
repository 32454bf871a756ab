// The real executable with a decoder taken over (decoderprobe.cpp, preloaded): from a thread
// started while the engine opens the file, every write to the home folder, every network socket,
// an io_uring and a chmod by path fail, and the file goes on playing. The same program built with
// the confinement switched off lets the same attempts through, which shows that the test sees them.
#include "systemsupport.h"

#include <QDirIterator>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

using namespace SystemTest;

namespace {

const QPoint kFirstRow{kListInside.left() + 40, kListInside.top() + 8};

// Every entry of @p folder with its size and permissions.
QStringList stateOf(const QString& folder)
{
    QStringList entries;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden); it.hasNext();) {
        const QFileInfo entry(it.next());
        entries << QStringLiteral("%1 %2 %3").arg(entry.fileName()).arg(entry.size()).arg(int(entry.permissions()));
    }
    entries.sort();
    return entries;
}

bool writeFile(const QString& path, const QByteArray& contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

// The lines written to @p fd so far, read without waiting.
QStringList drain(int fd, QByteArray& received)
{
    char buffer[4096];
    for (ssize_t length; (length = read(fd, buffer, sizeof buffer)) > 0;) {
        received.append(buffer, length);
    }
    return QString::fromLatin1(received).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

class TestConfinement : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void takenOverDecoder_data();
    void takenOverDecoder();

private:
    QString m_work;
};

void TestConfinement::initTestCase()
{
    if (testDisplay().isEmpty()) {
        QSKIP("needs the suite's X server: run through scripts/run-tests.sh");
    }
    m_work = workFolder(QStringLiteral("confinement"));
    QVERIFY(QDir(m_work).mkpath(QStringLiteral("media")));
    QVERIFY(makeTone(m_work + "/media/tone.wav", 30));
}

void TestConfinement::takenOverDecoder_data()
{
    QTest::addColumn<QString>("binary");
    QTest::addColumn<QStringList>("outcomes");
    QTest::newRow("confined") << QStringLiteral(MARROWLARK_BINARY)
                              << QStringList{
                                     "create EACCES",   "write EACCES", "remove EACCES",     "rename EACCES",
                                     "truncate EACCES", "chmod EACCES", "inet EAFNOSUPPORT", "inet6 EAFNOSUPPORT",
                                     "io_uring EPERM",  "done ok"};
    QTest::newRow("switched off") << QStringLiteral(MARROWLARK_UNCONFINED_BINARY)
                                  << QStringList{"create ok", "write ok", "remove ok", "rename ok",   "truncate ok",
                                                 "chmod ok",  "inet ok",  "inet6 ok",  "io_uring ok", "done ok"};
}

void TestConfinement::takenOverDecoder()
{
    QFETCH(QString, binary);
    QFETCH(QStringList, outcomes);
    const QString home = m_work + "/home-" + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
    QVERIFY(QDir().mkpath(home));
    for (const char* name : {"existing", "victim", "kept", "sized"}) {
        QVERIFY(writeFile(home + u'/' + QLatin1String(name), QByteArray(1000, 'x')));
    }
    const QStringList homeBefore = stateOf(home);
    QTcpServer listener;
    QVERIFY(listener.listen(QHostAddress::LocalHost));
    int report[2];
    QVERIFY(pipe2(report, O_CLOEXEC | O_NONBLOCK) == 0);
    QVERIFY(fcntl(report[1], F_SETFD, 0) == 0); // the program inherits the writing end

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(PROBE_LIBRARY));
    environment.insert(QStringLiteral("MARROWLARK_PROBE_FD"), QString::number(report[1]));
    environment.insert(QStringLiteral("MARROWLARK_PROBE_HOME"), home);
    environment.insert(QStringLiteral("MARROWLARK_PROBE_PORT"), QString::number(listener.serverPort()));
    environment.insert(QStringLiteral("HOME"), home);
    // A sanitized build wants its runtime first among the preloaded libraries.
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       environment.value(QStringLiteral("ASAN_OPTIONS")) + ":verify_asan_link_order=0");
    Program program(m_work + "/media", binary, environment);
    close(report[1]);
    const XWindow window = program.waitForWindow();
    QVERIFY(window.isValid());
    QVERIFY(!settledGrab(window, listing(1)).isNull());
    window.click(kFirstRow, 2);

    QByteArray received;
    QStringList lines;
    QTRY_VERIFY_WITH_TIMEOUT((lines = drain(report[0], received)).contains(QStringLiteral("done ok")), kReactMs);
    close(report[0]);
    QCOMPARE(lines, outcomes);
    if (binary == QLatin1String(MARROWLARK_BINARY)) {
        QCOMPARE(stateOf(home), homeBefore);
    }
    // The program plays on.
    QTRY_COMPARE_WITH_TIMEOUT(window.caption(), QStringLiteral("tone.wav"), kReactMs);
    QTRY_COMPARE_WITH_TIMEOUT(sinkInputsOf(program.pid()).size(), 1, kReactMs);
    QVERIFY(window.requestClose());
    QVERIFY2(program.process().waitForFinished(kReactMs), "the process did not end after the close");
    QCOMPARE(program.process().exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestConfinement)
#include "tst_confinement.moc"
