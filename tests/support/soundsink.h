#pragma once

#include <QList>
#include <QProcess>
#include <QString>

/**
 * @file
 * The suite's sound server as the tests hear it: the streams playing into it and the sound on
 * its null sink `marrowlark_test_sink`. scripts/run-tests.sh starts the server and names it in
 * PULSE_SERVER. Everything here belongs to the thread that made it; the readings run the sound
 * server's tools synchronously and never wait for the program under test to react: tests poll
 * them with QTRY_* and a deadline.
 */

/// True when the suite's sound server and its null sink answer.
bool testSinkAvailable();

/// One stream playing into the sound server.
struct SinkInput {
    int index = -1;
    bool corked = false;
    qint64 pid = 0;
    QString application;
};
QList<SinkInput> sinkInputs();
/// The streams of process @p pid.
QList<SinkInput> sinkInputsOf(qint64 pid);
/// True when there are streams and every one of them is paused (corked).
bool allCorked(const QList<SinkInput>& inputs);

/// The sound on the test sink, recorded from its monitor while this object lives; the samples
/// arrive through the event loop. A silent stream of its own keeps the sink running, so that
/// silence is recorded as zeros rather than as no data at all.
class SinkRecorder {
public:
    static constexpr int kRate = 44100;

    SinkRecorder();
    ~SinkRecorder();
    SinkRecorder(const SinkRecorder&) = delete;
    SinkRecorder& operator=(const SinkRecorder&) = delete;

    bool isRecording() const;
    /// Seconds recorded so far.
    double seconds() const;
    /// True when the last @p milliseconds hold a clear tone at @p hertz. False while fewer have
    /// been recorded.
    bool toneHeard(int hertz = 440, int milliseconds = 200) const;
    /// True when the last @p milliseconds hold nothing audible. False while fewer have been
    /// recorded.
    bool silent(int milliseconds = 300) const;
    /// Root-mean-square level of the last @p milliseconds, full scale 1.
    double level(int milliseconds) const;

private:
    QList<qint16> lastSamples(int milliseconds) const;

    QProcess m_keepAlive;
    QProcess m_recorder;
    QList<qint16> m_samples;
    QByteArray m_partial;
};
