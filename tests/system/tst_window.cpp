// The real program's window as the X server shows it: title, size, fixed size hints, the first
// picture, and that nothing on the command line changes any of it.

#include "systemsupport.h"

#include <QFile>
#include <QTest>

using namespace SystemTest;

namespace {

bool isBare(const QImage& picture, const QRect& area)
{
    const AreaStatistics strip = statistics(picture, kBareStrip);
    const AreaStatistics inside = statistics(picture, area);
    return qAbs(inside.mean - strip.mean) < 0.02 && inside.deviation < 0.02;
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void windowAsDesigned();
    void argumentsChangeNothing_data();
    void argumentsChangeNothing();
    void twoCopiesRunAtOnce();

private:
    QString m_work;
    QString m_startFolder;
    QString m_tone;
    QImage m_designPicture;
};

void TestWindow::initTestCase()
{
    if (testDisplay().isEmpty()) {
        QSKIP("needs the suite's private X server: run through scripts/run-tests.sh");
    }
    m_work = workFolder(QStringLiteral("window"));
    m_startFolder = m_work + QStringLiteral("/start");
    QVERIFY(QDir().mkpath(m_startFolder));
    for (const char* name : {"alpha.txt", "Beta track2.txt", "beta track10.txt"}) {
        QFile file(m_startFolder + u'/' + QLatin1String(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    m_tone = m_startFolder + QStringLiteral("/tone.wav");
    QVERIFY(makeTone(m_tone, 3));
}

void TestWindow::init()
{
    XWindow::parkPointer();
}

void TestWindow::windowAsDesigned()
{
    Program program(m_startFolder);
    const XWindow window = program.waitForWindow();
    QVERIFY(window.isValid());
    const QImage picture = settledGrab(window, listing(4)); // the start folder's files
    QVERIFY2(!picture.isNull(), "the start folder's four files are not listed");
    picture.save(m_work + QStringLiteral("/design.png"));

    QCOMPARE(window.caption(), QStringLiteral("Marrowlark"));
    QCOMPARE(window.geometry().size(), kClientSize);
    QCOMPARE(window.minimumSize(), kClientSize);
    QCOMPARE(window.maximumSize(), kClientSize);
    QCOMPARE(picture.size(), kClientSize);
    QVERIFY2(isBare(picture, kTransportButton), "a transport button shows before anything plays");
    m_designPicture = picture;
}

void TestWindow::argumentsChangeNothing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("reverse") << QStringList{"-reverse"};
    QTest::newRow("style fusion") << QStringList{"-style", "fusion"};
    QTest::newRow("style windows") << QStringList{"-style", "windows"};
    QTest::newRow("platform offscreen") << QStringList{"-platform", "offscreen"};
    QTest::newRow("a file to play") << QStringList{m_tone};
    QTest::newRow("all at once") << QStringList{"-reverse", "-style", "windows", m_tone, "-platform", "offscreen"};
}

void TestWindow::argumentsChangeNothing()
{
    QFETCH(QStringList, arguments);
    if (m_designPicture.isNull()) {
        QSKIP("windowAsDesigned gave no picture to compare with");
    }
    Program program(m_startFolder, arguments);
    const XWindow window = program.waitForWindow();
    QVERIFY2(window.isValid(), "no window appeared on the X server");
    const QImage picture = settledGrab(window, [this](const QImage& shown) { return shown == m_designPicture; });
    window.grab().save(m_work + u'/' + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-') +
                       QStringLiteral(".png"));

    QCOMPARE(window.caption(), QStringLiteral("Marrowlark"));
    QCOMPARE(window.geometry().size(), kClientSize);
    QCOMPARE(window.minimumSize(), kClientSize);
    QVERIFY2(!picture.isNull(), "the first picture differs from the one without arguments");
    QVERIFY(sinkInputsOf(program.pid()).isEmpty());
}

void TestWindow::twoCopiesRunAtOnce()
{
    Program first(m_startFolder);
    Program second(m_startFolder);
    const XWindow firstWindow = first.waitForWindow();
    const XWindow secondWindow = second.waitForWindow();
    QVERIFY(firstWindow.isValid());
    QVERIFY(secondWindow.isValid());
    QVERIFY(firstWindow.id() != secondWindow.id());
    QCOMPARE(secondWindow.caption(), QStringLiteral("Marrowlark"));
    QCOMPARE(secondWindow.geometry().size(), kClientSize);

    // Independent: closing one leaves the other running with its window.
    QVERIFY(firstWindow.requestClose());
    QVERIFY(first.process().waitForFinished(kReactMs));
    QCOMPARE(first.process().exitCode(), 0);
    QVERIFY(second.isRunning());
    QCOMPARE(second.findWindow().id(), secondWindow.id());
}

QTEST_GUILESS_MAIN(TestWindow)
#include "tst_window.moc"
