// The player's engine comes up in the background after the first paint: calls made before it is
// up are kept and made in order, and a missing engine library leaves the window working.

#include "enginemedia.h"
#include "filelistbox.h"
#include "form1.h"
#include "mpvlibrary.h"
#include "mpvplayer.h"
#include "programerror.h"
#include "startup.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

class TestEngineStart : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void startsOnlyOnceThePlayerHasPainted();
    void callsBeforeTheEngineAreMadeInOrder_data();
    void callsBeforeTheEngineAreMadeInOrder();
    void libraryThatCannotBeLoaded_data();
    void libraryThatCannotBeLoaded();
    void windowWorksWithoutTheEngine();

private:
    QTemporaryDir m_dir;
    QString m_tone;
};

namespace {

constexpr int kTimeoutMs = 20000;

using Step = std::function<void(MpvPlayer&, const QString& file)>;

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

void TestEngineStart::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_tone = m_dir.filePath(QStringLiteral("tone.ogg"));
    QFile file(m_tone);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(testmedia::tone(QStringLiteral("ogg"), 440, 3));
}

void TestEngineStart::startsOnlyOnceThePlayerHasPainted()
{
    MpvPlayer player;
    player.resize(325, 40);
    QSignalSpy started(&player, &MpvPlayer::engineStarted);
    QCoreApplication::processEvents();
    QCOMPARE(started.count(), 0); // nothing asked for it and nothing was painted yet
    player.show();
    QVERIFY(started.wait(kTimeoutMs));
    QCOMPARE(started.first().first().toBool(), true);
    QVERIFY(player.isEngineReady());
}

void TestEngineStart::callsBeforeTheEngineAreMadeInOrder_data()
{
    const Step open = [](MpvPlayer& p, const QString& file) { p.setUrl(file); };
    const Step pause = [](MpvPlayer& p, const QString&) { p.controls()->pause(); };
    const Step play = [](MpvPlayer& p, const QString&) { p.controls()->play(); };
    QTest::addColumn<QList<Step>>("steps");
    QTest::addColumn<int>("finalState");
    QTest::newRow("open: plays") << QList<Step>{open} << PlayStatePlaying;
    QTest::newRow("open, pause: starts paused") << QList<Step>{open, pause} << PlayStatePaused;
    QTest::newRow("open, pause, play: plays") << QList<Step>{open, pause, play} << PlayStatePlaying;
    QTest::newRow("pause before any file, open: plays") << QList<Step>{pause, open} << PlayStatePlaying;
}

void TestEngineStart::callsBeforeTheEngineAreMadeInOrder()
{
    QFETCH(QList<Step>, steps);
    QFETCH(int, finalState);
    MpvPlayer player; // never shown: the first call that needs the engine starts it
    QSignalSpy notified(&player, &PlayerFacade::playStateChange);
    for (const Step& step : steps) {
        step(player, m_tone);
    }
    QVERIFY(!player.isEngineReady()); // none of the calls waited for the engine
    QCOMPARE(player.playState(), PlayStateUndefined);
    QCOMPARE(player.url(), m_tone);
    QTRY_COMPARE_WITH_TIMEOUT(player.playState(), finalState, kTimeoutMs);
    QVERIFY(!notified.isEmpty());
}

void TestEngineStart::libraryThatCannotBeLoaded_data()
{
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no such file") << "libmpv-absent.so.2"
                                  << "No such file";
    QTest::newRow("not the engine") << "libz.so.1"
                                    << "mpv_client_api_version";
}

void TestEngineStart::libraryThatCannotBeLoaded()
{
    QFETCH(QString, library);
    QFETCH(QString, reason);
    try {
        loadMpvLibrary(library);
        QFAIL("loaded");
    } catch (const ProgramError& error) {
        QVERIFY2(error.message().contains(library), qPrintable(error.message()));
        QVERIFY2(error.message().contains(reason), qPrintable(error.message()));
    }
}

void TestEngineStart::windowWorksWithoutTheEngine()
{
    const auto form =
        createMainWindow([](QWidget* parent) { return new MpvPlayer(parent, QStringLiteral("libmpv-absent.so.2")); });
    auto& player = static_cast<MpvPlayer&>(*form->windowsMediaPlayer1());
    QSignalSpy started(&player, &MpvPlayer::engineStarted);
    form->show();
    QVERIFY(started.wait(kTimeoutMs));
    QCOMPARE(started.first().first().toBool(), false);

    form->text1()->setText(m_dir.path()); // the list follows the typed folder
    QCOMPARE(form->file1()->path(), m_dir.path());
    QCOMPARE(player.playState(), PlayStateUndefined);
    try {
        player.setUrl(m_tone);
        QFAIL("setUrl without an engine went through");
    } catch (const ProgramError& error) {
        QVERIFY2(error.message().contains(QStringLiteral("libmpv-absent.so.2")), qPrintable(error.message()));
    }
    QCOMPARE(player.url(), QString()); // the failed call changed nothing
}

QTEST_MAIN(TestEngineStart)
#include "tst_enginestart.moc"
