// Real sound through the suite's sound server: what the window plays reaches the sink under the
// program's name, mute silences it, and destroying the window ends the stream at once. (The real
// program closed while playing is tested with the whole program, in tests/system.)

#include "enginemedia.h"
#include "filelistbox.h"
#include "form1.h"
#include "glyphbutton.h"
#include "mpvplayer.h"
#include "startup.h"
#include "testfolder.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <clocale>
#include <cmath>
#include <numbers>

namespace {

constexpr int kTimeout = 15000;
constexpr int kSampleRate = 16000;
constexpr int kWindowSamples = kSampleRate / 4; // analyse the last quarter second

QString run(const QString& program, const QStringList& arguments, bool* ok = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    const bool finished =
        process.waitForFinished(kTimeout) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (ok) {
        *ok = finished;
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The sound server's streams of one process: "application.name" of each, one a stream.
QStringList streamsOf(qint64 pid)
{
    const QString listing = run(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("sink-inputs")});
    QStringList names;
    for (const QString& stream : listing.split(QStringLiteral("Sink Input #"), Qt::SkipEmptyParts)) {
        if (!stream.contains(QStringLiteral("application.process.id = \"%1\"").arg(pid))) {
            continue;
        }
        const QRegularExpressionMatch name =
            QRegularExpression(QStringLiteral("application\\.name = \"([^\"]*)\"")).match(stream);
        names.append(name.hasMatch() ? name.captured(1) : QString());
    }
    return names;
}

// Records the sink's monitor as 16-bit mono samples for as long as it lives.
class SinkRecorder {
public:
    SinkRecorder()
    {
        m_process.start(QStringLiteral("parec"),
                        {QStringLiteral("-d"), QStringLiteral("marrowlark_test_sink.monitor"),
                         QStringLiteral("--format=s16le"), QStringLiteral("--rate=%1").arg(kSampleRate),
                         QStringLiteral("--channels=1"), QStringLiteral("--latency-msec=20")});
    }
    ~SinkRecorder()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    bool started() { return m_process.waitForStarted(kTimeout); }

    // The last quarter second, or fewer samples while the recording is younger.
    std::vector<double> latest()
    {
        m_bytes += m_process.readAllStandardOutput();
        const qsizetype available = m_bytes.size() / 2;
        const qsizetype count = std::min<qsizetype>(available, kWindowSamples);
        std::vector<double> samples(static_cast<size_t>(count));
        const auto* data = reinterpret_cast<const qint16*>(m_bytes.constData());
        for (qsizetype i = 0; i < count; ++i) {
            samples[size_t(i)] = data[available - count + i] / 32768.0;
        }
        return samples;
    }

private:
    QProcess m_process;
    QByteArray m_bytes;
};

// The power of one frequency in the samples (Goertzel, with a Hann window against leakage).
double powerAt(const std::vector<double>& samples, double hertz)
{
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * hertz / kSampleRate);
    double previous = 0;
    double beforePrevious = 0;
    const double n = double(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / (n - 1));
        const double current = samples[i] * hann + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    return previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
}

double peak(const std::vector<double>& samples)
{
    double highest = 0;
    for (const double sample : samples) {
        highest = std::max(highest, std::abs(sample));
    }
    return highest;
}

// A full quarter second in which 440 Hz stands far above every other tested frequency.
bool hears440(const std::vector<double>& samples)
{
    if (samples.size() < size_t(kWindowSamples) || peak(samples) < 0.002) {
        return false;
    }
    const double tone = powerAt(samples, 440);
    for (const double other : {220.0, 330.0, 370.0, 520.0, 660.0, 880.0, 1000.0, 2000.0}) {
        if (powerAt(samples, other) * 100 > tone) {
            return false;
        }
    }
    return true;
}

bool isSilent(const std::vector<double>& samples)
{
    return samples.size() >= size_t(kWindowSamples) && peak(samples) < 0.0005;
}

} // namespace

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
    bool reachable = false;
    run(QStringLiteral("pactl"), {QStringLiteral("info")}, &reachable);
    if (!reachable) {
        QSKIP("No sound server is reachable (run the suite with scripts/run-tests.sh, which starts one).");
    }
    m_media.addFile("tone.ogg", testmedia::tone("ogg", 440, 5));
}

void TestSound::windowPlaysToneIntoTheSinkUntilDestroyed()
{
    SinkRecorder recorder;
    QVERIFY(recorder.started());
    QTRY_VERIFY_WITH_TIMEOUT(isSilent(recorder.latest()), kTimeout);

    std::unique_ptr<Form1> form = createMainWindow();
    form->show();
    form->text1()->setText(m_media.path());
    form->file1()->setCurrentIndex(form->file1()->model()->index(0, 0));
    QCOMPARE(form->file1()->fileName(), QStringLiteral("tone.ogg"));
    form->command1()->click();
    QTRY_COMPARE_WITH_TIMEOUT(form->windowTitle(), QStringLiteral("tone.ogg"), kTimeout);

    QTRY_VERIFY_WITH_TIMEOUT(hears440(recorder.latest()), kTimeout);
    const qint64 pid = QCoreApplication::applicationPid();
    QCOMPARE(streamsOf(pid), QStringList{"Marrowlark"});

    // Mute goes through the engine to the sound itself, and back.
    auto* player = static_cast<MpvPlayer*>(form->windowsMediaPlayer1());
    QAction* mute = player->contextMenu()->actions().at(3);
    QCOMPARE(mute->text(), QStringLiteral("Mute"));
    mute->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(isSilent(recorder.latest()), kTimeout);
    mute->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(hears440(recorder.latest()), kTimeout);

    form.reset();
    QTRY_COMPARE_WITH_TIMEOUT(streamsOf(pid), QStringList(), kTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(isSilent(recorder.latest()), kTimeout);
}

QTEST_MAIN(TestSound)
#include "tst_sound.moc"
