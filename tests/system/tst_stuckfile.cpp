// A file whose reads hang from the first byte, on a share that still lists it and answers its
// stat (a NAS gone to sleep with its attributes cached): the caption reads "Loading", a file
// chosen next plays, closing (also while the stuck file loads) takes the window away within a
// second, and the process ends once the share answers. The window's thread is read from the
// kernel all along: it never waits on the file system.

#include "stalledshare.h"
#include "systemsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <algorithm>
#include <functional>
#include <optional>

using namespace SystemTest;

namespace {

const QString kAsleep = QStringLiteral("asleep.wav");
const QString kAwake = QStringLiteral("awake.wav");
constexpr qint64 kClosedWithinMs = 1000;
// A lookup on the share that answers waits a moment; a wait for the stuck file would last.
constexpr qint64 kLongestShareWaitMs = 500;
constexpr int kSampleMs = 5;

// How many threads of @p pid (of all, or the one @p tid) the kernel has wait for a FUSE daemon.
int waitingOnFuse(qint64 pid, const QString& tid = {})
{
    const QString tasks = QStringLiteral("/proc/%1/task/").arg(pid);
    int waiting = 0;
    for (const QString& id :
         tid.isEmpty() ? QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot) : QStringList{tid}) {
        QFile wchan(tasks + id + QStringLiteral("/wchan"));
        waiting += wchan.open(QIODevice::ReadOnly) && wchan.readAll().contains("request_wait_answer") ? 1 : 0;
    }
    return waiting;
}

// Whether the process's first thread has ended while others still hold the process.
bool windowThreadEnded(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    return status.open(QIODevice::ReadOnly) && status.readAll().contains("State:\tZ");
}

// The window's thread (the process's first) as the kernel sees it, read at every poll: the
// longest it was found waiting for the share.
struct Heartbeat {
    qint64 pid = 0;
    QElapsedTimer waiting;
    qint64 longestWaitMs = 0;

    // Milliseconds until @p reached holds; -1 past kReactMs. Events are processed between polls.
    qint64 msUntil(const std::function<bool()>& reached)
    {
        QElapsedTimer clock;
        clock.start();
        for (; clock.elapsed() < kReactMs; QTest::qWait(kSampleMs)) {
            if (waitingOnFuse(pid, QString::number(pid)) == 0) {
                waiting.invalidate();
            } else if (!waiting.isValid()) {
                waiting.start();
            }
            longestWaitMs = std::max(longestWaitMs, waiting.isValid() ? waiting.elapsed() : 0);
            if (reached()) {
                return clock.elapsed();
            }
        }
        return -1;
    }
};

} // namespace

class TestStuckFile : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void stuckFile_data();
    void stuckFile();

private:
    QString m_work;
};

void TestStuckFile::initTestCase()
{
    if (testDisplay().isEmpty() || !testSinkAvailable()) {
        QSKIP("needs the suite's private X and sound servers: run through scripts/run-tests.sh");
    }
    m_work = workFolder(QStringLiteral("stuckfile"));
    QVERIFY(makeTone(m_work + u'/' + kAwake, 30));
}

void TestStuckFile::stuckFile_data()
{
    // The engine is given up at once when its file has not answered for a while, and after a
    // short bound when it does not let the file go for the next.
    QTest::addColumn<QString>("next");
    QTest::newRow("a local file typed after the stuck one waited plays") << "typed";
    QTest::newRow("the share's next file, chosen at once, plays") << "at once";
    QTest::newRow("closed while the stuck file loads") << "";
}

void TestStuckFile::stuckFile()
{
    QFETCH(QString, next);
    const bool typed = next == QLatin1String("typed");
    std::optional<Program> program; // declared first: the share goes first, its calls released
    StalledShare share;
    QVERIFY(makeTone(share.backing() + u'/' + kAsleep, 30));
    QVERIFY(QFile::copy(m_work + u'/' + kAwake, share.backing() + u'/' + kAwake));
    QVERIFY2(share.mount({"--hang-reads", kAsleep}), qPrintable(share.failure()));
    program.emplace(share.path()); // the box names the share: its two files are listed
    const XWindow window = program->waitForWindow();
    const QImage listed = settledGrab(window, listing(2));
    QVERIFY(!listed.isNull());
    const QList<QRect> rows = contentRows(listed, kListInside); // asleep, awake
    Heartbeat heartbeat{program->pid(), {}, 0};

    window.click(rows.at(0).center(), 2);
    QVERIFY(heartbeat.msUntil([&] { return window.caption() == QLatin1String("Loading"); }) >= 0);
    QVERIFY2(heartbeat.msUntil([&] { return waitingOnFuse(program->pid()) > 0; }) >= 0,
             "no thread of the program waits for the stuck read");
    if (typed) {
        window.click(kFolderBoxPoint);
        XWindow::key(QStringLiteral("ctrl+a"));
        XWindow::type(m_work);
        QVERIFY(!settledGrab(window, listing(1)).isNull());
    }
    if (!next.isEmpty()) {
        window.click(rows.at(typed ? 0 : 1).center(), 2);
        const qint64 playingMs = heartbeat.msUntil([&] { return window.caption() == kAwake; });
        QVERIFY(playingMs >= 0);
        qInfo("%s playing %lld ms after its double-click", qPrintable(kAwake), playingMs);
        // Its sound, paused by Space: the list has the focus since the double-click.
        XWindow::key(QStringLiteral("space"));
        QVERIFY(heartbeat.msUntil([&] { return allCorked(sinkInputsOf(program->pid())); }) >= 0);
    }

    QElapsedTimer closing;
    closing.start();
    QVERIFY(window.requestClose());
    QVERIFY(heartbeat.msUntil([&] { return !program->findWindow().isValid(); }) >= 0);
    const qint64 goneMs = closing.elapsed();
    qInfo("window gone %lld ms after the close; the window's thread waited for the share %lld ms at most", goneMs,
          heartbeat.longestWaitMs);
    QVERIFY2(goneMs < kClosedWithinMs, qPrintable(QString::number(goneMs)));
    QVERIFY2(heartbeat.longestWaitMs < kLongestShareWaitMs, qPrintable(QString::number(heartbeat.longestWaitMs)));
    // The program has ended all it can: what is left waits for the kernel to let the share's
    // waits go.
    QVERIFY(heartbeat.msUntil([&] { return windowThreadEnded(program->pid()); }) >= 0);
    const qint64 endedMs = closing.elapsed();

    QElapsedTimer released;
    released.start();
    share.release();
    QVERIFY2(program->process().waitForFinished(kReactMs), "the process did not end once the share answered");
    qInfo("window's thread ended %lld ms after the close, the process %lld ms after the share answered", endedMs,
          released.elapsed());
    QCOMPARE(program->process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(program->process().exitCode(), 0);
    QVERIFY2(!program->errors().contains("Marrowlark:"), program->errors().constData());
}

QTEST_GUILESS_MAIN(TestStuckFile)
#include "tst_stuckfile.moc"
