#pragma once

#include "playerfacade.h"

#include <QStringList>

/**
 * A stand-in for the real player, for tests of the window's behaviour.
 *
 * It keeps the location and a state code and records every call ("setUrl <path>", "play",
 * "pause") in calls(). It never plays anything and never changes state by itself: the test
 * drives it with setState() (which emits playStateChange like the real player does after a
 * change) and failNextCall() (the next call raises ProgramError, as a refused engine call does).
 */
class FakePlayer final : public PlayerFacade {
    Q_OBJECT

public:
    using PlayerFacade::PlayerFacade;

    void setUrl(const QString& path) override;
    QString url() const override;
    std::unique_ptr<PlayerControls> controls() override;
    PlayState playState() const override;

    // Drivers.
    void setState(PlayState state);
    void failNextCall(const QString& message);
    QStringList calls() const { return m_calls; }
    void clearCalls() { m_calls.clear(); }
    int playStateReads() const { return m_stateReads; }

private:
    void record(const QString& call);

    QString m_url;
    PlayState m_state = PlayStateUndefined;
    QStringList m_calls;
    QString m_failure;
    mutable int m_stateReads = 0;
};
