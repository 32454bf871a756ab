#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

class MpvEngine;

/**
 * @file
 * Bringing the media engine up in the background, and the calls kept until it is up.
 *
 * Loading the engine's library and initialising the engine take about a tenth of a second and
 * some 35 MiB. begin() does both on a thread of its own, so the window never waits for them; a
 * call that needs the engine meanwhile is kept with keepUntilReady() and made, in order, once
 * the engine is up. No call ever waits for the engine, except engineNow(), which is for readings
 * that cannot be answered without it.
 *
 * Threads
 * -------
 * Every member belongs to the GUI thread, and started() is emitted there, from the event loop
 * (or from inside engineNow()). The start's own thread touches nothing but its results until it
 * ends, and they are read only after joining it.
 *
 * Errors
 * ------
 * When the engine cannot be brought up, engine() stays null, keepUntilReady() and engineNow()
 * raise ProgramError with the reason, and the calls kept from before are dropped: finishing the
 * start raises that error once, from the event loop, where it reaches the application's report.
 */
class EngineStart final : public QObject {
    Q_OBJECT

public:
    /// @p engineLibrary names the engine's shared library (see loadMpvLibrary()).
    explicit EngineStart(QString engineLibrary, QObject* parent = nullptr);
    /// Waits for a start still under way, then releases the engine.
    ~EngineStart() override;

    /// Begins bringing the engine up, unless it is up or on its way; returns at once.
    void begin();
    /// Whether the engine is up and every kept call has been made.
    bool isReady() const { return m_phase == Phase::Ready; }
    /// The engine once it is up; null before, and for good after a failed start.
    MpvEngine* engine() const { return m_engine.get(); }

    /**
     * False when the engine is up: the caller goes on and makes its call now. Otherwise keeps
     * @p call for when it is (beginning the start if need be) and answers true.
     * Raises ProgramError when the start has failed.
     */
    bool keepUntilReady(std::function<void()> call);

    /// The engine, brought up now if it is not up yet: waits for the start to end.
    /// Raises ProgramError when it cannot be brought up.
    MpvEngine& engineNow();

signals:
    /// The start has ended, @p ready or failed; emitted once, before the kept calls are made.
    void started(bool ready);

private:
    enum class Phase { NotStarted, Starting, Ready, Failed };

    void finish();

    QString m_engineLibrary;
    Phase m_phase = Phase::NotStarted;
    std::thread m_starter;
    std::unique_ptr<MpvEngine> m_startedEngine; ///< written by the starter, read after joining it
    QString m_error;                            ///< likewise
    std::vector<std::function<void()>> m_keptCalls;
    std::unique_ptr<MpvEngine> m_engine;
};
