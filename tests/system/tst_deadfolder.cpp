// A share that stops answering, at the real program: typing its path holds neither the window nor
// more than one thread, a folder typed after it plays, and closing takes the window away while
// the share still holds a query; the process ends once the share lets it go.

#include "stalledshare.h"
#include "systemsupport.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTest>

using namespace SystemTest;

namespace {

// Where a thread waits while a FUSE daemon holds its call.
const QString kShareWait = QStringLiteral("request_wait_answer");

// What each thread of the process waits on in the kernel, the window's thread first.
QStringList waitChannels(qint64 pid)
{
    const QString tasks = QStringLiteral("/proc/%1/task/").arg(pid);
    QStringList threads = QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    threads.removeOne(QString::number(pid));
    threads.prepend(QString::number(pid));
    QStringList channels;
    for (const QString& thread : threads) {
        QFile wchan(tasks + thread + QStringLiteral("/wchan"));
        channels << (wchan.open(QIODevice::ReadOnly) ? QString::fromLatin1(wchan.readAll()) : QString());
    }
    return channels;
}

} // namespace

class TestDeadFolder : public QObject {
    Q_OBJECT

private slots:
    void deadShareHoldsNothingButOneThread();
};

void TestDeadFolder::deadShareHoldsNothingButOneThread()
{
    if (testDisplay().isEmpty()) {
        QSKIP("needs the suite's private X server: run through scripts/run-tests.sh");
    }
    const QString work = workFolder(QStringLiteral("deadfolder"));
    const QString music = work + QStringLiteral("/music");
    QVERIFY(QDir().mkpath(music) && QDir().mkpath(work + QStringLiteral("/start")));
    QVERIFY(makeTone(music + QStringLiteral("/tone.wav"), 5));
    StalledShare share;
    QVERIFY(QDir().mkpath(share.backing() + QStringLiteral("/dead")));
    QVERIFY2(share.mount({"--hang", "dead"}), qPrintable(share.failure()));

    Program program(work + QStringLiteral("/start"));
    const auto letGoFirst = qScopeGuard([&share] { share.release(); }); // a stuck program cannot be killed
    const XWindow window = program.waitForWindow();
    QVERIFY(window.isValid());
    QVERIFY(!settledGrab(window, listing(0)).isNull());

    // The dead folder, and 100 characters on: the share holds one thread, not one a keystroke.
    window.click(kFolderBoxPoint);
    XWindow::key(QStringLiteral("ctrl+a"));
    XWindow::type(share.path() + QStringLiteral("/dead") + QStringLiteral("/far away").repeated(11));
    QTRY_VERIFY_WITH_TIMEOUT(waitChannels(program.pid()).contains(kShareWait), kReactMs);

    // A folder typed after it is followed, and a double-click there plays.
    XWindow::key(QStringLiteral("ctrl+a"));
    XWindow::type(music);
    const QImage typed = settledGrab(window, listing(1));
    QVERIFY2(!typed.isNull(), "the folder typed after the dead one is not listed");
    const QStringList channels = waitChannels(program.pid());
    qInfo() << "threads wait on:" << channels;
    QCOMPARE(channels.count(kShareWait), 1);
    QVERIFY(channels.first() != kShareWait);
    window.click(contentRows(typed, kListInside).at(0).center(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(window.caption(), QStringLiteral("tone.wav"), kReactMs);

    // Closing takes the window away at once; the process ends when the share lets its thread go.
    QVERIFY(window.requestClose());
    QTRY_VERIFY_WITH_TIMEOUT(!program.findWindow().isValid(), 1000);
    share.release();
    QVERIFY(program.process().waitForFinished(kReactMs));
    QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process().exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestDeadFolder)
#include "tst_deadfolder.moc"
