// The real program used as a user uses it: real clicks and key strokes on its window, its
// caption and buttons as the X server shows them, its sound as the sound server plays it.

#include "systemsupport.h"

#include <QFile>
#include <QTest>

using namespace SystemTest;

namespace {

const QString kIdleTitle = QStringLiteral("Marrowlark");
const QString kToneName = QStringLiteral("440 Hz tone.wav");
const QString kGoneName = QStringLiteral("gone soon.wav");

constexpr int kPauseStrokes = 2; // the pause sign's two bars
constexpr int kPlayStrokes = 1;  // the play triangle

bool createEmptyFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

bool transportButtonShows(const XWindow& window, int strokes)
{
    const QImage picture = window.grab();
    return statistics(picture, kTransportButton).mean > 0.5 && glyphStrokes(picture, kTransportButton) == strokes;
}

bool noTransportButton(const XWindow& window)
{
    const QImage picture = window.grab();
    const AreaStatistics strip = statistics(picture, kBareStrip);
    const AreaStatistics button = statistics(picture, kTransportButton);
    return qAbs(button.mean - strip.mean) < 0.02 && button.deviation < 0.02;
}

qsizetype listedRows(const XWindow& window)
{
    return contentRows(window.grab(), kListInside).size();
}

} // namespace

class TestUserJourney : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void playsAFolderTypedByTheUser();
    void closingEndsTheProcess_data();
    void closingEndsTheProcess();

private:
    void saveShot(const XWindow& window, const QString& name);

    QString m_work;
    QString m_startFolder;
    QString m_musicFolder;
    QString m_longFolder;
};

void TestUserJourney::initTestCase()
{
    if (testDisplay().isEmpty() || !testSinkAvailable()) {
        QSKIP("needs the suite's private X and sound servers: run through scripts/run-tests.sh");
    }
    m_work = workFolder(QStringLiteral("journey"));
    m_startFolder = m_work + QStringLiteral("/somewhere else");
    m_musicFolder = m_work + QStringLiteral("/My Music");
    m_longFolder = m_work + QStringLiteral("/long");
    for (const QString& folder : {m_startFolder, m_musicFolder, m_longFolder}) {
        QVERIFY(QDir().mkpath(folder));
    }
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
        QVERIFY(createEmptyFile(m_startFolder + u'/' + QLatin1String(name)));
    }
    QVERIFY(makeTone(m_musicFolder + u'/' + kToneName, 10)); // outlasts the checks while it plays
    QVERIFY(makeTone(m_musicFolder + u'/' + kGoneName, 3));
    QVERIFY(createEmptyFile(m_musicFolder + QStringLiteral("/notes.txt")));
    QVERIFY(makeTone(m_longFolder + QStringLiteral("/long tone.wav"), 30));
}

void TestUserJourney::init()
{
    XWindow::parkPointer();
}

void TestUserJourney::saveShot(const XWindow& window, const QString& name)
{
    window.grab().save(m_work + u'/' + name + QStringLiteral(".png"));
}

void TestUserJourney::playsAFolderTypedByTheUser()
{
    SinkRecorder sound;
    QTRY_VERIFY_WITH_TIMEOUT(sound.seconds() > 0.5, kReactMs);
    QVERIFY(sound.silent());

    Program program(m_startFolder);
    const XWindow window = program.waitForWindow();
    QVERIFY(window.isValid());
    const QImage start = settledGrab(window, listing(4));
    QVERIFY2(!start.isNull(), "the start folder's four files are not listed");
    start.save(m_work + QStringLiteral("/01-start.png"));

    // Type the folder into the box; the list follows it.
    window.click(kFolderBoxPoint);
    XWindow::key(QStringLiteral("ctrl+a"));
    XWindow::type(m_musicFolder);
    const QImage typed = settledGrab(window, listing(3)); // the tone, the file to delete, the notes
    QVERIFY2(!typed.isNull(), "the typed folder's three files are not listed");
    typed.save(m_work + QStringLiteral("/02-folder-typed.png"));
    const QList<QRect> rows = contentRows(typed, kListInside);
    QVERIFY(typed != start);

    // Double-click the tone's row: it plays, named in the caption, with the pause sign.
    CaptionSpy captions(window);
    window.click(rows.at(0).center(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(window.caption(), kToneName, kReactMs);
    QTRY_VERIFY_WITH_TIMEOUT(sound.toneHeard(), kReactMs);
    qInfo("tone at %.3f of full scale", sound.level(200));
    QTRY_VERIFY_WITH_TIMEOUT(transportButtonShows(window, kPauseStrokes), kReactMs);
    saveShot(window, QStringLiteral("03-playing"));
    const QList<SinkInput> streams = sinkInputsOf(program.pid());
    QCOMPARE(streams.size(), 1);
    QCOMPARE(streams.first().application, QStringLiteral("Marrowlark"));
    QVERIFY(!streams.first().corked);
    const QStringList seen = captions.captions();
    qInfo() << "captions seen:" << seen;
    for (const QString& caption : seen.mid(1)) {
        QVERIFY2(caption == QLatin1String("Loading") || caption == kToneName, qPrintable(caption));
    }

    // Space in the list (it has the focus since the double-click) pauses, and again resumes.
    XWindow::key(QStringLiteral("space"));
    QTRY_VERIFY_WITH_TIMEOUT(transportButtonShows(window, kPlayStrokes), kReactMs);
    QTRY_VERIFY_WITH_TIMEOUT(sound.silent(), kReactMs);
    QCOMPARE(window.caption(), kToneName);
    QVERIFY(allCorked(sinkInputsOf(program.pid())));
    saveShot(window, QStringLiteral("04-paused"));

    XWindow::key(QStringLiteral("space"));
    QTRY_VERIFY_WITH_TIMEOUT(transportButtonShows(window, kPauseStrokes), kReactMs);
    QTRY_VERIFY_WITH_TIMEOUT(sound.toneHeard(), kReactMs);
    saveShot(window, QStringLiteral("05-resumed"));

    // The end of the file: the title again, no button, no sound.
    QTRY_COMPARE_WITH_TIMEOUT(window.caption(), kIdleTitle, kReactMs);
    QTRY_VERIFY_WITH_TIMEOUT(noTransportButton(window), kReactMs);
    QTRY_VERIFY_WITH_TIMEOUT(sound.silent(), kReactMs);
    saveShot(window, QStringLiteral("06-ended"));

    // A file deleted after it was listed: choosing it drops it from the list, nothing plays.
    QVERIFY(QFile::remove(m_musicFolder + u'/' + kGoneName));
    QCOMPARE(listedRows(window), 3);
    window.click(rows.at(1).center(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(listedRows(window), 2, kReactMs);
    QCOMPARE(window.caption(), kIdleTitle);
    QVERIFY(noTransportButton(window));
    QVERIFY(sound.silent());
    saveShot(window, QStringLiteral("07-deleted-file-chosen"));

    QVERIFY2(!program.errors().contains("Marrowlark:"), program.errors().constData());
}

void TestUserJourney::closingEndsTheProcess_data()
{
    QTest::addColumn<QString>("before");
    QTest::newRow("while playing") << QString();
    QTest::newRow("while paused by Space") << QStringLiteral("space");
    QTest::newRow("playing again after both buttons") << QStringLiteral("buttons");
}

void TestUserJourney::closingEndsTheProcess()
{
    QFETCH(QString, before);
    SinkRecorder sound;
    Program program(m_longFolder); // the box names the start folder, so its files play at once
    const XWindow window = program.waitForWindow();
    QVERIFY(window.isValid());
    const QImage start = settledGrab(window, listing(1));
    QVERIFY(!start.isNull());
    window.click(contentRows(start, kListInside).at(0).center(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(sound.toneHeard(), kReactMs);
    if (before == QLatin1String("space")) {
        XWindow::key(QStringLiteral("space"));
        QTRY_VERIFY_WITH_TIMEOUT(allCorked(sinkInputsOf(program.pid())), kReactMs);
    } else if (before == QLatin1String("buttons")) {
        // Real clicks on the glyph buttons, which lie over the display strip.
        QTRY_VERIFY_WITH_TIMEOUT(transportButtonShows(window, kPauseStrokes), kReactMs);
        window.click(kTransportButton.center());
        QTRY_VERIFY_WITH_TIMEOUT(transportButtonShows(window, kPlayStrokes), kReactMs);
        QTRY_VERIFY_WITH_TIMEOUT(allCorked(sinkInputsOf(program.pid())), kReactMs);
        window.click(kTransportButton.center());
        QTRY_VERIFY_WITH_TIMEOUT(transportButtonShows(window, kPauseStrokes), kReactMs);
        QTRY_VERIFY_WITH_TIMEOUT(sound.toneHeard(), kReactMs);
    }
    const qint64 pid = program.pid();
    QCOMPARE(sinkInputsOf(pid).size(), 1);

    QElapsedTimer closing;
    closing.start();
    QVERIFY(window.requestClose());
    QVERIFY(program.process().waitForFinished(kReactMs));
    qInfo("closed after %lld ms", closing.elapsed());
    QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process().exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(sinkInputsOf(pid).isEmpty(), kReactMs);
    QTRY_VERIFY_WITH_TIMEOUT(sound.silent(), kReactMs);
}

QTEST_GUILESS_MAIN(TestUserJourney)
#include "tst_userjourney.moc"
