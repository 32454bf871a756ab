// The player's play-state rules, from sequences of its own commands and the engine's reports, in
// every order the engine can deliver them: no engine needed.

#include "playstatetracker.h"
#include "statenames.h"

#include <QtTest>

using Reason = PlayStateTracker::EndReason;

class TestPlayStateTracker : public QObject {
    Q_OBJECT

private slots:
    void sequences_data();
    void sequences();
};

namespace {

// One step of a sequence. Commands: "open N", "pause", "resume", "stop" (and "stop-effect", the
// stop's announcement from the event loop), "replaced" (the engine given up for a fresh one). Reports: "started N",
// "restart", "ended N eof|stop|error", "idle", "busy", "pause-changed", "cache-wait", "cache-done". The tracker's
// answer to each step is collected as the announcements the player would emit.
void apply(PlayStateTracker& tracker, const QString& step, QList<int>& announced)
{
    const QStringList words = step.split(u' ');
    const QString& verb = words.first();
    const qint64 entry = words.size() > 1 ? words[1].toLongLong() : -1;
    PlayStateTracker::Announcement announcement;
    if (verb == u"open") {
        tracker.opened(entry);
    } else if (verb == u"pause" || verb == u"resume") {
        tracker.pauseSet(verb == u"pause");
    } else if (verb == u"stop") {
        tracker.stopped();
    } else if (verb == u"stop-effect") {
        announcement = tracker.stopTookEffect();
    } else if (verb == u"replaced") {
        tracker.engineReplaced();
    } else if (verb == u"started") {
        tracker.fileStarted(entry);
    } else if (verb == u"restart") {
        announcement = tracker.playbackRestarted();
    } else if (verb == u"ended") {
        const Reason reason = words[2] == u"eof"    ? Reason::EndOfFile
                              : words[2] == u"stop" ? Reason::Stopped
                                                    : Reason::Failed;
        announcement = tracker.fileEnded(entry, reason);
    } else if (verb == u"idle" || verb == u"busy") {
        announcement = tracker.idleChanged(verb == u"idle");
    } else if (verb == u"pause-changed") {
        announcement = tracker.pauseChanged();
    } else if (verb == u"cache-wait" || verb == u"cache-done") {
        announcement = tracker.cacheWaitChanged(verb == u"cache-wait");
    } else {
        QFAIL(qPrintable(QStringLiteral("unknown step: ") + step));
    }
    if (announcement) {
        QCOMPARE(*announcement, tracker.state());
        announced.append(*announcement);
    }
}

} // namespace

void TestPlayStateTracker::sequences_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("announced");
    QTest::addColumn<bool>("hasFile"); // after the last step: a play resumes, rather than opening again

    const QString playing = "open 1, started 1, restart, ";
    QTest::newRow("an open ends playing") << playing + "busy"
                                          << "Playing" << true;
    QTest::newRow("pause and resume") << playing + "pause, pause-changed, resume, pause-changed"
                                      << "Playing Paused Playing" << true;
    QTest::newRow("end of the file, then idle") << playing + "ended 1 eof, idle"
                                                << "Playing MediaEnded Stopped" << false;
    QTest::newRow("a failed open is announced, and again when it fails again")
        << "open 1, started 1, ended 1 error, idle, open 2, started 2, ended 2 error, idle"
        << "Ready Ready" << false;
    QTest::newRow("replacing a playing file announces the new open though unchanged")
        << playing + "open 2, ended 1 stop, started 2, restart"
        << "Playing Playing" << true;
    QTest::newRow("a replaced open's start, restart and end are ignored")
        << "open 1, open 2, started 1, restart, ended 1 stop, started 2, restart"
        << "Playing" << true;
    QTest::newRow("a replaced file's failure is ignored")
        << "open 1, open 2, started 1, ended 1 error, started 2, restart"
        << "Playing" << true;
    QTest::newRow("a stale idle while the next file opens is ignored")
        << playing + "stop, open 2, idle, started 2, restart"
        << "Playing Playing" << true;
    QTest::newRow("pause while opening: announced paused once it has started")
        << "open 1, started 1, pause, pause-changed, restart"
        << "Paused" << true;
    QTest::newRow("pause after the end changes nothing") << playing + "ended 1 eof, pause-changed"
                                                         << "Playing MediaEnded" << false;
    QTest::newRow("waiting for data, then going on") << playing + "cache-wait, cache-done"
                                                     << "Playing Buffering Playing" << true;
    QTest::newRow("idle before anything opened announces nothing") << "idle, busy, idle"
                                                                   << "" << false;
    QTest::newRow("idle after a failure stays ready") << "open 1, ended 1 error, idle"
                                                      << "Ready" << false;
    QTest::newRow("stop while playing: stopped once idle") << playing + "stop, ended 1 stop, idle"
                                                           << "Playing Stopped" << false;
    QTest::newRow("stop while opening is announced") << "open 1, stop, stop-effect, ended 1 stop"
                                                     << "Stopped" << false;
    QTest::newRow("stop after the engine reported the start: no file left to resume")
        << "open 1, started 1, stop, stop-effect"
        << "Stopped" << false;
    QTest::newRow("stop before the engine reported the start: the late start is stale")
        << "open 1, stop, started 1, stop-effect, ended 1 stop, idle"
        << "Stopped" << false;
    QTest::newRow("stop, then play opens again and plays")
        << "open 1, stop, started 1, stop-effect, open 2, ended 1 stop, started 2, restart"
        << "Stopped Playing" << true;
    QTest::newRow("stop, then an open before the stop's announcement: the open's end is announced")
        << "open 1, stop, open 2, stop-effect, ended 1 stop, started 2, restart"
        << "Playing" << true;
    QTest::newRow("stop while replacing ends the open") << playing + "open 2, stop, stop-effect, ended 1 stop"
                                                        << "Playing Stopped" << false;
    QTest::newRow("stop while replacing, the engine idle before the stop's announcement: announced once")
        << playing + "open 2, stop, ended 1 stop, idle, stop-effect"
        << "Playing Stopped" << false;
    QTest::newRow("an engine given up while opening: the open made again on the fresh one is announced once")
        << "open 1, started 1, open 2, replaced, open 3, idle, pause-changed, cache-done, started 3, restart"
        << "Playing" << true;
    QTest::newRow("an engine given up while playing: no file is left to resume") << playing + "replaced"
                                                                                 << "Playing" << false;
    QTest::newRow("an engine given up while waiting for data: the fresh engine's file plays")
        << playing + "cache-wait, open 2, replaced, open 3, started 3, restart"
        << "Playing Buffering Playing" << true;
}

void TestPlayStateTracker::sequences()
{
    QFETCH(QString, steps);
    QFETCH(QString, announced);
    QFETCH(bool, hasFile);
    PlayStateTracker tracker;
    QList<int> announcements;
    for (const QString& step : steps.split(QStringLiteral(", "))) {
        apply(tracker, step, announcements);
    }
    QCOMPARE(announcements, statesNamed(announced));
    QCOMPARE(tracker.hasFile(), hasFile);
}

QTEST_GUILESS_MAIN(TestPlayStateTracker)
#include "tst_playstatetracker.moc"
