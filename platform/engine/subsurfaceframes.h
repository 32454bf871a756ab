#pragma once

#include <QSize>

#include <memory>

class QWindow;

/**
 * Frames handed straight to a Wayland compositor: a subsurface over the whole of a window of Qt's
 * Wayland platform, showing shared-memory buffers of its own that the caller renders into. A
 * picture that fills the screen then costs one render a frame and no copy: Qt's backing store,
 * which clears and copies every buffer it presents, never sees it.
 *
 * - Made by forWindow() only on Qt's Wayland platform, and only when the compositor offers
 *   subsurfaces and shared memory; on any other platform there is nothing of this, and the window
 *   paints its frames as it always does.
 * - The buffers are XRGB8888 (bytes B, G, R, then one the compositor ignores): whatever the render
 *   leaves in the fourth byte, the picture is opaque. Each is a memfd of its own (nothing is
 *   created in the file system). Buffers are reused once the compositor releases them, and made
 *   anew when the size asked for changes; up to kMaxBuffers are held at once.
 * - The subsurface takes no input: the pointer's events go to the window beneath, as if it were
 *   not there. It shows on the window's surface once that surface is next committed: after
 *   nextBuffer() reports isNewSurface(), the window is to be repainted.
 * - Qt's Wayland platform destroys a window's surface when it hides and makes another when it
 *   shows: hidden() drops the subsurface of the old one, and the next nextBuffer() makes one on
 *   the new.
 *
 * Threads: every call on the GUI thread (Qt's Wayland connection is dispatched there). Nothing
 * blocks: the compositor's releases are read from a private event queue that Qt's connection
 * fills, and nothing waits for the compositor to answer, but forWindow() (one round trip).
 * Errors: forWindow() answers null when anything it needs is missing; after that, no call fails
 * (a buffer that cannot be made means nextBuffer() answers null).
 */
class SubsurfaceFrames {
public:
    /// Buffers held at once, the one shown included: two the compositor may hold, one to render.
    static constexpr int kMaxBuffers = 3;

    /// Where to render one frame: @p size pixels, @p stride bytes a row (a multiple of 64), rows
    /// top to bottom; valid until present() or the next nextBuffer().
    struct Buffer {
        unsigned char* pixels = nullptr;
        QSize size;
        std::size_t stride = 0;
    };

    /// For @p window, or null when frames cannot be handed to the compositor (see above).
    static std::unique_ptr<SubsurfaceFrames> forWindow(QWindow& window);
    virtual ~SubsurfaceFrames() = default;

    /// A buffer of @p pixelSize that the compositor does not hold, on the window's present surface
    /// at its present scale; null when the window has no surface (hidden, not yet shown), when
    /// the compositor holds every buffer, or @p pixelSize is empty.
    virtual const Buffer* nextBuffer(QSize pixelSize) = 0;
    /// Shows the buffer last answered by nextBuffer(), damaged whole; the compositor shows it
    /// without waiting for the window's own commit.
    virtual void present() = 0;
    /// Whether the last nextBuffer() made the subsurface on a new surface (repaint the window).
    virtual bool isNewSurface() const = 0;
    /// Whether frames are shown over the window now: a buffer has been presented on its present
    /// surface. The window then need paint nothing but black under it.
    virtual bool isShowing() const = 0;
    /// The window hid: its surface is gone, and the subsurface with it.
    virtual void hidden() = 0;
};
