#include "fakeplayer.h"

#include "programerror.h"

#include <functional>
#include <utility>

namespace {

class FakeControls final : public PlayerControls {
public:
    explicit FakeControls(std::function<void(const QString&)> record)
        : m_record(std::move(record))
    {
    }
    void play() override { m_record(QStringLiteral("play")); }
    void pause() override { m_record(QStringLiteral("pause")); }

private:
    std::function<void(const QString&)> m_record;
};

} // namespace

void FakePlayer::setUrl(const QString& path)
{
    record(QStringLiteral("setUrl ") + path);
    m_url = path;
}

QString FakePlayer::url() const
{
    return m_url;
}

std::unique_ptr<PlayerControls> FakePlayer::controls()
{
    return std::make_unique<FakeControls>([this](const QString& call) { record(call); });
}

PlayState FakePlayer::playState() const
{
    ++m_stateReads;
    return m_state;
}

void FakePlayer::setState(PlayState state)
{
    m_state = state;
    emit playStateChange(state);
}

void FakePlayer::failNextCall(const QString& message)
{
    m_failure = message;
}

void FakePlayer::record(const QString& call)
{
    if (!m_failure.isEmpty()) {
        const QString message = std::exchange(m_failure, QString());
        throw ProgramError(message);
    }
    m_calls.append(call);
}
