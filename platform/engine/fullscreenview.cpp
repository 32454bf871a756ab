#include "fullscreenview.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include <cmath>

namespace {

constexpr int kPointerIdleMs = 2000;

// The part of @p frame that is opaque for sure, in the frame's pixels: the picture of a video
// without an alpha channel, found along the middle row and column, as the picture is centred
// between transparent bars. Empty when the frame may be transparent anywhere.
QRect opaquePicture(const QImage& frame)
{
    if (frame.format() != QImage::Format_ARGB32_Premultiplied) {
        return {};
    }
    const auto opaque = [&frame](int x, int y) { return qAlpha(frame.pixel(x, y)) == 255; };
    const int row = frame.height() / 2;
    const int column = frame.width() / 2;
    int left = 0;
    int right = frame.width() - 1;
    int top = 0;
    int bottom = frame.height() - 1;
    while (left <= right && !opaque(left, row)) {
        ++left;
    }
    while (right > left && !opaque(right, row)) {
        --right;
    }
    while (top <= bottom && !opaque(column, top)) {
        ++top;
    }
    while (bottom > top && !opaque(column, bottom)) {
        --bottom;
    }
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

// @p part of a frame drawn into @p target, in whole pixels of the window inside it.
QRect inside(const QRect& part, QSize frameSize, const QRect& target)
{
    const double x = double(target.width()) / frameSize.width();
    const double y = double(target.height()) / frameSize.height();
    return QRect(QPoint(target.x() + int(std::ceil(part.left() * x)), target.y() + int(std::ceil(part.top() * y))),
                 QPoint(target.x() + int(std::floor((part.right() + 1) * x)) - 1,
                        target.y() + int(std::floor((part.bottom() + 1) * y)) - 1));
}

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

const SubsurfaceFrames::Buffer* FullScreenView::nextBuffer()
{
    if (!m_presented) {
        return nullptr;
    }
    const SubsurfaceFrames::Buffer* buffer = m_presented->nextBuffer((QSizeF(size()) * devicePixelRatioF()).toSize());
    if (m_presented->isNewSurface()) {
        update(); // the subsurface appears with the window's next commit
    }
    return buffer;
}

void FullScreenView::present()
{
    m_presented->present();
    emit frameShown();
}

bool FullScreenView::showsPresentedFrames() const
{
    return m_presented && m_presented->isShowing();
}

void FullScreenView::withdrawPresentedFrames()
{
    if (showsPresentedFrames()) {
        m_presented->hidden();
        update();
    }
}

void FullScreenView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    if (showsPresentedFrames()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // The frame is rendered at this window's size with the picture fitted and the bars
    // transparent; until it is, an older frame of another size is fitted here the same way. It
    // is drawn over black, which goes only where the frame is not opaque: filling the whole
    // screen first would cost a pass over it for every frame.
    const QSize fitted = m_frame.deviceIndependentSize().toSize().scaled(size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
    const QRegion black = m_frame.isNull()
                              ? QRegion(rect())
                              : QRegion(rect()).subtracted(inside(opaquePicture(m_frame), m_frame.size(), target));
    for (const QRect& part : black) {
        painter.fillRect(part, Qt::black);
    }
    if (!m_frame.isNull()) {
        painter.drawImage(target, m_frame);
        emit frameShown();
    }
}

void FullScreenView::resizeEvent(QResizeEvent* /*event*/)
{
    emit targetChanged();
}

void FullScreenView::showEvent(QShowEvent* /*event*/)
{
    if (!m_presentedAsked) {
        m_presentedAsked = true;
        m_presented = SubsurfaceFrames::forWindow(*windowHandle());
    }
    emit targetChanged();
}

void FullScreenView::hideEvent(QHideEvent* /*event*/)
{
    unsetCursor();
    if (m_presented) {
        m_presented->hidden();
    }
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
