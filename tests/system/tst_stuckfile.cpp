// A file whose reads hang from the first byte, on a share that still lists it and answers its
// stat (a NAS gone to sleep with its attributes cached): the caption reads "Loading", a file
// chosen next plays, closing (also while the stuck file loads) takes the window away within a
// second, and the process ends once the share answers. The window's thread is read from the kernel all along: it never
// waits on the file system.

#include "stalledshare.h"
#include "systemsupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTest>

#include <xcb/xcb.h>

#include <poll.h>

#include <functional>
#include <optional>

using namespace SystemTest;

namespace {

const QString kAsleep = QStringLiteral("asleep.wav");
const QString kAwake = QStringLiteral("awake.wav");
constexpr qint64 kClosedWithinMs = 1000;
constexpr int kSampleMs = 5;
constexpr int kAwakeHertz = 660; // not the stuck file's tone

// Whether the kernel has the thread of @p wchanFile wait for a FUSE daemon's answer.
bool waitsOnFuse(const QString& wchanFile)
{
    QFile file(wchanFile);
    return file.open(QIODevice::ReadOnly) && file.readAll().contains("request_wait_answer");
}

// Whether the process's first thread has ended while others still hold the process.
bool windowThreadEnded(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    return status.open(QIODevice::ReadOnly) && status.readAll().contains("State:\tZ");
}

bool anyThreadWaitsOnFuse(qint64 pid)
{
    const QString tasks = QStringLiteral("/proc/%1/task/").arg(pid);
    for (const QString& tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (waitsOnFuse(tasks + tid + QStringLiteral("/wchan"))) {
            return true;
        }
    }
    return false;
}

// The window's thread (the process's first) as the kernel sees it, sampled at every poll.
struct Heartbeat {
    qint64 pid = 0;
    int samples = 0;
    int waitingOnFuse = 0;

    void sample()
    {
        ++samples;
        waitingOnFuse += waitsOnFuse(QStringLiteral("/proc/%1/task/%1/wchan").arg(pid)) ? 1 : 0;
    }
    // Milliseconds until @p reached holds; -1 past kReactMs. The sound recorder's samples arrive
    // as events, which are processed between the polls.
    qint64 msUntil(const std::function<bool()>& reached)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < kReactMs) {
            sample();
            if (reached()) {
                return clock.elapsed();
            }
            QTest::qWait(kSampleMs);
        }
        return -1;
    }
};

// Tells when the X server has taken a window off the screen (unmapped or destroyed it).
class GoneWatch {
public:
    explicit GoneWatch(const XWindow& window)
        : m_connection(xcb_connect(nullptr, nullptr))
        , m_window(window.id().toUInt(nullptr, 0))
    {
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        std::free(xcb_request_check(
            m_connection, xcb_change_window_attributes_checked(m_connection, m_window, XCB_CW_EVENT_MASK, &mask)));
    }
    ~GoneWatch() { xcb_disconnect(m_connection); }
    GoneWatch(const GoneWatch&) = delete;
    GoneWatch& operator=(const GoneWatch&) = delete;

    bool waitUntilGone(Heartbeat& heartbeat)
    {
        const QDeadlineTimer deadline(kReactMs);
        while (!deadline.hasExpired() && !xcb_connection_has_error(m_connection)) {
            heartbeat.sample();
            pollfd readable{xcb_get_file_descriptor(m_connection), POLLIN, 0};
            poll(&readable, 1, kSampleMs);
            xcb_generic_event_t* event = xcb_poll_for_event(m_connection);
            const int type = event != nullptr ? event->response_type & 0x7f : 0;
            std::free(event);
            if (type == XCB_UNMAP_NOTIFY || type == XCB_DESTROY_NOTIFY) {
                return true;
            }
        }
        return false;
    }

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_window;
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
    QVERIFY(makeTone(m_work + u'/' + kAwake, 30, kAwakeHertz));
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
    SinkRecorder sound;
    program.emplace(share.path()); // the box names the share: its two files are listed
    const XWindow window = program->waitForWindow();
    QVERIFY(window.isValid());
    const QImage listed = settledGrab(window, listing(2));
    QVERIFY(!listed.isNull());
    const QList<QRect> rows = contentRows(listed, kListInside); // asleep, awake
    Heartbeat heartbeat{program->pid()};

    window.click(rows.at(0).center(), 2);
    QVERIFY(heartbeat.msUntil([&] { return window.caption() == QLatin1String("Loading"); }) >= 0);
    QVERIFY2(heartbeat.msUntil([&] { return anyThreadWaitsOnFuse(program->pid()); }) >= 0,
             "no thread of the program waits for the stuck read");
    if (typed) {
        window.click(kFolderBoxPoint);
        XWindow::key(QStringLiteral("ctrl+a"));
        XWindow::type(m_work);
        QVERIFY(!settledGrab(window, listing(1)).isNull());
    }
    if (!next.isEmpty()) {
        QElapsedTimer chosen;
        chosen.start();
        window.click(rows.at(typed ? 0 : 1).center(), 2);
        QVERIFY(heartbeat.msUntil([&] { return window.caption() == kAwake; }) >= 0);
        qInfo("%s playing %lld ms after its double-click", qPrintable(kAwake), chosen.elapsed());
        QVERIFY(heartbeat.msUntil([&] { return sound.toneHeard(kAwakeHertz); }) >= 0);
        XWindow::key(QStringLiteral("space")); // the list has the focus since the double-click
        QVERIFY(heartbeat.msUntil([&] { return allCorked(sinkInputsOf(program->pid())); }) >= 0);
        QVERIFY(anyThreadWaitsOnFuse(program->pid()));
    }

    GoneWatch gone(window);
    QElapsedTimer closing;
    closing.start();
    QVERIFY(window.requestClose());
    QVERIFY(gone.waitUntilGone(heartbeat));
    const qint64 goneMs = closing.elapsed();
    qInfo("window gone %lld ms after the close; %d of %d samples of the window's thread waited on the share", goneMs,
          heartbeat.waitingOnFuse, heartbeat.samples);
    QVERIFY2(goneMs < kClosedWithinMs, qPrintable(QString::number(goneMs)));
    QCOMPARE(heartbeat.waitingOnFuse, 0);
    // The program has ended all it can: only the threads in the share's wait are left.
    QVERIFY(heartbeat.msUntil([&] { return windowThreadEnded(program->pid()); }) >= 0);
    qInfo("window's thread ended %lld ms after the close", closing.elapsed());
    QVERIFY(anyThreadWaitsOnFuse(program->pid()));

    QElapsedTimer released;
    released.start();
    share.release();
    QVERIFY2(program->process().waitForFinished(kReactMs), "the process did not end once the share answered");
    qInfo("process ended %lld ms after the share answered", released.elapsed());
    QCOMPARE(program->process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(program->process().exitCode(), 0);
    QVERIFY2(!program->errors().contains("Marrowlark:"), program->errors().constData());
}

QTEST_GUILESS_MAIN(TestStuckFile)
#include "tst_stuckfile.moc"
