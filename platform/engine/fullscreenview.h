#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

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
 * Every member belongs to the GUI thread; no call fails. It draws with a plain QPainter, so it
 * works alike on X11 and Wayland.
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

signals:
    /// The view was shown, resized or hidden: the frame is to be rendered again.
    void targetChanged();
    void leaveRequested();
    void pauseToggleRequested();
    void seekRequested(qint64 offsetUs);
    void menuRequested(QPoint globalPosition);

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
    QTimer m_pointerIdle;
    QPointer<QWidget> m_focusBefore;
};
