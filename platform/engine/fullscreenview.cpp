#include "fullscreenview.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

namespace {

constexpr int kPointerIdleMs = 2000;

} // namespace

FullScreenView::FullScreenView(const QImage& frame, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , m_frame(frame)
{
    setObjectName(QStringLiteral("fullScreenView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    m_pointerIdle.setSingleShot(true);
    m_pointerIdle.setInterval(kPointerIdleMs);
    connect(&m_pointerIdle, &QTimer::timeout, this, [this] { setCursor(Qt::BlankCursor); });
}

void FullScreenView::enter(QScreen* screen)
{
    m_focusBefore = QApplication::focusWidget();
    setScreen(screen);
    // Without a window manager the full-screen state alone does not move or size the window.
    setGeometry(screen->geometry());
    showFullScreen();
    raise();
    activateWindow();
    setFocus(Qt::OtherFocusReason);
    showPointer();
}

void FullScreenView::leave()
{
    m_pointerIdle.stop();
    hide();
    if (m_focusBefore) {
        m_focusBefore->activateWindow();
        m_focusBefore->setFocus(Qt::OtherFocusReason);
    }
}

void FullScreenView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    // The frame is rendered at this window's size with the picture fitted and the bars
    // transparent, over black; until it is, an older frame of another size is fitted here the
    // same way.
    painter.fillRect(rect(), Qt::black);
    if (!m_frame.isNull()) {
        const QSize fitted = m_frame.deviceIndependentSize().toSize().scaled(size(), Qt::KeepAspectRatio);
        painter.drawImage(QRect(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted),
                          m_frame);
    }
}

void FullScreenView::resizeEvent(QResizeEvent* /*event*/)
{
    emit targetChanged();
}

void FullScreenView::showEvent(QShowEvent* /*event*/)
{
    emit targetChanged();
}

void FullScreenView::hideEvent(QHideEvent* /*event*/)
{
    unsetCursor();
    emit targetChanged();
}

void FullScreenView::keyPressEvent(QKeyEvent* event)
{
    const bool once = !event->isAutoRepeat(); // holding Space must not toggle on and off
    switch (event->key()) {
    case Qt::Key_Escape:
        emit leaveRequested();
        break;
    case Qt::Key_Space:
        if (once) {
            emit pauseToggleRequested();
        }
        break;
    case Qt::Key_Left:
        emit seekRequested(-kSeekStepUs);
        break;
    case Qt::Key_Right:
        emit seekRequested(kSeekStepUs);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void FullScreenView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        emit leaveRequested();
    }
}

void FullScreenView::mouseMoveEvent(QMouseEvent* /*event*/)
{
    showPointer();
}

void FullScreenView::contextMenuEvent(QContextMenuEvent* event)
{
    showPointer();
    emit menuRequested(event->globalPos());
}

void FullScreenView::closeEvent(QCloseEvent* event)
{
    // Closed by the window manager (Alt+F4): the player leaves full screen and hides the view.
    event->ignore();
    emit leaveRequested();
}

void FullScreenView::showPointer()
{
    unsetCursor();
    m_pointerIdle.start();
}
