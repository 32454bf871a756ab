#pragma once

#include "identity.h"
#include "mpvoptions.h"
#include "playerfacade.h"
#include "playstatetracker.h"

#include <QImage>

#include <functional>
#include <memory>

class EngineStart;
class FullScreenView;
class MpvEngine;
class MpvMedia;
class QAction;
class QMenu;
class QTimer;

/**
 * The real player: the display strip of the window over the libmpv engine.
 *
 * Implements the PlayerFacade contract (see playerfacade.h) with these choices:
 * - Video is rendered in software into an image that this plain widget paints, so it works alike
 *   on X11, Wayland and the offscreen platform. Frames are rendered as the engine offers them,
 *   also while the window is hidden or minimised, so the engine never waits on the display.
 * - The engine starts with nothing loaded, volume 50, normal speed, no repetition, no captions,
 *   no built-in controls, no error dialogs, no configuration files, scripts or resume data, and
 *   plays silently when there is no sound device; the sound comes back when the sound server
 *   does (soundserverwatch.h).
 * - Every location is handed to the engine as the absolute local path of the file, so that no
 *   location is ever taken for a protocol or for standard input, and playlists or folders are
 *   never expanded into other entries. A location holding a NUL character names no file:
 *   setUrl() raises ProgramError for it and changes nothing.
 * - A right-click on the display opens the player's own menu: Play, Pause, Stop, Mute, Volume up,
 *   Volume down and Full screen; their state changes come back through playStateChange(). With
 *   the focus on the display, the Menu key and Shift+F10 open it too, over the display's middle.
 * - Full screen is the component's own (MpvMedia::setFullScreen()): a double-click on the display
 *   or the menu's Full screen enter it while a file with a picture is open; Escape, a
 *   double-click or the menu leave it, and so does the end, stop or failure of the file. The
 *   picture is then rendered at the size of a window of its own (FullScreenView) and scaled to
 *   fit; this widget shows black meanwhile, and its window is never resized or reparented.
 * - The engine is a shared library loaded at run time (mpvlibrary.h). It is brought up on a
 *   thread of its own when the pointer first enters the widget's window (also a window that
 *   appears under it), at the first mouse press or key press into it, at the first call that
 *   needs it, or by startEngine(): a window that is never touched nor hovered does not pay for
 *   it (some 35 MiB and a tenth of a second of CPU), and no call ever waits for it. The pointer
 *   on its way to a file brings the engine up before the double-click, so the first file is
 *   heard as soon as later ones; a double-click that comes first has its open kept until it is
 *   up. Until it is up, playState() reads PlayStateUndefined and url() the location as set;
 *   setUrl(), play(), pause() and the menu's commands are kept and made in their order once it
 *   is up.
 * - No call waits for the engine, nor for a file: every command is queued for the engine, and
 *   every reading comes from what the engine last reported or what the player last set.
 * - A file whose reads hang does not take the player with it. The caption may read "Loading"
 *   for as long as the file does not answer. When the engine holds on to a file that has not
 *   answered for EngineStart::kGiveUpMs (its open, its data, or letting it go for another), the
 *   next open gives that engine up: it is released on a thread of its own, whenever the file
 *   answers, and a fresh engine, brought up as at the start, opens the file chosen, with the
 *   volume and mute carried over. An open that the engine does not let the previous file go for
 *   within the same bound is made again on a fresh engine the same way, paused if it was
 *   paused. At most
 *   EngineRelease::kMaxReleasesUnderWay engines given up may be held at once (each keeps its
 *   memory and a stuck thread); past that, a file chosen is opened by the engine in use, and
 *   plays once that engine lets go of the stuck one (the window answers meanwhile); once a
 *   release has ended, the next file chosen gives the engine up again.
 * - When the engine cannot be brought up, the widget goes on as a black strip: setUrl() and every
 *   other call that needs the engine raise ProgramError with the reason, and calls kept from
 *   before raise it once, from the event loop.
 *
 * How it is built: the engine and its reports are MpvEngine (mpvengine.h), brought up, and given
 * up, by EngineStart (enginestart.h); whether it answers about its file is EngineWatch
 * (enginewatch.h); the reports and this player's own commands become play states in
 * PlayStateTracker (playstatetracker.h). This widget holds the display, the menu and the
 * PlayerFacade operations that tie them together.
 *
 * Destroying the widget stops playback at once and releases the engine (enginestart.h tells how
 * an engine that may be stuck is released); releaseEngine() releases it on a thread of its own.
 */
class MpvPlayer final : public PlayerFacade {
    Q_OBJECT

public:
    /// @p engineLibrary names the engine's shared library (see loadMpvLibrary()).
    explicit MpvPlayer(QWidget* parent = nullptr,
                       const QString& engineLibrary = QString::fromLatin1(marrowlark::kEngineLibrary));
    /// Waits for an engine start still under way, then stops playback and releases the engine.
    ~MpvPlayer() override;

    void setUrl(const QString& path) override;
    QString url() const override;
    std::unique_ptr<PlayerControls> controls() override;
    PlayState playState() const override;

    /// The volume, 0 to 100, and the mute flag, as last set through the player (the engine changes
    /// neither by itself); a fresh engine is given them.
    double volume() const { return m_volume; }
    bool isMuted() const { return m_muted; }

    /// The player's own menu, as a right-click shows it.
    QMenu* contextMenu() const { return m_menu; }

    /// Position, seeking, tags and full screen: the player's second surface (a child object).
    MpvMedia* media() const { return m_media; }

    /// Whether the engine is up and every call kept until then has been made.
    bool isEngineReady() const;

    /// Begins bringing the engine up in the background, unless it is up or on its way; returns
    /// at once. engineStarted() tells when it has ended.
    void startEngine();

    /// Hands the engine to a thread of its own for release and returns at once, for the end of the
    /// program (EngineStart::letGo()). The player shows black and plays nothing afterwards.
    void releaseEngine();

signals:
    /// An engine start has ended, @p ready or failed; emitted once per start (the first, and each
    /// fresh engine's), before kept calls are made.
    void engineStarted(bool ready);

protected:
    void paintEvent(QPaintEvent* event) override;
    /// Watches the application's input for the pointer's entry or the first press into this
    /// widget's window.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    class Transport;

    void createContextMenu();
    void connectEngine(bool ready);
    /// Keeps @p call for when the engine is up and answers true, or answers false when it is up.
    bool keepUntilEngineReady(std::function<void()> call);
    MpvEngine& engine() const;
    void open(const QByteArray& absolutePath);
    /// Gives the engine up for a fresh one (EngineStart::replace()); false when it may not.
    bool replaceEngine();
    void checkLetGo();
    void setMuted(bool muted);
    void changeVolume(int step);
    void createFullScreen();
    /// Renders a new frame for the display that shows: the strip, or the full screen. With
    /// @p again, also the frame already shown (after a change of display or size).
    void renderFrame(bool again = false);
    /// Full screen on Wayland, renderFrame() straight to the compositor (no copy into the view's
    /// buffer); false when the frame is to be painted instead.
    bool presentFullScreen(bool again);
    void onDisplayTargetChanged();
    void clearFrame();
    void popupMenu(QWidget& over, QPoint globalPosition);
    void togglePause();
    void onIdleChanged(bool idle);

    void resume();
    void pause();
    void setPaused(bool paused);
    void stop();
    void announce(PlayStateTracker::Announcement announcement);

    // First, so that it goes last: the frame below shares the engine's pixels.
    std::unique_ptr<EngineStart> m_start;
    QTimer* m_letGoCheck = nullptr;
    QMenu* m_menu = nullptr;
    QAction* m_fullScreenAction = nullptr;
    /// Rendered at the size of the strip, or of the full screen while it shows.
    QImage m_frame;
    QString m_url;
    PlayStateTracker m_tracker;
    qint64 m_serial = 0;   ///< of the last open
    QByteArray m_openPath; ///< of the last open
    double m_volume = kStartVolume;
    bool m_muted = false;
    FullScreenView* m_view = nullptr;
    MpvMedia* m_media = nullptr;
};
