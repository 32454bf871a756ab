#pragma once

#include "subsurfaceframes.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>

class QImage;
class QScreen;

/**
 * The player's full screen: a frameless top-level window of its own over a whole screen, showing
 * the player's rendered frame, so that the player's own window is never resized, moved or
 * reparented.
 *
 * The view only shows and listens. The player renders its frame at the view's size in device
 * pixels while the view is visible (targetChanged() tells when that size or the visibility
 * changed) and acts on the requests: Escape, a double-click or a close by the window manager ask
 * to leave, Space to pause or resume, Left and Right to jump 5 s, a right-click for the player's
 * menu. The pointer hides after 2 s without moving and shows again when it moves.
 *
 * On Wayland the player may hand its frames to the compositor instead (SubsurfaceFrames): it
 * renders into nextBuffer() and calls present(), and the view paints black under them. Elsewhere,
 * and until such a frame is shown, the view draws the player's frame with a plain QPainter.
 *
 * Every member belongs to the GUI thread; no call fails.
 */
class FullScreenView final : public QWidget {
    Q_OBJECT

public:
    /// A jump of Left and Right, in microseconds.
    static constexpr qint64 kSeekStepUs = 5'000'000;

    /// Shows @p frame, which the caller keeps and renders (it may be remade at another size while
    /// the view lives); @p parent owns the view, which is a window of its own nevertheless.
    FullScreenView(const QImage& frame, QWidget* parent);

    /// Covers @p screen and takes the keyboard, remembering the control that had the focus.
    void enter(QScreen* screen);
    /// Hides, and gives the focus back to the control that had it when entering.
    void leave();

    /// Where to render the next frame for the compositor, at the view's size in device pixels;
    /// null when the view has no buffer to offer: not on Wayland, no surface yet, every buffer
    /// held (see showsPresentedFrames()).
    const SubsurfaceFrames::Buffer* nextBuffer();
    /// Shows the buffer nextBuffer() answered last.
    void present();
    /// Whether frames handed to the compositor show over the view: a frame that finds no buffer
    /// then waits for the next, as painting it would not show.
    bool showsPresentedFrames() const;
    /// Takes the presented frames away, so that the view's painted frame shows: for a picture with
    /// an alpha channel, which the compositor's opaque buffers cannot show over black.
    void withdrawPresentedFrames();

signals:
    /// The view was shown, resized or hidden: the frame is to be rendered again.
    void targetChanged();
    void leaveRequested();
    void pauseToggleRequested();
    void seekRequested(qint64 offsetUs);
    void menuRequested(QPoint globalPosition);
    /// A frame reached the screen: painted, or presented.
    void frameShown();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void showPointer();

    const QImage& m_frame;
    std::unique_ptr<SubsurfaceFrames> m_presented;
    bool m_presentedAsked = false; ///< whether the platform was asked for m_presented
    QTimer m_pointerIdle;
    QPointer<QWidget> m_focusBefore;
};
