#include "soundsink.h"

#include "tool.h"

#include <cmath>
#include <numbers>

namespace {

const QString kSink = QStringLiteral("marrowlark_test_sink");

// The value of a line such as `application.name = "Marrowlark"`.
QString quotedValue(const QString& line)
{
    const qsizetype first = line.indexOf(u'"');
    const qsizetype last = line.lastIndexOf(u'"');
    return first < 0 || last <= first ? QString() : line.mid(first + 1, last - first - 1);
}

// Energy of @p samples at @p hertz as a share of their whole energy: near 1 for a pure tone
// at that pitch, near 0 for other sounds (Goertzel's single-bin transform).
double toneShare(const QList<qint16>& samples, int hertz, int rate)
{
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * hertz / rate);
    double previous = 0;
    double beforePrevious = 0;
    double energy = 0;
    for (const qint16 sample : samples) {
        const double current = sample + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
        energy += double(sample) * sample;
    }
    if (energy == 0) {
        return 0;
    }
    const double power =
        previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
    return 2 * power / (double(samples.size()) * energy);
}

} // namespace

bool testSinkAvailable()
{
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        return false;
    }
    const ToolResult sinks = runTool(QStringLiteral("pactl"), {"list", "sinks", "short"});
    return sinks.ok() && sinks.output.contains(kSink.toUtf8());
}

QList<SinkInput> sinkInputs()
{
    QList<SinkInput> inputs;
    const QString listing = QString::fromUtf8(runTool(QStringLiteral("pactl"), {"list", "sink-inputs"}).output);
    for (const QString& rawLine : listing.split(u'\n')) {
        const QString line = rawLine.trimmed();
        if (line.startsWith(QLatin1String("Sink Input #"))) {
            inputs.append(SinkInput{line.mid(12).toInt(), false, 0, {}});
        } else if (inputs.isEmpty()) {
            continue;
        } else if (line.startsWith(QLatin1String("Corked:"))) {
            inputs.last().corked = line.endsWith(QLatin1String("yes"));
        } else if (line.startsWith(QLatin1String("application.process.id = "))) {
            inputs.last().pid = quotedValue(line).toLongLong();
        } else if (line.startsWith(QLatin1String("application.name = "))) {
            inputs.last().application = quotedValue(line);
        }
    }
    return inputs;
}

QList<SinkInput> sinkInputsOf(qint64 pid)
{
    QList<SinkInput> inputs = sinkInputs();
    inputs.removeIf([pid](const SinkInput& input) { return input.pid != pid; });
    return inputs;
}

bool allCorked(const QList<SinkInput>& inputs)
{
    return !inputs.isEmpty() && std::all_of(inputs.begin(), inputs.end(), [](const SinkInput& s) { return s.corked; });
}

SinkRecorder::SinkRecorder()
{
    const QStringList format = {"--raw", "--format=s16le", QStringLiteral("--rate=%1").arg(kRate), "--channels=1"};
    m_keepAlive.setProcessEnvironment(toolEnvironment());
    m_keepAlive.start(QStringLiteral("pacat"),
                      QStringList{"--playback", "--device=" + kSink, "--client-name=marrowlark-tests-silence"} +
                          format + QStringList{"/dev/zero"});
    m_recorder.setProcessEnvironment(toolEnvironment());
    QObject::connect(&m_recorder, &QProcess::readyReadStandardOutput, [this] {
        m_partial += m_recorder.readAllStandardOutput();
        const qsizetype whole = m_partial.size() / 2 * 2;
        const auto* samples = reinterpret_cast<const qint16*>(m_partial.constData());
        m_samples.append(QList<qint16>(samples, samples + whole / 2));
        m_partial.remove(0, whole);
    });
    m_recorder.start(QStringLiteral("parec"),
                     QStringList{"--device=" + kSink + ".monitor", "--latency-msec=20"} + format);
    m_keepAlive.waitForStarted();
    m_recorder.waitForStarted();
}

SinkRecorder::~SinkRecorder()
{
    for (QProcess* process : {&m_recorder, &m_keepAlive}) {
        process->disconnect();
        process->kill();
        process->waitForFinished();
    }
}

bool SinkRecorder::isRecording() const
{
    return m_keepAlive.state() == QProcess::Running && m_recorder.state() == QProcess::Running;
}

double SinkRecorder::seconds() const
{
    return double(m_samples.size()) / kRate;
}

QList<qint16> SinkRecorder::lastSamples(int milliseconds) const
{
    const qsizetype count = qsizetype(kRate) * milliseconds / 1000;
    return m_samples.size() < count ? QList<qint16>() : m_samples.last(count);
}

double SinkRecorder::level(int milliseconds) const
{
    const QList<qint16> samples = lastSamples(milliseconds);
    if (samples.isEmpty()) {
        return 0;
    }
    double energy = 0;
    for (const qint16 sample : samples) {
        energy += double(sample) * sample;
    }
    return std::sqrt(energy / double(samples.size())) / 32768;
}

bool SinkRecorder::toneHeard(int hertz, int milliseconds) const
{
    // -50 dB. At the player's volume a tone of 0.8 full scale arrives near 0.07, ffmpeg's default
    // sine (an eighth) near 0.011.
    constexpr double kAudible = 0.003;
    constexpr double kClearShare = 0.5;
    const QList<qint16> samples = lastSamples(milliseconds);
    return !samples.isEmpty() && level(milliseconds) > kAudible && toneShare(samples, hertz, kRate) > kClearShare;
}

bool SinkRecorder::silent(int milliseconds) const
{
    constexpr double kInaudible = 0.001; // -60 dB
    return !lastSamples(milliseconds).isEmpty() && level(milliseconds) < kInaudible;
}
