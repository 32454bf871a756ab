// What the player knows of the engine between its reports, from sequences of the player's asks
// and the engine's reports: since when the engine has owed an answer about its file, and the
// playback position between its answers. No engine needed; times are milliseconds.

#include "enginewatch.h"
#include "positionclock.h"

#include <QtTest>

class TestEngineWatch : public QObject {
    Q_OBJECT

private slots:
    void owedAnswers_data();
    void owedAnswers();
    void position_data();
    void position();
};

void TestEngineWatch::owedAnswers_data()
{
    // Steps: "MS letgo" (an open of another file or a stop asked), and the reports "MS started N",
    // "MS restart", "MS ended N", "MS wait" and "MS go-on" (waiting for data, and no longer).
    QTest::addColumn<QString>("steps");
    QTest::addColumn<qint64>("owesSince"); // -1: owes nothing
    QTest::addColumn<bool>("holdsFile");
    const QString playing = "0 letgo, 5 started 1, 20 restart";
    QTest::newRow("an open from idle owes nothing yet") << "0 letgo" << qint64(-1) << false;
    QTest::newRow("a file opening owes its playback from its start") << "0 letgo, 5 started 1" << qint64(5) << true;
    QTest::newRow("letting a playing file go is owed from the ask") << playing + ", 100 letgo" << qint64(100) << true;
    QTest::newRow("the held file's end answers the let-go")
        << playing + ", 100 letgo, 104 ended 1" << qint64(-1) << false;
    QTest::newRow("the next file's start answers the let-go; its playback is owed from then")
        << playing + ", 100 letgo, 104 started 2" << qint64(104) << true;
    QTest::newRow("an open that never answered, asked to let go: owed from its start")
        << "0 letgo, 5 started 1, 400 letgo, 900 letgo" << qint64(5) << true;
    QTest::newRow("data waited for is owed until playback goes on") << playing + ", 50 wait" << qint64(50) << true;
    QTest::newRow("playback going on answers the wait") << playing + ", 50 wait, 60 go-on" << qint64(-1) << true;
    QTest::newRow("the end of a file let go before changes nothing")
        << "0 letgo, 5 started 1, 6 letgo, 7 started 2, 8 ended 1" << qint64(7) << true;
}

void TestEngineWatch::owedAnswers()
{
    QFETCH(QString, steps);
    QFETCH(qint64, owesSince);
    QFETCH(bool, holdsFile);
    EngineWatch watch;
    for (const QString& step : steps.split(QStringLiteral(", "))) {
        const QStringList words = step.split(u' ');
        const qint64 atMs = words.at(0).toLongLong();
        const qint64 serial = words.value(2).toLongLong();
        if (words.at(1) == u"letgo") {
            watch.letGoAsked(atMs);
        } else if (words.at(1) == u"started") {
            watch.fileStarted(serial, atMs);
        } else if (words.at(1) == u"restart") {
            watch.playbackRestarted();
        } else if (words.at(1) == u"ended") {
            watch.fileEnded(serial);
        } else {
            watch.cacheWaitChanged(words.at(1) == u"wait", atMs);
        }
    }
    QCOMPARE(watch.owesSince().value_or(-1), owesSince);
    QCOMPARE(watch.holdsFile(), holdsFile);
}

void TestEngineWatch::position_data()
{
    // Steps: "MS answer SECONDS" ("none": no file open), "MS run", "MS stand".
    QTest::addColumn<QString>("steps");
    QTest::addColumn<qint64>("readAtMs");
    QTest::addColumn<double>("seconds"); // -1: nothing
    QTest::addColumn<bool>("stale");
    QTest::newRow("running: carried forward") << "0 run, 0 answer 5" << qint64(600) << 5.6 << false;
    QTest::newRow("stopped after running: held where it stopped")
        << "0 run, 0 answer 5, 500 stand" << qint64(3000) << 5.5 << false;
    QTest::newRow("a new answer replaces what was carried forward")
        << "0 run, 0 answer 5, 800 answer 5.7" << qint64(1000) << 5.9 << false;
    QTest::newRow("no file open: nothing, though running")
        << "0 run, 0 answer 5, 100 answer none" << qint64(500) << -1.0 << false;
    QTest::newRow("running on an answer older than a second: asked again")
        << "0 run, 0 answer 5" << qint64(1500) << 6.5 << true;
}

void TestEngineWatch::position()
{
    QFETCH(QString, steps);
    QFETCH(qint64, readAtMs);
    QFETCH(double, seconds);
    QFETCH(bool, stale);
    PositionClock clock;
    for (const QString& step : steps.split(QStringLiteral(", "))) {
        const QStringList words = step.split(u' ');
        const qint64 atMs = words.at(0).toLongLong();
        if (words.at(1) == u"answer") {
            clock.answered(words.at(2) == u"none" ? std::nullopt : std::optional(words.at(2).toDouble()), atMs);
        } else {
            clock.setRunning(words.at(1) == u"run", atMs);
        }
    }
    QCOMPARE(clock.at(readAtMs).value_or(-1), seconds);
    QCOMPARE(clock.isStale(readAtMs), stale);
}

QTEST_GUILESS_MAIN(TestEngineWatch)
#include "tst_enginewatch.moc"
