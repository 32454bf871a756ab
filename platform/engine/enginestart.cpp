#include "enginestart.h"

#include "enginerelease.h"
#include "mpvengine.h"
#include "mpvlibrary.h"
#include "programerror.h"
#include "soundcookie.h"

#include <QThread>

#include <utility>

EngineStart::EngineStart(QString engineLibrary, QObject* parent)
    : QObject(parent)
    , m_engineLibrary(std::move(engineLibrary))
{
}

EngineStart::~EngineStart()
{
    if (m_starter.joinable()) {
        m_starter.join();
    }
    if (holdsOn()) {
        letGo();
    }
}

bool EngineStart::holdsOn() const
{
    const std::optional<qint64> unanswered = m_engine ? m_engine->unansweredForMs() : std::nullopt;
    return unanswered && *unanswered >= kGiveUpMs;
}

void EngineStart::begin()
{
    if (m_phase != Phase::NotStarted) {
        return;
    }
    keepSoundCookieUnwritten(); // before any thread of the engine reads the environment
    startThread();
}

void EngineStart::startThread()
{
    m_phase = Phase::Starting;
    if (m_starter.joinable()) {
        m_starter.join(); // the start of the engine given up, long finished
    }
    QThread* guiThread = thread();
    m_starter = std::thread([this, guiThread] {
        try {
            auto engine = std::make_unique<MpvEngine>(loadMpvLibrary(m_engineLibrary));
            engine->moveToThread(guiThread);
            m_startedEngine = std::move(engine);
        } catch (const ProgramError& error) {
            m_error = error.message();
        }
        // Errors of the calls kept until now go to the report, not through Qt's queued-call code.
        QMetaObject::invokeMethod(this, reportingErrors([this] { finish(); }), Qt::QueuedConnection);
    });
}

void EngineStart::finish()
{
    if (m_phase != Phase::Starting) {
        return;
    }
    m_starter.join(); // after this the starter's results may be read
    m_engine = std::move(m_startedEngine);
    m_phase = m_engine ? Phase::Ready : Phase::Failed;
    std::vector<std::function<void()>> calls;
    calls.swap(m_keptCalls);
    if (m_engine) {
        m_engine->attach();
    }
    emit started(m_engine != nullptr);
    if (!m_engine) {
        if (!calls.empty()) {
            throw ProgramError(m_error);
        }
        return;
    }
    m_engine->drainEvents();
    for (const auto& call : calls) {
        call();
    }
}

bool EngineStart::keepUntilReady(std::function<void()> call)
{
    switch (m_phase) {
    case Phase::Ready:
        return false;
    case Phase::Failed:
        throw ProgramError(m_error);
    case Phase::NotStarted:
        begin(); // a call before any input, or to a player that is never shown
        break;
    case Phase::Starting:
        break;
    }
    m_keptCalls.push_back(std::move(call));
    return true;
}

bool EngineStart::replace()
{
    if (m_phase != Phase::Ready || !m_engine || EngineRelease::underWay() >= EngineRelease::kMaxReleasesUnderWay) {
        return false;
    }
    MpvEngine* old = giveUp().release();
    old->setParent(this); // goes with this object at the latest
    old->deleteLater();
    startThread();
    return true;
}

void EngineStart::letGo()
{
    if (m_engine) {
        giveUp().reset();
    }
    // A call after this is refused like one without an engine, rather than reaching none.
    m_phase = Phase::Failed;
    m_error = QStringLiteral("The media engine has been released.");
}

std::unique_ptr<MpvEngine> EngineStart::giveUp()
{
    m_engine->disconnect(); // none of its signals reaches the player any more
    EngineRelease::begin(m_engine->detach());
    return std::move(m_engine);
}
