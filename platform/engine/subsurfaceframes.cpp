#include "subsurfaceframes.h"

#include "mpvengine.h"
#include "waylandqueue.h"

#include <QPointer>
#include <QWindow>

#include <wayland-client.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

namespace {

constexpr uint32_t kCompositorVersion = 3; // buffer scale

struct Globals {
    wl_compositor* compositor = nullptr;
    wl_subcompositor* subcompositor = nullptr;
    wl_shm* shm = nullptr;

    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
    {
        auto& found = *static_cast<Globals*>(data);
        if (std::strcmp(interface, wl_compositor_interface.name) == 0 && version >= kCompositorVersion) {
            found.compositor = static_cast<wl_compositor*>(
                wl_registry_bind(registry, name, &wl_compositor_interface, kCompositorVersion));
        } else if (std::strcmp(interface, wl_subcompositor_interface.name) == 0) {
            found.subcompositor =
                static_cast<wl_subcompositor*>(wl_registry_bind(registry, name, &wl_subcompositor_interface, 1));
        } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
            found.shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
        }
    }
    static void globalRemoved(void* /*data*/, wl_registry* /*registry*/, uint32_t /*name*/) {}

    bool complete() const { return compositor != nullptr && subcompositor != nullptr && shm != nullptr; }

    void destroy() const
    {
        if (compositor != nullptr) {
            wl_compositor_destroy(compositor);
        }
        if (subcompositor != nullptr) {
            wl_subcompositor_destroy(subcompositor);
        }
        if (shm != nullptr) {
            wl_shm_destroy(shm);
        }
    }
};

constexpr wl_registry_listener kRegistryListener{&Globals::global, &Globals::globalRemoved};

// One shared-memory buffer; the compositor holds it from its attach to its release.
struct ShmBuffer {
    wl_buffer* buffer = nullptr;
    void* memory = MAP_FAILED;
    std::size_t bytes = 0;
    SubsurfaceFrames::Buffer pixels;
    bool held = false;

    ShmBuffer() = default;
    ShmBuffer(const ShmBuffer&) = delete;
    ShmBuffer& operator=(const ShmBuffer&) = delete;
    ~ShmBuffer()
    {
        if (buffer != nullptr) {
            wl_buffer_destroy(buffer);
        }
        if (memory != MAP_FAILED) {
            munmap(memory, bytes);
        }
    }

    static void released(void* data, wl_buffer* /*buffer*/) { static_cast<ShmBuffer*>(data)->held = false; }
};

constexpr wl_buffer_listener kBufferListener{&ShmBuffer::released};

// A buffer of @p size in XRGB8888, or null.
std::unique_ptr<ShmBuffer> makeBuffer(wl_shm* shm, QSize size)
{
    auto made = std::make_unique<ShmBuffer>();
    const std::size_t stride = MpvEngine::rowStride(size.width());
    made->bytes = stride * std::size_t(size.height());
    if (stride > INT32_MAX || made->bytes > INT32_MAX) {
        return nullptr;
    }
    const int fd = memfd_create("marrowlark-frame", MFD_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    if (ftruncate(fd, off_t(made->bytes)) == 0) {
        made->memory = mmap(nullptr, made->bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    }
    if (made->memory != MAP_FAILED) {
        // The pool may go at once: the buffer keeps the memory, and the descriptor is copied
        // into the request as it is queued.
        wl_shm_pool* pool = wl_shm_create_pool(shm, fd, int32_t(made->bytes));
        made->buffer =
            wl_shm_pool_create_buffer(pool, 0, size.width(), size.height(), int32_t(stride), WL_SHM_FORMAT_XRGB8888);
        wl_shm_pool_destroy(pool);
        wl_buffer_add_listener(made->buffer, &kBufferListener, made.get());
        made->pixels = {static_cast<unsigned char*>(made->memory), size, stride};
    }
    close(fd);
    return made->buffer != nullptr ? std::move(made) : nullptr;
}

class WaylandSubsurfaceFrames final : public SubsurfaceFrames {
public:
    WaylandSubsurfaceFrames(QWindow& window, wl_display* display, wl_event_queue* queue, const Globals& globals)
        : m_window(&window)
        , m_display(display)
        , m_queue(queue)
        , m_globals(globals)
    {
    }

    ~WaylandSubsurfaceFrames() override
    {
        hidden();
        m_buffers = {};
        m_globals.destroy();
        wl_display_flush(m_display);
        wl_event_queue_destroy(m_queue);
    }

    WaylandSubsurfaceFrames(const WaylandSubsurfaceFrames&) = delete;
    WaylandSubsurfaceFrames& operator=(const WaylandSubsurfaceFrames&) = delete;

    const Buffer* nextBuffer(QSize pixelSize) override
    {
        m_next = nullptr;
        m_newSurface = false;
        if (pixelSize.isEmpty() || !followSurface()) {
            return nullptr;
        }
        wl_display_dispatch_queue_pending(m_display, m_queue); // the releases read so far
        if (pixelSize != m_size) {
            m_buffers = {};
            m_size = pixelSize;
        }
        for (std::unique_ptr<ShmBuffer>& buffer : m_buffers) {
            if (!buffer) {
                buffer = makeBuffer(m_globals.shm, pixelSize);
            }
            if (buffer && !buffer->held) {
                m_next = buffer.get();
                return &m_next->pixels;
            }
        }
        return nullptr;
    }

    void present() override
    {
        if (m_next == nullptr || m_surface == nullptr) {
            return;
        }
        const int scale = std::max(1, int(m_window->devicePixelRatio()));
        if (scale != m_scale) {
            wl_surface_set_buffer_scale(m_surface, scale);
            m_scale = scale;
        }
        wl_surface_attach(m_surface, m_next->buffer, 0, 0);
        wl_surface_damage(m_surface, 0, 0, INT32_MAX, INT32_MAX);
        wl_surface_commit(m_surface);
        wl_display_flush(m_display);
        m_next->held = true;
        m_next = nullptr;
        m_showing = true;
    }

    bool isNewSurface() const override { return m_newSurface; }
    bool isShowing() const override { return m_showing; }

    void hidden() override
    {
        if (m_subsurface != nullptr) {
            wl_subsurface_destroy(m_subsurface);
            wl_surface_destroy(m_surface);
            wl_display_flush(m_display);
        }
        m_subsurface = nullptr;
        m_surface = nullptr;
        m_parent = nullptr;
        m_showing = false;
        m_scale = 1;
        // What the compositor held of the old surface is let go with it, released or not.
        for (std::unique_ptr<ShmBuffer>& buffer : m_buffers) {
            if (buffer && buffer->held) {
                buffer.reset();
            }
        }
    }

private:
    // Makes the subsurface on the window's present surface, unless it is made already; false when
    // the window has none.
    bool followSurface()
    {
        wl_surface* parent = m_window ? waylandqueue::surfaceOf(*m_window) : nullptr;
        if (parent == m_parent) {
            return parent != nullptr;
        }
        hidden();
        if (parent == nullptr) {
            return false;
        }
        m_surface = wl_compositor_create_surface(m_globals.compositor);
        m_subsurface = wl_subcompositor_get_subsurface(m_globals.subcompositor, m_surface, parent);
        wl_subsurface_set_position(m_subsurface, 0, 0);
        wl_subsurface_set_desync(m_subsurface);
        wl_region* none = wl_compositor_create_region(m_globals.compositor);
        wl_surface_set_input_region(m_surface, none);
        wl_region_destroy(none);
        m_parent = parent;
        m_newSurface = true;
        return true;
    }

    QPointer<QWindow> m_window;
    wl_display* m_display;
    wl_event_queue* m_queue;
    Globals m_globals;
    wl_surface* m_parent = nullptr; ///< Qt's surface of the window, the subsurface's parent
    wl_surface* m_surface = nullptr;
    wl_subsurface* m_subsurface = nullptr;
    std::array<std::unique_ptr<ShmBuffer>, kMaxBuffers> m_buffers;
    QSize m_size;
    ShmBuffer* m_next = nullptr;
    int m_scale = 1;
    bool m_newSurface = false;
    bool m_showing = false;
};

} // namespace

std::unique_ptr<SubsurfaceFrames> SubsurfaceFrames::forWindow(QWindow& window)
{
    wl_display* display = waylandqueue::qtDisplay();
    if (display == nullptr) {
        return nullptr;
    }
    Globals globals;
    wl_event_queue* queue = waylandqueue::withGlobals(display, kRegistryListener, &globals);
    if (!globals.complete()) {
        globals.destroy();
        wl_event_queue_destroy(queue);
        return nullptr;
    }
    return std::make_unique<WaylandSubsurfaceFrames>(window, display, queue, globals);
}
