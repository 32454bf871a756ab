// Full screen in the real program, driven by real X input: a double-click on the display strip
// covers the screen with the picture, Space pauses there, Escape leaves, and the fixed window
// comes back as it was; closing the window while full screen ends the program. The screen stays
// awake only while the video plays full screen: the idle inhibit is watched at stand-ins for the
// desktop's services, on a private session bus. The screenshot is kept as fullscreen.png in the
// test's work folder.

#include "systemsupport.h"

#include <QProcess>
#include <QTest>

using namespace SystemTest;

namespace {

const QString kClipName = QStringLiteral("clip.mp4");

bool makeClip(const QString& path)
{
    // 4:3 at 320x240 with sound: full screen has to scale it up, and a pause shows at the sink.
    return runTool(QStringLiteral("ffmpeg"),
                   {"-loglevel", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=30", "-f",
                    "lavfi", "-i", "sine=frequency=440:duration=30", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a",
                    "aac", "-shortest", path})
        .ok();
}

QSize screenSize()
{
    const QStringList size =
        QString::fromUtf8(runTool(QStringLiteral("xdotool"), {"getdisplaygeometry"}).output).simplified().split(u' ');
    return size.size() == 2 ? QSize(size[0].toInt(), size[1].toInt()) : QSize();
}

// The program's visible window other than @p main, or an invalid one.
XWindow otherWindow(const Program& program, const XWindow& main)
{
    const ToolResult found =
        runTool(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--pid", QString::number(program.pid())});
    for (const QString& id : QString::fromUtf8(found.output).split(u'\n', Qt::SkipEmptyParts)) {
        if (id != main.id()) {
            return XWindow(id);
        }
    }
    return XWindow();
}

// The smallest rectangle holding every pixel that is not black.
QRect pictureIn(const QImage& shot)
{
    QRect found;
    for (int y = 0; y < shot.height(); y += 2) {
        for (int x = 0; x < shot.width(); x += 2) {
            if (qGray(shot.pixel(x, y)) > 24) {
                found |= QRect(x, y, 2, 2);
            }
        }
    }
    return found;
}

// The stand-in services' count of inhibits held, from the last line they printed.
class InhibitWatch {
public:
    bool start()
    {
        m_standIn.start(QStringLiteral(INHIBIT_STANDIN), {});
        return m_standIn.waitForReadyRead(kReactMs) && m_standIn.readLine().startsWith("ready");
    }
    ~InhibitWatch()
    {
        m_standIn.kill();
        m_standIn.waitForFinished();
    }
    int held()
    {
        while (m_standIn.canReadLine() || m_standIn.waitForReadyRead(0)) {
            const QByteArray line = m_standIn.readLine();
            const qsizetype at = line.indexOf(" active=");
            if (at >= 0) {
                m_held = line.mid(at + 8).split(' ').first().toInt();
            }
        }
        return m_held;
    }

private:
    QProcess m_standIn;
    int m_held = 0;
};

} // namespace

class TestFullScreen : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void doubleClickOnTheStripFillsTheScreen();

private:
    QString m_work;
    QString m_folder;
};

void TestFullScreen::initTestCase()
{
    if (testDisplay().isEmpty() || !testSinkAvailable()) {
        QSKIP("needs the suite's private X and sound servers: run through scripts/run-tests.sh");
    }
    m_work = workFolder(QStringLiteral("fullscreen"));
    m_folder = m_work + QStringLiteral("/videos");
    QVERIFY(QDir().mkpath(m_folder));
    QVERIFY(makeClip(m_folder + u'/' + kClipName));
}

void TestFullScreen::doubleClickOnTheStripFillsTheScreen()
{
    InhibitWatch inhibits;
    QVERIFY(inhibits.start());
    XWindow::parkPointer();
    Program program(m_folder);
    const XWindow window = program.waitForWindow();
    QVERIFY(window.isValid());
    const QImage start = settledGrab(window, listing(1));
    const QList<QRect> rows = contentRows(start, kListInside);
    QCOMPARE(rows.size(), 1);
    window.click(rows.first().center(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(window.caption(), kClipName, kReactMs);
    QCOMPARE(inhibits.held(), 0); // nothing in the strip

    window.click(kBareStrip.center(), 2);
    XWindow full;
    QTRY_VERIFY_WITH_TIMEOUT((full = otherWindow(program, window)).isValid(), kReactMs);
    const QSize screen = screenSize();
    QTRY_COMPARE_WITH_TIMEOUT(full.geometry(), QRect(QPoint(0, 0), screen), kReactMs);
    // 4:3 on the screen: as wide as the screen, centred, with black above and below.
    const QRect expected = QRect(QPoint(0, 0), QSize(320, 240).scaled(screen, Qt::KeepAspectRatio))
                               .translated(0, (screen.height() - screen.width() * 3 / 4) / 2);
    QTRY_VERIFY_WITH_TIMEOUT((pictureIn(full.grab()) & QRect(QPoint(0, 0), screen)).width() >= screen.width() - 4,
                             kReactMs);
    const QImage shot = full.grab();
    QVERIFY(shot.save(m_work + QStringLiteral("/fullscreen.png")));
    const QRect picture = pictureIn(shot);
    QVERIFY2(qAbs(picture.top() - expected.top()) <= 4 && qAbs(picture.bottom() - expected.bottom()) <= 4,
             qPrintable(QStringLiteral("picture %1,%2 %3x%4")
                            .arg(picture.x())
                            .arg(picture.y())
                            .arg(picture.width())
                            .arg(picture.height())));
    QCOMPARE(window.caption(), kClipName);
    QTRY_COMPARE_WITH_TIMEOUT(inhibits.held(), 1, kReactMs);

    XWindow::key(QStringLiteral("space"));
    QTRY_VERIFY_WITH_TIMEOUT(allCorked(sinkInputsOf(program.pid())), kReactMs);
    QVERIFY(otherWindow(program, window).isValid());
    QTRY_COMPARE_WITH_TIMEOUT(inhibits.held(), 0, kReactMs);
    XWindow::key(QStringLiteral("space"));
    QTRY_COMPARE_WITH_TIMEOUT(inhibits.held(), 1, kReactMs);
    XWindow::key(QStringLiteral("space"));
    QTRY_VERIFY_WITH_TIMEOUT(allCorked(sinkInputsOf(program.pid())), kReactMs);

    XWindow::key(QStringLiteral("Escape"));
    QTRY_VERIFY_WITH_TIMEOUT(!otherWindow(program, window).isValid(), kReactMs);
    QCOMPARE(inhibits.held(), 0);
    QCOMPARE(window.geometry().size(), kClientSize);
    QCOMPARE(window.caption(), kClipName);
    // The strip shows the picture again.
    QTRY_VERIFY_WITH_TIMEOUT(statistics(window.grab(), kBareStrip).deviation > 0.05, kReactMs);

    // Closing the window while full screen ends the program, full screen and all.
    window.click(kBareStrip.center(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(otherWindow(program, window).isValid(), kReactMs);
    QCOMPARE(inhibits.held(), 0); // still paused
    XWindow::key(QStringLiteral("space"));
    QTRY_COMPARE_WITH_TIMEOUT(inhibits.held(), 1, kReactMs);
    QVERIFY(window.requestClose());
    QVERIFY(program.process().waitForFinished(kReactMs));
    QCOMPARE(program.process().exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(inhibits.held(), 0, kReactMs); // released, or dropped as it left the bus
    QVERIFY2(!program.errors().contains("Marrowlark:"), program.errors().constData());
}

QTEST_GUILESS_MAIN(TestFullScreen)
#include "tst_fullscreen.moc"
