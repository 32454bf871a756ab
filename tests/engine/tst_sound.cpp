// Real sound through the suite's sound server: what the window plays reaches the sink under the
// program's name, mute silences it, and destroying the window ends the stream at once. (The real
// program closed while playing is tested with the whole program, in tests/system.)

#include "enginemedia.h"
#include "filelistbox.h"
#include "form1.h"
#include "glyphbutton.h"
#include "mpvplayer.h"
#include "soundsink.h"
#include "startup.h"
#include "testfolder.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include <clocale>

constexpr int kTimeout = 30000; // generous for a sanitized build on a busy machine

class TestSound : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void windowPlaysToneIntoTheSinkUntilDestroyed();

private:
    TestFolder m_media;
};

void TestSound::initTestCase()
{
    std::setlocale(LC_NUMERIC, "C");
    if (!testSinkAvailable()) {
        QSKIP("No sound server is reachable (run the suite with scripts/run-tests.sh, which starts one).");
    }
    // Long enough to outlast every check below on a slow machine.
    m_media.addFile("tone.ogg", testmedia::tone("ogg", 440, 30));
}

void TestSound::windowPlaysToneIntoTheSinkUntilDestroyed()
{
    SinkRecorder recorder;
    QVERIFY(recorder.isRecording());
    QTRY_VERIFY_WITH_TIMEOUT(recorder.silent(), kTimeout);

    std::unique_ptr<Form1> form = createMainWindow();
    form->show();
    form->text1()->setText(m_media.path());
    form->file1()->setCurrentIndex(form->file1()->model()->index(0, 0));
    QCOMPARE(form->file1()->fileName(), QStringLiteral("tone.ogg"));
    form->command1()->click();
    QTRY_COMPARE_WITH_TIMEOUT(form->windowTitle(), QStringLiteral("tone.ogg"), kTimeout);

    QTRY_VERIFY_WITH_TIMEOUT(recorder.toneHeard(), kTimeout);
    const qint64 pid = QCoreApplication::applicationPid();
    const QList<SinkInput> streams = sinkInputsOf(pid);
    QCOMPARE(streams.size(), 1);
    QCOMPARE(streams.first().application, QStringLiteral("Marrowlark"));

    // Mute goes through the engine to the sound itself, and back.
    auto* player = static_cast<MpvPlayer*>(form->windowsMediaPlayer1());
    QAction* mute = player->contextMenu()->actions().at(3);
    QCOMPARE(mute->text(), QStringLiteral("Mute"));
    mute->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(recorder.silent(), kTimeout);
    mute->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(recorder.toneHeard(), kTimeout);

    form.reset();
    QTRY_VERIFY_WITH_TIMEOUT(sinkInputsOf(pid).isEmpty(), kTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(recorder.silent(), kTimeout);
}

QTEST_MAIN(TestSound)
#include "tst_sound.moc"
