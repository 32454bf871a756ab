// A monkey at the real window with the real player: 10,000 random clicks, double-clicks, keys,
// pastes and text edits over a folder of mixed media. Nothing may crash, no input may keep the
// GUI thread busy for 10 s, and no error may be reported (every folder here can be read).
// Every run makes the same moves; MARROWLARK_MONKEY_SEED picks other ones and
// MARROWLARK_MONKEY_STEPS changes their number.
#include "filelistbox.h"
#include "hostilesupport.h"
#include "playerfacade.h"
#include "startup.h"
#include "testfolder.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QRandomGenerator>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

using namespace Hostile;

namespace {

// A step takes milliseconds; on a sanitized build on a busy machine, well under a second.
constexpr qint64 kHangMs = 10000;
constexpr int kWatchdogAbortSeconds = 60;
constexpr quint32 kSeed = 20240611;
constexpr qint64 kRunDeadlineMs = 300000;

// Aborts the process with a message when the GUI thread stops coming back: a hang that would
// otherwise only show as the test's time-out.
class Watchdog {
public:
    Watchdog()
        : m_thread([this] { watch(); })
    {
    }
    ~Watchdog()
    {
        m_stop = true;
        m_thread.join();
    }
    void beat(const char* what)
    {
        m_what = what;
        m_lastBeat = now();
    }

private:
    static qint64 now()
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    void watch()
    {
        while (!m_stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (now() - m_lastBeat > kWatchdogAbortSeconds * 1000) {
                std::fprintf(stderr, "monkey: GUI thread hung for %d s after: %s\n", kWatchdogAbortSeconds,
                             m_what.load());
                std::abort();
            }
        }
    }

    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_lastBeat{now()};
    std::atomic<const char*> m_what{"start"};
    std::thread m_thread;
};

} // namespace

class TestMonkey : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void randomInput();

private:
    const char* act(QRandomGenerator& random);
    void clickSomewhere(QRandomGenerator& random, bool twice, Qt::MouseButton button);
    void pressKey(QRandomGenerator& random);
    void editText(QRandomGenerator& random);
    void useMenu(QRandomGenerator& random);

    TestFolder m_media;
    QStringList m_folderTexts;
    std::unique_ptr<Form1> m_form;
};

void TestMonkey::initTestCase()
{
    QVERIFY(makeTone(m_media.path() + "/good.mp3", 3));
    QVERIFY(makeTone(m_media.path() + "/short.mp3", 0.4));
    QVERIFY(
        ffmpeg({"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=2", "-f", "lavfi", "-i", "sine=duration=2",
                "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", "-shortest", m_media.path() + "/clip.mp4"}));
    m_media.addFile("random.mp3", QByteArray(50000, '\x5a'));
    m_media.addFile("empty.mp4", QByteArray());
    m_media.addFile("two\nlines.mp3", "#EXTM3U\nhttp://127.0.0.1:9/x.mp3\n");
    m_media.addFile("*.mp3");
    m_media.addFolder("sub");
    QVERIFY(makeTone(m_media.path() + "/sub/inner.mp3", 1));
    m_folderTexts = {m_media.path(),
                     m_media.path() + "/sub",
                     m_media.path() + "/",
                     m_media.path() + "/sub/..",
                     m_media.path() + "/missing",
                     QString()};

    m_form = createMainWindow();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get(), 30000));
    m_form->text1()->selectAll();
    QTest::keyClicks(m_form->text1(), m_media.path());
    QCOMPARE(m_form->file1()->path(), m_media.path());
}

void TestMonkey::clickSomewhere(QRandomGenerator& random, bool twice, Qt::MouseButton button)
{
    const QPoint point(random.bounded(m_form->width()), random.bounded(m_form->height()));
    QWidget* target = m_form->childAt(point);
    if (target == nullptr || !target->isVisible()) {
        target = m_form.get();
    }
    const QPoint local = target->mapFrom(m_form.get(), point);
    if (twice) {
        QTest::mouseDClick(target, button, {}, local);
    } else {
        QTest::mouseClick(target, button, {}, local);
    }
}

void TestMonkey::pressKey(QRandomGenerator& random)
{
    static const Qt::Key keys[] = {Qt::Key_Return, Qt::Key_Enter,   Qt::Key_Space,  Qt::Key_Space,     Qt::Key_Up,
                                   Qt::Key_Down,   Qt::Key_Down,    Qt::Key_Home,   Qt::Key_End,       Qt::Key_PageDown,
                                   Qt::Key_Tab,    Qt::Key_Backtab, Qt::Key_Escape, Qt::Key_Backspace, Qt::Key_Delete,
                                   Qt::Key_A,      Qt::Key_G,       Qt::Key_Z};
    const Qt::Key key = keys[random.bounded(int(std::size(keys)))];
    const Qt::KeyboardModifiers modifiers = random.bounded(8) == 0 ? Qt::ControlModifier : Qt::NoModifier;
    QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : m_form->file1();
    QTest::keyClick(focus, key, modifiers);
}

void TestMonkey::editText(QRandomGenerator& random)
{
    QLineEdit& box = *m_form->text1();
    switch (random.bounded(4)) {
    case 0:
        paste(*m_form, m_folderTexts[random.bounded(int(m_folderTexts.size()))]);
        break;
    case 1: {
        static const QString alphabet = QStringLiteral("/.subgod*? ");
        box.setFocus();
        QTest::keyClick(&box, alphabet[random.bounded(int(alphabet.size()))].toLatin1());
        break;
    }
    case 2:
        box.setFocus();
        QTest::keyClick(&box, Qt::Key_Backspace);
        break;
    default:
        QGuiApplication::clipboard()->setText(QString(random.bounded(1, 300), QChar(u'a' + random.bounded(26))));
        box.setFocus();
        QTest::keyClick(&box, Qt::Key_V, Qt::ControlModifier);
        break;
    }
}

void TestMonkey::useMenu(QRandomGenerator& random)
{
    auto* menu = m_form->windowsMediaPlayer1()->findChild<QMenu*>(QStringLiteral("playerMenu"));
    if (menu == nullptr) {
        return;
    }
    if (!menu->isVisible()) {
        menu->popup(m_form->windowsMediaPlayer1()->mapToGlobal(QPoint(10, 10)));
        return;
    }
    const QList<QAction*> actions = menu->actions();
    QAction* action = actions[random.bounded(int(actions.size()))];
    menu->hide();
    action->trigger();
}

const char* TestMonkey::act(QRandomGenerator& random)
{
    const int choice = random.bounded(100);
    if (choice < 30) {
        clickSomewhere(random, false, Qt::LeftButton);
        return "click";
    }
    if (choice < 40) {
        clickSomewhere(random, true, Qt::LeftButton);
        return "double-click";
    }
    if (choice < 43) {
        clickSomewhere(random, false, Qt::RightButton);
        return "right-click";
    }
    if (choice < 46) {
        useMenu(random);
        return "player menu";
    }
    if (choice < 75) {
        pressKey(random);
        return "key";
    }
    editText(random);
    return "text edit";
}

void TestMonkey::randomInput()
{
    const quint32 seed = qEnvironmentVariableIsSet("MARROWLARK_MONKEY_SEED")
                             ? quint32(qEnvironmentVariableIntValue("MARROWLARK_MONKEY_SEED"))
                             : kSeed;
    const int steps = qEnvironmentVariableIsSet("MARROWLARK_MONKEY_STEPS")
                          ? qEnvironmentVariableIntValue("MARROWLARK_MONKEY_STEPS")
                          : 10000;
    qInfo("monkey seed %u (MARROWLARK_MONKEY_SEED changes it), %d steps", seed, steps);
    QRandomGenerator random(seed);
    const ReportSpy reports;
    Watchdog watchdog;
    QElapsedTimer run;
    run.start();
    qint64 longest = 0;
    const char* longestWhat = "";
    int hangs = 0;
    int done = 0;
    for (; done < steps && run.elapsed() < kRunDeadlineMs; ++done) {
        QElapsedTimer step;
        step.start();
        const char* what = act(random);
        QCoreApplication::processEvents();
        const qint64 took = step.elapsed();
        watchdog.beat(what);
        if (took > longest) {
            longest = took;
            longestWhat = what;
        }
        if (took > kHangMs) {
            ++hangs;
            qWarning("step %d (%s) kept the GUI thread busy for %lld ms", done, what, took);
        }
    }
    qInfo("monkey: %d steps in %lld ms; longest step %lld ms (%s); final caption \"%s\"", done, run.elapsed(), longest,
          longestWhat, qPrintable(m_form->windowTitle()));
    QCOMPARE(hangs, 0);
    QVERIFY2(reports.count() == 0, qPrintable(reports.messages().join(u'\n')));
    QVERIFY(m_form->isVisible());
}

MARROWLARK_HOSTILE_MAIN(TestMonkey)
#include "tst_monkey.moc"
