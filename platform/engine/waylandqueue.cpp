#include "waylandqueue.h"

#include <QGuiApplication>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

#include <wayland-client.h>

namespace waylandqueue {

wl_display* qtDisplay()
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        return nullptr;
    }
    return static_cast<wl_display*>(
        QGuiApplication::platformNativeInterface()->nativeResourceForIntegration("wl_display"));
}

wl_surface* surfaceOf(QWindow& window)
{
    if (window.handle() == nullptr || !window.isVisible()) {
        return nullptr;
    }
    return static_cast<wl_surface*>(
        QGuiApplication::platformNativeInterface()->nativeResourceForWindow("surface", &window));
}

wl_event_queue* withGlobals(wl_display* display, const wl_registry_listener& listener, void* data)
{
    wl_event_queue* queue = wl_display_create_queue(display);
    auto* wrapped = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapped), queue);
    wl_registry* registry = wl_display_get_registry(wrapped);
    wl_proxy_wrapper_destroy(wrapped);
    wl_registry_add_listener(registry, &listener, data);
    wl_display_roundtrip_queue(display, queue);
    wl_registry_destroy(registry);
    return queue;
}

} // namespace waylandqueue
