#pragma once

#include "playerfacade.h"

#include <QImage>

#include <memory>

class QMenu;

/**
 * The real player: the display strip of the window over the libmpv engine.
 *
 * Implements the PlayerFacade contract (see playerfacade.h) with these choices:
 * - Video is rendered in software into an image that this plain widget paints, so it works alike
 *   on X11, Wayland and the offscreen platform. Frames are rendered as the engine offers them,
 *   also while the window is hidden or minimised, so the engine never waits on the display.
 * - The engine starts with nothing loaded, volume 50, normal speed, no repetition, no captions,
 *   no built-in controls, no error dialogs, no configuration files, scripts or resume data, and
 *   plays silently when there is no sound device.
 * - Every location is handed to the engine as the absolute local path of the file, so that no
 *   location is ever taken for a protocol or for standard input, and playlists or folders are
 *   never expanded into other entries.
 * - A right-click on the display opens the player's own menu: Play, Pause, Stop, Mute, Volume up
 *   and Volume down; their state changes come back through playStateChange().
 *
 * Destroying the widget stops playback at once and releases the engine.
 */
class MpvPlayer final : public PlayerFacade {
    Q_OBJECT

public:
    explicit MpvPlayer(QWidget* parent = nullptr);
    ~MpvPlayer() override;

    void setUrl(const QString& path) override;
    QString url() const override;
    std::unique_ptr<PlayerControls> controls() override;
    PlayState playState() const override;

    /// The engine's volume, 0 to 100, and mute flag: read fresh from the engine.
    double volume() const;
    bool isMuted() const;

    /// The player's own menu, as a right-click shows it.
    QMenu* contextMenu() const { return m_menu; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    class Engine;
    friend class Engine;
    class Transport;

    void createContextMenu();
    void drainEvents();
    void renderFrame();
    void clearFrame();

    // What the engine reported, translated into play-state changes.
    void onFileStarted(qint64 entryId);
    void onPlaybackRestarted();
    void onFileEnded(qint64 entryId, bool endOfFile, bool failed);
    void onIdleChanged(bool idle);
    void onPauseChanged(bool paused);
    void onCacheWaitChanged(bool waiting);

    void resume();
    void pause();
    void stop();
    void setState(PlayState state, bool announceEvenIfUnchanged = false);
    PlayState runningState() const;

    std::unique_ptr<Engine> m_engine;
    QMenu* m_menu = nullptr;
    QImage m_frame;
    QString m_url;
    PlayState m_state = PlayStateUndefined;
    qint64 m_openingEntry = -1; ///< the engine's entry being opened, or -1 while none is
    qint64 m_currentEntry = -1; ///< the entry the engine works on, or -1 while idle
    bool m_opening = false;
    bool m_waitingForData = false;
};
