#include "mpvmedia.h"

#include "enginestart.h"
#include "fullscreenview.h"
#include "mpvengine.h"
#include "pathcodec.h"
#include "playerfacade.h"
#include "playstatetracker.h"
#include "programerror.h"

#include <QFileInfo>

#include <algorithm>

namespace {

constexpr double kMicroseconds = 1e6;

QString tag(const MpvEngine& engine, const char* key)
{
    // By key, the engine matches tag names in any case: TITLE, Title and title alike.
    return QString::fromUtf8(engine.textBytes(QByteArray("metadata/by-key/").append(key).constData())).trimmed();
}

QStringList names(const QString& tagged)
{
    // Several artists come joined by ';' from most containers. '/' is not split: "AC/DC".
    QStringList split = tagged.split(u';', Qt::SkipEmptyParts);
    for (QString& name : split) {
        name = name.trimmed();
    }
    split.removeAll(QString());
    return split;
}

// The selected video track: none, a real video, or a picture embedded in a sound file.
enum class Picture { None, Video, Cover };

Picture selectedPicture(const MpvEngine& engine)
{
    const QVariantList tracks = engine.node("track-list").toList();
    for (const QVariant& entry : tracks) {
        const QVariantMap track = entry.toMap();
        if (track.value(QStringLiteral("type")) == QStringLiteral("video") &&
            track.value(QStringLiteral("selected")).toBool()) {
            return track.value(QStringLiteral("albumart")).toBool() ? Picture::Cover : Picture::Video;
        }
    }
    return Picture::None;
}

TrackInfo readTrack(const MpvEngine& engine, Picture picture)
{
    TrackInfo track;
    track.path = decodeFileName(engine.textBytes("path"));
    track.title = tag(engine, "title");
    if (track.title.isEmpty()) {
        track.title = displayFileName(QFileInfo(track.path).fileName());
    }
    track.artists = names(tag(engine, "artist"));
    track.album = tag(engine, "album");
    const std::optional<double> duration = engine.reading("duration");
    track.lengthUs = duration && *duration >= 0 ? qRound64(*duration * kMicroseconds) : -1;
    track.hasPicture = picture != Picture::None;
    return track;
}

} // namespace

MpvMedia::MpvMedia(const EngineStart& start, const PlayStateTracker& tracker, FullScreenView& view,
                   PlayerFacade& player)
    : PlayerMedia(&player)
    , m_start(start)
    , m_tracker(tracker)
    , m_view(view)
    , m_player(player)
{
    setObjectName(QStringLiteral("playerMedia"));
    connect(&player, &PlayerFacade::playStateChange, this, &MpvMedia::onPlayStateChange);
    connect(&view, &FullScreenView::leaveRequested, this, reportingErrors([this] { setFullScreen(false); }));
    connect(&view, &FullScreenView::seekRequested, this,
            [this](qint64 offsetUs) { reportingErrors([this, offsetUs] { seekBy(offsetUs); })(); });
}

MpvEngine* MpvMedia::engine() const
{
    return m_start.isReady() ? m_start.engine() : nullptr;
}

void MpvMedia::connectEngine(MpvEngine& engine)
{
    // What was under way belonged to an engine given up.
    m_seeking = false;
    m_seekAnswersDue = 0;
    m_coverDue = false;
    connect(&engine, &MpvEngine::fileLoaded, this, &MpvMedia::onFileLoaded);
    connect(&engine, &MpvEngine::seekStarted, this, [this] { m_seeking = m_track.serial != 0; });
    connect(&engine, &MpvEngine::playbackRestarted, this, &MpvMedia::onPlaybackRestarted);
    connect(&engine, &MpvEngine::positionAnswered, this, &MpvMedia::onPositionAnswered);
    connect(&engine, &MpvEngine::frameReady, this, [this] {
        if (m_coverDue) {
            takeCover();
        }
    });
    if (m_fullScreen) {
        engine.setScaledToFit(true);
    }
}

qint64 MpvMedia::positionUs() const
{
    MpvEngine* engine = this->engine();
    if (engine == nullptr || m_track.serial == 0) {
        return 0;
    }
    return clampedUs(engine->position().value_or(0));
}

qint64 MpvMedia::clampedUs(double seconds) const
{
    const qint64 position = qRound64(seconds * kMicroseconds);
    return m_track.lengthUs < 0 ? std::max<qint64>(position, 0) : std::clamp<qint64>(position, 0, m_track.lengthUs);
}

void MpvMedia::seekBy(qint64 offsetUs)
{
    if (m_canSeek && engine() != nullptr) {
        engine()->seek(double(offsetUs) / kMicroseconds, MpvEngine::SeekMode::Relative);
    }
}

void MpvMedia::seekTo(qint64 positionUs)
{
    if (m_canSeek && engine() != nullptr) {
        // Clamped here: the engine reads a negative absolute position as counted from the end.
        const qint64 target = std::clamp<qint64>(positionUs, 0, m_track.lengthUs);
        engine()->seek(double(target) / kMicroseconds, MpvEngine::SeekMode::Absolute);
    }
}

void MpvMedia::setFullScreen(bool fullScreen)
{
    MpvEngine* engine = this->engine();
    if (fullScreen == m_fullScreen || engine == nullptr || (fullScreen && !m_track.hasPicture)) {
        return;
    }
    // Filling the screen takes scaling up, which the strip never does.
    engine->setScaledToFit(fullScreen);
    m_fullScreen = fullScreen;
    if (fullScreen) {
        m_view.enter(m_player.window()->screen());
    } else {
        m_view.leave();
    }
    announceFullScreen();
}

void MpvMedia::announceFullScreen()
{
    const bool fullScreen = m_fullScreen;
    QMetaObject::invokeMethod(
        this, [this, fullScreen] { emit fullScreenChanged(fullScreen); }, Qt::QueuedConnection);
}

qint64 MpvMedia::droppedFrames() const
{
    MpvEngine* engine = this->engine();
    if (engine == nullptr) {
        return 0;
    }
    return qRound64(engine->droppedFrames());
}

void MpvMedia::onFileLoaded()
{
    MpvEngine* engine = this->engine();
    if (engine == nullptr || !m_tracker.playsNewestOpen()) {
        return; // the report of a file already replaced or stopped
    }
    const Picture picture = selectedPicture(*engine);
    m_track = readTrack(*engine, picture);
    m_track.serial = ++m_serial;
    m_canSeek = m_track.lengthUs > 0 && engine->node("seekable").toBool();
    m_seeking = false;
    m_seekAnswersDue = 0;
    m_coverDue = picture == Picture::Cover;
    const bool replay = m_track.path == m_lastPath;
    m_lastPath = m_track.path;
    if (m_fullScreen && !m_track.hasPicture) {
        setFullScreen(false);
    }
    emit trackChanged();
    if (replay) {
        emit seeked(0);
    }
}

void MpvMedia::onPlaybackRestarted()
{
    if (m_seeking) {
        // Where the jump landed comes with the engine's next answer about the position.
        m_seeking = false;
        ++m_seekAnswersDue;
    }
    if (m_coverDue) {
        takeCover();
    }
}

void MpvMedia::onPositionAnswered(double seconds)
{
    if (m_seekAnswersDue > 0 && m_track.serial != 0) {
        --m_seekAnswersDue;
        emit seeked(clampedUs(seconds));
    }
}

void MpvMedia::takeCover()
{
    if (engine() == nullptr || !m_tracker.playsNewestOpen()) {
        return; // the picture would be of another file, or wait for the engine letting one go
    }
    QImage cover = engine()->videoFrame();
    if (cover.isNull()) {
        return; // not decoded yet: the next frame tries again
    }
    m_coverDue = false;
    m_track.cover = std::move(cover);
    emit trackChanged();
}

void MpvMedia::onPlayStateChange(int state)
{
    if (state == PlayStateStopped || state == PlayStateMediaEnded || state == PlayStateReady) {
        closeTrack();
    }
}

void MpvMedia::closeTrack()
{
    setFullScreen(false);
    if (m_track.serial == 0) {
        return;
    }
    m_track = TrackInfo{};
    m_canSeek = false;
    m_seeking = false;
    m_seekAnswersDue = 0;
    m_coverDue = false;
    emit trackChanged();
}
