// Which late answers of the file system still count: answers that arrive out of order, inputs
// that supersede a pending question, and the last input winning.
#include "answerorder.h"

#include <QtTest>

#include <map>

class TestAnswerOrder : public QObject {
    Q_OBJECT

private slots:
    void lastInputWins_data();
    void lastInputWins();
};

void TestAnswerOrder::lastInputWins_data()
{
    // "events : counted". Events, one a word: "F1" asks the folder question named 1 (L a lookup,
    // R a refresh), "=1" is its answer coming, "-L" an input that supersedes the pending lookup
    // (Space, a button). Counted: the names whose answers counted, in order, and "!" where a
    // supersession found a question pending.
    QTest::addColumn<QString>("table");
    QTest::newRow("answers in order") << "F1 =1 F2 =2 : 12";
    QTest::newRow("older answer after the newer: dropped") << "F1 F2 =2 =1 : 2";
    QTest::newRow("older answer before the newer: dropped") << "F1 F2 =1 =2 : 2";
    QTest::newRow("three texts, answers reversed") << "F1 F2 F3 =3 =2 =1 : 3";
    QTest::newRow("kinds do not supersede each other") << "F1 L2 R3 =3 =1 =2 : 312";
    QTest::newRow("Space drops a pending lookup") << "L1 -L =1 : !";
    QTest::newRow("Space after the answer drops nothing") << "L1 =1 -L : 1";
    QTest::newRow("Space, then a newer choice") << "L1 -L L2 =1 =2 : !2";
    QTest::newRow("an answer counts once") << "F1 =1 =1 : 1";
}

void TestAnswerOrder::lastInputWins()
{
    QFETCH(QString, table);
    const std::map<QChar, AnswerOrder::Question> kinds{{u'F', AnswerOrder::Question::Folder},
                                                       {u'L', AnswerOrder::Question::Lookup},
                                                       {u'R', AnswerOrder::Question::Refresh}};
    AnswerOrder order;
    std::map<QString, AnswerOrder::Ticket> tickets;
    QString counted;
    for (const QString& event : table.section(u':', 0, 0).split(u' ', Qt::SkipEmptyParts)) {
        const QString name = event.mid(1);
        if (event.startsWith(u'=')) {
            const bool current = order.isCurrent(tickets.at(name));
            QCOMPARE(order.take(tickets.at(name)), current);
            counted += current ? name : QString();
        } else if (event.startsWith(u'-')) {
            counted += order.supersede(kinds.at(name.at(0))) ? QStringLiteral("!") : QString();
        } else {
            tickets[name] = order.ask(kinds.at(event.at(0)));
        }
    }
    QCOMPARE(counted, table.section(u':', 1).trimmed());
}

QTEST_APPLESS_MAIN(TestAnswerOrder)
#include "tst_answerorder.moc"
