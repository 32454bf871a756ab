// Hostile names and hostile media with the real player: each listed name is played as exactly
// that file or refused as missing; a file that cannot be played leaves the caption at
// "Marrowlark" with no transport button, and the next good file plays.
#include "filelistbox.h"
#include "glyphbutton.h"
#include "hostilesupport.h"
#include "pathcodec.h"
#include "playerfacade.h"
#include "startup.h"
#include "testfolder.h"
#include "unprivileged.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QRandomGenerator>
#include <QtEndian>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Hostile;

namespace {

constexpr int kEngineTimeoutMs = 30000; // generous for a sanitized build on a busy machine

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

QByteArray le32(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray be32(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(value, bytes.data());
    return bytes;
}

// A WAV header whose every size and rate is as large as the fields allow.
QByteArray hugeWavHeader()
{
    return "RIFF" + le32(0xFFFFFFFF) + "WAVEfmt " + le32(16) + QByteArray("\x01\x00\xff\xff", 4) + le32(0xFFFFFFFF) +
           le32(0xFFFFFFFF) + QByteArray("\xff\xff\x40\x00", 4) + "data" + le32(0xFFFFFFFF) + randomBytes(4096, 7);
}

// An MP4 whose movie box claims 2^64 - 16 bytes.
QByteArray hugeMp4Box()
{
    return be32(20) + "ftypisom" + be32(0x200) + "isom" + be32(1) + "moov" + QByteArray::fromHex("fffffffffffffff0") +
           be32(0xFFFFFFF0) + "trak" + randomBytes(1024, 8);
}

// A PNG that claims 16000 x 16000 pixels of RGBA and then ends.
QByteArray hugePngHeader()
{
    QByteArray chunk = "IHDR" + be32(16000) + be32(16000) + QByteArray("\x08\x06\x00\x00\x00", 5);
    const quint32 crc = [&] {
        quint32 value = 0xFFFFFFFF;
        for (const char byte : chunk) {
            value ^= quint8(byte);
            for (int k = 0; k < 8; ++k) {
                value = (value >> 1) ^ (0xEDB88320 & (0 - (value & 1)));
            }
        }
        return ~value;
    }();
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + be32(13) + chunk + be32(crc) + be32(64) + "IDAT" + randomBytes(64, 9);
}

} // namespace

class TestHostilePlayback : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void hostileNames_data();
    void hostileNames();
    void relativeFolderLikeAProtocol_data();
    void relativeFolderLikeAProtocol();
    void replacedByFifoOrFolderIsRefused_data();
    void replacedByFifoOrFolderIsRefused();
    void hostileMedia_data();
    void hostileMedia();
    void hourLongFilePlaysAndStopsAtOnce();
    void unreadableFile();
    void unprivileged();

private:
    PlayerFacade& player() const { return *m_form->windowsMediaPlayer1(); }
    void show(const QString& folder);
    void playName(const QString& name);
    void checkGoodFilePlays();
    bool idleWithoutButtons() const;

    std::unique_ptr<TestFolder> m_media;
    QByteArray m_tone;
    std::unique_ptr<Form1> m_form;
};

void TestHostilePlayback::initTestCase()
{
    m_media = std::make_unique<TestFolder>();
    const QString tone = m_media->path() + "/good.mp3";
    QVERIFY(makeTone(tone, 30)); // outlasts the checks while it plays
    QFile file(tone);
    QVERIFY(file.open(QIODevice::ReadOnly));
    m_tone = file.readAll();
}

void TestHostilePlayback::init()
{
    m_form = createMainWindow();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestHostilePlayback::cleanup()
{
    m_form.reset();
}

void TestHostilePlayback::show(const QString& folder)
{
    paste(*m_form, folder);
    QCOMPARE(m_form->file1()->path(), folder);
}

void TestHostilePlayback::playName(const QString& name)
{
    QVERIFY2(select(*m_form, name), qPrintable(displayFileName(name)));
    pressEnter(*m_form);
}

bool TestHostilePlayback::idleWithoutButtons() const
{
    return m_form->windowTitle() == QStringLiteral("Marrowlark") && !m_form->command2()->isVisible() &&
           !m_form->command3()->isVisible();
}

void TestHostilePlayback::checkGoodFilePlays()
{
    show(m_media->path());
    playName(QStringLiteral("good.mp3"));
    QTRY_COMPARE_WITH_TIMEOUT(m_form->windowTitle(), QStringLiteral("good.mp3"), kEngineTimeoutMs);
    QTRY_VERIFY(m_form->command3()->isVisible());
    QCOMPARE(player().playState(), PlayStatePlaying);
}

void TestHostilePlayback::hostileNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("newline") << QByteArray("two\nlines.mp3");
    QTest::newRow("carriage return and tab") << QByteArray("cr\rtab\t.mp3");
    QTest::newRow("invalid UTF-8") << QByteArray("\xff\xfe\x80.mp3");
    QTest::newRow("truncated UTF-8 sequence") << QByteArray("caf\xc3.mp3");
    QTest::newRow("255 bytes") << QByteArray(251, 'n') + ".mp3";
    QTest::newRow("255 bytes of two-byte characters") << QByteArray("\xc3\xa9").repeated(125) + "x.mp3";
    QTest::newRow("leading -") << QByteArray("-x.mp3");
    QTest::newRow("just -") << QByteArray("-");
    QTest::newRow("av: prefix") << QByteArray("av:lavfi:sine.mp3");
    QTest::newRow("edl: prefix") << QByteArray("edl:good.mp3,0,1");
    QTest::newRow("memory: prefix") << QByteArray("memory:hello");
    QTest::newRow("http: prefix") << QByteArray("http:127.0.0.1:9");
    QTest::newRow("file: prefix") << QByteArray("file:x.mp3");
    QTest::newRow("lavfi: prefix") << QByteArray("lavfi:x");
    QTest::newRow("percent escapes") << QByteArray("a%20b%25.mp3");
    QTest::newRow("star") << QByteArray("*.mp3");
    QTest::newRow("question mark") << QByteArray("?.mp3");
    QTest::newRow("bracket") << QByteArray("[ab].mp3");
    QTest::newRow("emoji U+1F480") << QByteArray("\xf0\x9f\x92\x80.mp3");
    QTest::newRow("leading U+FEFF") << QByteArray("\xef\xbb\xbf"
                                                  "bom.mp3");
    QTest::newRow("spaces only") << QByteArray("   ");
}

void TestHostilePlayback::hostileNames()
{
    QFETCH(QByteArray, name);
    TestFolder folder;
    folder.addFile(name, m_tone);
    const QString decoded = decodeFileName(name);
    show(folder.path());

    playName(decoded);
    QTRY_COMPARE_WITH_TIMEOUT(m_form->windowTitle(), decoded, kEngineTimeoutMs);
    QVERIFY(m_form->command3()->isVisible());
    QCOMPARE(player().playState(), PlayStatePlaying);
    QCOMPARE(player().url(), folder.path() + '/' + decoded);
    QVERIFY2(processHasOpen(folder.pathBytes() + '/' + name), "the engine has not opened exactly that file");
    folder.remove(name); // by its bytes: the temporary folder cannot remove names that are not UTF-8
}

void TestHostilePlayback::relativeFolderLikeAProtocol_data()
{
    // Typed as a relative folder, "<scheme>:" makes the composed path "<scheme>://name": a URL to
    // the engine unless it is handed over as an absolute path.
    QTest::addColumn<QString>("scheme");
    QTest::newRow("av:") << "av:";
    QTest::newRow("edl:") << "edl:";
    QTest::newRow("memory:") << "memory:";
    QTest::newRow("http:") << "http:";
    QTest::newRow("lavfi:") << "lavfi:";
}

void TestHostilePlayback::relativeFolderLikeAProtocol()
{
    QFETCH(QString, scheme);
    TestFolder here;
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(here.path()));
    here.addFolder(scheme.toUtf8());
    here.addFile((scheme + "/good.mp3").toUtf8(), m_tone);
    paste(*m_form, scheme + '/');
    QVERIFY(select(*m_form, QStringLiteral("good.mp3")));
    pressEnter(*m_form);
    QTRY_COMPARE_WITH_TIMEOUT(m_form->windowTitle(), QStringLiteral("good.mp3"), kEngineTimeoutMs);
    QCOMPARE(player().url(), scheme + "//good.mp3");
    QVERIFY(processHasOpen(here.pathBytes() + '/' + scheme.toUtf8() + "/good.mp3"));
    QVERIFY(QDir::setCurrent(previous));
}

void TestHostilePlayback::replacedByFifoOrFolderIsRefused_data()
{
    QTest::addColumn<QByteArray>("replacement");
    QTest::newRow("FIFO") << QByteArray("fifo");
    QTest::newRow("link to a folder") << QByteArray("folder link");
    QTest::newRow("folder") << QByteArray("folder");
    QTest::newRow("dangling link") << QByteArray("dangling link");
}

void TestHostilePlayback::replacedByFifoOrFolderIsRefused()
{
    // None of these is ever listed; a listed file that turns into one between listing and choosing
    // is refused as missing, without opening it (opening a FIFO would block until a writer comes).
    QFETCH(QByteArray, replacement);
    TestFolder folder;
    folder.addFolder("sub");
    folder.addFile("sub/inside.mp3", m_tone);
    folder.addFile("x.mp3", m_tone);
    show(folder.path());
    QVERIFY(select(*m_form, "x.mp3"));
    folder.remove("x.mp3");
    if (replacement == "fifo") {
        folder.addFifo("x.mp3");
    } else if (replacement == "folder link") {
        folder.addLink("x.mp3", "sub");
    } else if (replacement == "folder") {
        folder.addFolder("x.mp3");
    } else {
        folder.addLink("x.mp3", "nowhere");
    }

    pressEnter(*m_form);
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Marrowlark"));
    QCOMPARE(player().url(), QString());
    QCOMPARE(m_form->file1()->model()->rowCount(), 0);
    QVERIFY(!processHasOpen(folder.pathBytes() + "/x.mp3"));
    checkGoodFilePlays();
}

void TestHostilePlayback::hostileMedia_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("contents");
    QTest::newRow("empty") << QByteArray("empty.mp3") << QByteArray();
    QTest::newRow("one byte") << QByteArray("one.mp4") << QByteArray("\x00", 1);
    QTest::newRow("truncated mp3") << QByteArray("short.mp3") << m_tone.left(600);
    QTest::newRow("random bytes as mp3") << QByteArray("random.mp3") << randomBytes(200000, 1);
    QTest::newRow("random bytes as mp4") << QByteArray("random.mp4") << randomBytes(200000, 2);
    QTest::newRow("WAV header claiming 4 GiB at 4 GHz") << QByteArray("huge.wav") << hugeWavHeader();
    QTest::newRow("MP4 box claiming 2^64 bytes") << QByteArray("huge.mp4") << hugeMp4Box();
    QTest::newRow("PNG claiming 16000x16000") << QByteArray("huge.png") << hugePngHeader();
    QTest::newRow("playlist to a network address")
        << QByteArray("netlist.mp3") << QByteArray("#EXTM3U\nhttp://127.0.0.1:9/x.mp3\n");
    QTest::newRow("stream playlist to a network address")
        << QByteArray("hls.m3u8")
        << QByteArray("#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\nhttp://127.0.0.1:9/seg0.ts\n#EXT-X-ENDLIST\n");
    QTest::newRow("playlist to a local file") << QByteArray("local.m3u") << QByteArray("#EXTM3U\n/etc/passwd\n");
    QTest::newRow("edit list text") << QByteArray("cut.mp3") << QByteArray("# mpv EDL v0\n/etc/hostname,0,1\n");
    QTest::newRow("text") << QByteArray("notes.txt") << QByteArray("not media at all\n").repeated(100);
}

void TestHostilePlayback::hostileMedia()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, contents);
    TestFolder folder;
    folder.addFile(name, contents);
    show(folder.path());

    playName(QString::fromLatin1(name));
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Loading"));
    QTRY_VERIFY_WITH_TIMEOUT(idleWithoutButtons(), kEngineTimeoutMs);
    QVERIFY(player().playState() != PlayStatePlaying && player().playState() != PlayStatePaused);
    checkGoodFilePlays();
}

void TestHostilePlayback::hourLongFilePlaysAndStopsAtOnce()
{
    TestFolder folder;
    QVERIFY(ffmpeg(
        {"-f", "lavfi", "-i", "anullsrc=r=8000:cl=mono", "-t", "3600", "-c:a", "pcm_u8", folder.path() + "/hour.wav"}));
    show(folder.path());
    playName(QStringLiteral("hour.wav"));
    QTRY_COMPARE_WITH_TIMEOUT(m_form->windowTitle(), QStringLiteral("hour.wav"), kEngineTimeoutMs);
    QCOMPARE(player().playState(), PlayStatePlaying);

    // The player's own Stop, then playing again, then replacing it: each settles at once.
    QMenu* menu = player().findChild<QMenu*>(QStringLiteral("playerMenu"));
    QVERIFY(menu);
    const QList<QAction*> actions = menu->actions();
    const auto stop = std::find_if(actions.begin(), actions.end(), [](QAction* a) { return a->text() == "Stop"; });
    QVERIFY(stop != actions.end());
    (*stop)->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(idleWithoutButtons(), kEngineTimeoutMs);
    playName(QStringLiteral("hour.wav"));
    QTRY_COMPARE_WITH_TIMEOUT(m_form->windowTitle(), QStringLiteral("hour.wav"), kEngineTimeoutMs);
    checkGoodFilePlays();

    // Closing while it plays releases the engine at once, not at the file's end an hour later.
    show(folder.path());
    playName(QStringLiteral("hour.wav"));
    QTRY_COMPARE_WITH_TIMEOUT(m_form->windowTitle(), QStringLiteral("hour.wav"), kEngineTimeoutMs);
    QElapsedTimer timer;
    timer.start();
    m_form.reset();
    qInfo("window with an hour-long file playing destroyed in %lld ms", timer.elapsed());
    QVERIFY(timer.elapsed() < kEngineTimeoutMs);
}

void TestHostilePlayback::unreadableFile()
{
    runUnprivileged("unprivileged", [this] { unprivileged(); });
}

void TestHostilePlayback::unprivileged()
{
    if (geteuid() == 0) {
        QSKIP("runs as an ordinary user only: unreadableFile starts it so");
    }
    TestFolder folder;
    folder.addFile("locked.mp3", m_tone);
    QVERIFY(chmod((folder.pathBytes() + "/locked.mp3").constData(), 0) == 0);
    show(folder.path());
    const ReportSpy reports;
    playName(QStringLiteral("locked.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(idleWithoutButtons(), kEngineTimeoutMs);
    QCOMPARE(reports.count(), 0); // a file the engine cannot open is not an error of the window
    checkGoodFilePlays();
}

MARROWLARK_HOSTILE_MAIN(TestHostilePlayback)
#include "tst_hostileplayback.moc"
