// Since when the engine has owed an answer about the file it holds, from sequences of the
// player's asks and the engine's reports: no engine needed.

#include "enginewatch.h"

#include <QtTest>

class TestEngineWatch : public QObject {
    Q_OBJECT

private slots:
    void sequences_data();
    void sequences();
};

namespace {

// One step: "MS letgo" (an open of another file or a stop asked at MS), and the reports
// "MS started N", "MS restart", "MS ended N", "MS wait" and "MS go-on" (waiting for data, and no
// longer).
void apply(EngineWatch& watch, const QString& step)
{
    const QStringList words = step.split(u' ');
    const qint64 atMs = words.at(0).toLongLong();
    const QString& verb = words.at(1);
    const qint64 serial = words.size() > 2 ? words.at(2).toLongLong() : -1;
    if (verb == u"letgo") {
        watch.letGoAsked(atMs);
    } else if (verb == u"started") {
        watch.fileStarted(serial, atMs);
    } else if (verb == u"restart") {
        watch.playbackRestarted();
    } else if (verb == u"ended") {
        watch.fileEnded(serial);
    } else if (verb == u"wait" || verb == u"go-on") {
        watch.cacheWaitChanged(verb == u"wait", atMs);
    } else {
        QFAIL(qPrintable(QStringLiteral("unknown step: ") + step));
    }
}

} // namespace

void TestEngineWatch::sequences_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<qint64>("owesSince"); // -1: owes nothing
    QTest::addColumn<bool>("holdsFile");

    const QString playing = "0 letgo, 5 started 1, 20 restart";
    QTest::newRow("an open from idle owes nothing yet") << "0 letgo" << qint64(-1) << false;
    QTest::newRow("a file opening owes its playback from its start") << "0 letgo, 5 started 1" << qint64(5) << true;
    QTest::newRow("a file playing owes nothing") << playing << qint64(-1) << true;
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
    QTest::newRow("a wait reported after the end is no wait")
        << playing + ", 30 ended 1, 31 wait" << qint64(-1) << false;
}

void TestEngineWatch::sequences()
{
    QFETCH(QString, steps);
    QFETCH(qint64, owesSince);
    QFETCH(bool, holdsFile);
    EngineWatch watch;
    for (const QString& step : steps.split(QStringLiteral(", "))) {
        apply(watch, step);
    }
    QCOMPARE(watch.owesSince().value_or(-1), owesSince);
    QCOMPARE(watch.holdsFile(), holdsFile);
}

QTEST_GUILESS_MAIN(TestEngineWatch)
#include "tst_enginewatch.moc"
