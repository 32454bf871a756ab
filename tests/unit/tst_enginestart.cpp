// The player's engine comes up in the background at the first press into the window: calls made
// before it is up are kept and made in order, and a missing engine library leaves the window
// working.

#include "enginemedia.h"
#include "filelistbox.h"
#include "form1.h"
#include "mpvlibrary.h"
#include "mpvplayer.h"
#include "programerror.h"
#include "startup.h"

#include <QCursor>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

class TestEngineStart : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void untouchedWindowDoesNotStartTheEngine();
    void firstPressIntoTheWindowStartsTheEngine_data();
    void firstPressIntoTheWindowStartsTheEngine();
    void firstDoubleClickPlaysWithoutWaiting();
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

constexpr int kTimeoutMs = 30000; // generous for a sanitized build on a busy machine

using Step = std::function<void(MpvPlayer&, const QString& file)>;
using Press = std::function<void(Form1&)>;

std::unique_ptr<Form1> shownWindow()
{
    auto form = createMainWindow();
    form->show();
    form->file1()->setFocus();
    return QTest::qWaitForWindowExposed(form.get()) ? std::move(form) : nullptr;
}

MpvPlayer& playerOf(Form1& form)
{
    return static_cast<MpvPlayer&>(*form.windowsMediaPlayer1());
}

// Threads under the process's own name: the one that brings the engine up is begun at the start;
// Qt's threads and the engine's carry names of their own.
qsizetype unnamedThreads()
{
    const auto nameOf = [](const QString& path) {
        QFile file(path + QStringLiteral("/comm"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QString tasks = QStringLiteral("/proc/self/task/");
    const QStringList ids = QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    return std::count_if(ids.begin(), ids.end(),
                         [&](const QString& id) { return nameOf(tasks + id) == nameOf(QStringLiteral("/proc/self")); });
}

} // namespace

Q_DECLARE_METATYPE(QList<Step>)
Q_DECLARE_METATYPE(Press)

void TestEngineStart::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_tone = m_dir.filePath(QStringLiteral("tone.ogg"));
    QFile file(m_tone);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(testmedia::tone(QStringLiteral("ogg"), 440, 3));
}

void TestEngineStart::untouchedWindowDoesNotStartTheEngine()
{
    const auto form = createMainWindow();
    QSignalSpy started(&playerOf(*form), &MpvPlayer::engineStarted);
    const qsizetype threads = unnamedThreads();
    form->move(QCursor::pos() + QPoint(100, 100)); // a window that appears under the pointer is entered
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    // Painted and repainted, but never hovered nor pressed: an idle window stays small. (The
    // pointer's entry starts it, tested with real X input in tests/system/tst_soundserver.)
    form->update();
    QCoreApplication::processEvents();
    QCOMPARE(unnamedThreads(), threads);
    QVERIFY(started.isEmpty());
    QVERIFY(!playerOf(*form).isEngineReady());
}

void TestEngineStart::firstPressIntoTheWindowStartsTheEngine_data()
{
    QTest::addColumn<Press>("press");
    QTest::newRow("mouse press in the list") << Press([](Form1& f) {
        QTest::mousePress(f.file1()->viewport(), Qt::LeftButton, {}, QPoint(20, 5));
        QTest::mouseRelease(f.file1()->viewport(), Qt::LeftButton, {}, QPoint(20, 5));
    });
    QTest::newRow("key in the list") << Press([](Form1& f) { QTest::keyClick(f.file1(), Qt::Key_Down); });
    QTest::newRow("key in the folder box") << Press([](Form1& f) { QTest::keyClick(f.text1(), Qt::Key_End); });
    QTest::newRow("mouse press on the strip")
        << Press([](Form1& f) { QTest::mouseClick(f.windowsMediaPlayer1(), Qt::LeftButton, {}, QPoint(5, 5)); });
}

void TestEngineStart::firstPressIntoTheWindowStartsTheEngine()
{
    QFETCH(Press, press);
    const auto form = shownWindow();
    QVERIFY(form);
    MpvPlayer& player = playerOf(*form);
    QSignalSpy started(&player, &MpvPlayer::engineStarted);
    QVERIFY(!player.isEngineReady());
    press(*form);
    QVERIFY(!player.isEngineReady()); // the press did not wait for it
    QVERIFY(started.wait(kTimeoutMs));
    QCOMPARE(started.first().first().toBool(), true);
    QVERIFY(player.isEngineReady());
}

void TestEngineStart::firstDoubleClickPlaysWithoutWaiting()
{
    const auto form = shownWindow();
    QVERIFY(form);
    MpvPlayer& player = playerOf(*form);
    form->text1()->setText(m_dir.path()); // typing by program: no key press
    FileListBox& list = *form->file1();
    QTRY_COMPARE(list.model()->rowCount(), 1);
    QVERIFY(!player.isEngineReady());
    const QPoint row = list.visualRect(list.model()->index(0, 0)).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, row);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, row);
    QVERIFY(!player.isEngineReady()); // the open is kept, the window went on
    QCOMPARE(player.url(), m_tone);
    QTRY_COMPARE_WITH_TIMEOUT(player.playState(), PlayStatePlaying, kTimeoutMs);
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
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QTest::keyClick(form->file1(), Qt::Key_Down); // the first press tries to start it
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
