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
 * Bringing the media engine up in the background, the calls kept until it is up, and giving an
 * engine up for a fresh one.
 *
 * Loading the engine's library and initialising the engine take about a tenth of a second and
 * some 35 MiB (a fresh engine once the library is loaded: a few milliseconds). begin() does both
 * on a thread of its own, so the window never waits for them; a call that needs the engine
 * meanwhile is kept with keepUntilReady() and made, in order, once the engine is up. No call ever
 * waits for the engine.
 *
 * An engine that holds on to a file whose reads hang (holdsOn()) is given up with replace(): it
 * is released on a thread of its own (enginerelease.h) and a fresh engine is brought up as at
 * the start, with the calls kept meanwhile. At most EngineRelease::kMaxReleasesUnderWay engines given up
 * may be held at once; past that replace() refuses, and the engine in use stays.
 *
 * Threads
 * -------
 * Every member belongs to the GUI thread, and started() is emitted there, from the event loop.
 * The start's own thread touches nothing but its results until it ends, and they are read only
 * after joining it.
 *
 * Errors
 * ------
 * When the engine cannot be brought up, engine() stays null, keepUntilReady() raises
 * ProgramError with the reason, and the calls kept from before are dropped: finishing the start
 * raises that error once, from the event loop, where it reaches the application's report.
 */
class EngineStart final : public QObject {
    Q_OBJECT

public:
    /// @p engineLibrary names the engine's shared library (see loadMpvLibrary()).
    explicit EngineStart(QString engineLibrary, QObject* parent = nullptr);
    /// How long the engine may leave its file unanswered before it counts as holding on to it.
    static constexpr int kGiveUpMs = 300;

    /// Waits for a start still under way (it never waits on a file), then releases the engine: on
    /// this thread, which stops playback at once, unless it holds on to a file (holdsOn()); then
    /// on a thread of its own, as letGo() does. At the end of the program, call letGo() first.
    ~EngineStart() override;

    /// Begins bringing the engine up, unless it is up or on its way; returns at once.
    void begin();
    /// Whether the engine is up and every kept call has been made.
    bool isReady() const { return m_phase == Phase::Ready; }
    /// The engine while it is up; null before, while a fresh one comes up, after letGo(), and for
    /// good after a failed start.
    MpvEngine* engine() const { return m_engine.get(); }
    /// Whether the engine is up and has left something about its file unanswered (its open, its
    /// data, or letting it go for another; enginewatch.h) for kGiveUpMs or more.
    bool holdsOn() const;

    /**
     * False when the engine is up: the caller goes on and makes its call now. Otherwise keeps
     * @p call for when it is (beginning the start if need be) and answers true.
     * Raises ProgramError when the start has failed.
     */
    bool keepUntilReady(std::function<void()> call);

    /**
     * Gives the engine in use up and begins bringing up a fresh one; returns at once. None of the
     * old engine's signals is emitted any more; it is released on a thread of its own, its object
     * destroyed from the event loop (this may be called from inside one of its reports). Calls
     * are kept from now on until the fresh engine is up, and started() tells when it is.
     * Returns false, changing nothing, while the engine is not up or
     * EngineRelease::kMaxReleasesUnderWay releases are still under way.
     */
    bool replace();

    /// Hands the engine to a thread of its own for release and returns at once: for the end of
    /// the program, which waits for the release only once its window and display are gone.
    /// engine() is null afterwards, nothing is brought up again, and keepUntilReady() raises
    /// ProgramError.
    void letGo();

signals:
    /// A start has ended, @p ready or failed; emitted once per start (the first, and each fresh
    /// engine's), before the kept calls are made.
    void started(bool ready);

private:
    enum class Phase { NotStarted, Starting, Ready, Failed };

    void startThread();
    void finish();
    /// Detaches the engine in use, its release begun, and returns its object, which reports nothing.
    std::unique_ptr<MpvEngine> giveUp();

    QString m_engineLibrary;
    Phase m_phase = Phase::NotStarted;
    std::thread m_starter;
    std::unique_ptr<MpvEngine> m_startedEngine; ///< written by the starter, read after joining it
    QString m_error;                            ///< likewise
    std::vector<std::function<void()>> m_keptCalls;
    std::unique_ptr<MpvEngine> m_engine;
};
