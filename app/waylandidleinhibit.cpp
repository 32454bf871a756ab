// The compositor's idle inhibit on Wayland: zwp_idle_inhibit_manager_v1, on the connection and the
// surfaces of Qt's own Wayland platform. Nothing here runs on another platform.
#include "idleinhibitor.h"

#include "idle-inhibit-unstable-v1-client-protocol.h"
#include "waylandqueue.h"

#include <QEvent>
#include <QPlatformSurfaceEvent>
#include <QPointer>
#include <QWindow>

#include <wayland-client.h>

#include <cstring>

namespace {

struct RegistryListener {
    zwp_idle_inhibit_manager_v1* manager = nullptr;

    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t /*version*/)
    {
        if (std::strcmp(interface, zwp_idle_inhibit_manager_v1_interface.name) == 0) {
            static_cast<RegistryListener*>(data)->manager = static_cast<zwp_idle_inhibit_manager_v1*>(
                wl_registry_bind(registry, name, &zwp_idle_inhibit_manager_v1_interface, 1));
        }
    }
    static void globalRemoved(void* /*data*/, wl_registry* /*registry*/, uint32_t /*name*/) {}
};

constexpr wl_registry_listener kRegistryListener{&RegistryListener::global, &RegistryListener::globalRemoved};

// The protocol's objects live on an event queue of their own, so that asking for the manager
// dispatches none of Qt's events; the protocol sends no events after that.
class WaylandIdleInhibit final : public QObject, public SurfaceIdleInhibit {
public:
    WaylandIdleInhibit(wl_display* display, wl_event_queue* queue, zwp_idle_inhibit_manager_v1* manager)
        : m_display(display)
        , m_queue(queue)
        , m_manager(manager)
    {
    }

    ~WaylandIdleInhibit() override
    {
        dropInhibitor();
        zwp_idle_inhibit_manager_v1_destroy(m_manager);
        wl_display_flush(m_display);
        wl_event_queue_destroy(m_queue);
    }

    WaylandIdleInhibit(const WaylandIdleInhibit&) = delete;
    WaylandIdleInhibit& operator=(const WaylandIdleInhibit&) = delete;

    void hold(QWindow& window) override
    {
        if (m_window != &window) {
            release();
            m_window = &window;
            window.installEventFilter(this);
        }
        follow();
    }

    void release() override
    {
        if (m_window) {
            m_window->removeEventFilter(this);
        }
        m_window = nullptr;
        dropInhibitor();
    }

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Expose:
            follow();
            break;
        case QEvent::Hide: // the surface is gone
            dropInhibitor();
            break;
        case QEvent::PlatformSurface:
            if (static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
                QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed) {
                dropInhibitor();
            }
            break;
        default:
            break;
        }
        return false;
    }

private:
    // Makes the inhibitor for the window's present surface, unless it is made already.
    void follow()
    {
        wl_surface* surface = m_window ? waylandqueue::surfaceOf(*m_window) : nullptr;
        if (surface == m_surface) {
            return;
        }
        dropInhibitor();
        if (surface != nullptr) {
            m_inhibitor = zwp_idle_inhibit_manager_v1_create_inhibitor(m_manager, surface);
            m_surface = surface;
            wl_display_flush(m_display);
        }
    }

    void dropInhibitor()
    {
        if (m_inhibitor != nullptr) {
            zwp_idle_inhibitor_v1_destroy(m_inhibitor);
            wl_display_flush(m_display);
        }
        m_inhibitor = nullptr;
        m_surface = nullptr;
    }

    wl_display* m_display;
    wl_event_queue* m_queue;
    zwp_idle_inhibit_manager_v1* m_manager;
    QPointer<QWindow> m_window;
    wl_surface* m_surface = nullptr;
    zwp_idle_inhibitor_v1* m_inhibitor = nullptr;
};

} // namespace

std::unique_ptr<SurfaceIdleInhibit> SurfaceIdleInhibit::ofCompositor()
{
    wl_display* display = waylandqueue::qtDisplay();
    if (display == nullptr) {
        return nullptr;
    }
    RegistryListener found;
    wl_event_queue* queue = waylandqueue::withGlobals(display, kRegistryListener, &found);
    if (found.manager == nullptr) {
        wl_event_queue_destroy(queue);
        return nullptr;
    }
    return std::make_unique<WaylandIdleInhibit>(display, queue, found.manager);
}
