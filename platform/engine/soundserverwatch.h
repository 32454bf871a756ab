#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

/**
 * @file
 * Bringing the sound back when the sound server returns.
 *
 * When the sound server goes away (a restart after an update, a crash, a change of device) the
 * engine falls back to its null output and plays on silently; it does the same for a file opened
 * while no server runs. It never tries the server again by itself while the output stays open,
 * and a file that replaces a playing one keeps that open output: without help, every file stays
 * silent until the player goes idle.
 *
 * The watch is told which output the engine uses and whether playback is paused. While a file
 * plays on the null output, it asks once a second whether a sound server answers
 * (soundServerAnswers()); when one does that did not before, it emits serverReturned(), and the
 * engine reopens its output there. So the sound comes back at most about a second after the
 * server's return. A server that answers but still gives no output is not asked again until it
 * has gone away and come back.
 *
 * Costs: nothing while the output is a real one, while paused and while nothing plays (no timer
 * runs then); while a file plays silently, one wakeup a second with a connect() per socket.
 *
 * Threads: every member belongs to the thread of the object (the GUI thread), and serverReturned()
 * is emitted there, from the event loop or from inside outputChanged() and pausedChanged().
 * Errors: none; a server that cannot be reached simply does not answer.
 */
class SoundServerWatch final : public QObject {
    Q_OBJECT

public:
    explicit SoundServerWatch(QObject* parent = nullptr);

    /// The engine's output is now @p name: "null" for its silent one, empty while none is open.
    void outputChanged(const QByteArray& name);
    void pausedChanged(bool paused);

signals:
    /// A sound server answers while the output is silent: reopen the output.
    void serverReturned();

private:
    void follow();
    void check();

    QTimer m_retry;
    bool m_silent = false;
    bool m_paused = false;
    /// Whether a server answered at the last look; only a change to answering counts.
    bool m_answered = false;
    /// Whether serverReturned() was emitted and the engine has not yet found a real output.
    bool m_reopening = false;
};
