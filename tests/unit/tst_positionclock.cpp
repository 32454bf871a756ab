// The playback position between the engine's answers: carried forward while playback goes on,
// held while it stands, and old answers asked again. No engine needed.

#include "positionclock.h"

#include <QtTest>

class TestPositionClock : public QObject {
    Q_OBJECT

private slots:
    void readings_data();
    void readings();
};

void TestPositionClock::readings_data()
{
    // Steps: "MS answer SECONDS" ("none": no file open), "MS run", "MS stand".
    QTest::addColumn<QString>("steps");
    QTest::addColumn<qint64>("readAtMs");
    QTest::addColumn<double>("seconds"); // -1: nothing
    QTest::addColumn<bool>("stale");
    QTest::newRow("no answer yet") << "0 run" << qint64(100) << -1.0 << false;
    QTest::newRow("standing: the answer as it was") << "0 answer 5" << qint64(9000) << 5.0 << false;
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

void TestPositionClock::readings()
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

QTEST_GUILESS_MAIN(TestPositionClock)
#include "tst_positionclock.moc"
