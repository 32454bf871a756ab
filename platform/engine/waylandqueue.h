#pragma once

class QWindow;
struct wl_display;
struct wl_event_queue;
struct wl_registry_listener;
struct wl_surface;

/**
 * Wayland objects of the program's own on Qt's connection to the compositor. They live on an event
 * queue of their own, which only their owner dispatches: none of their events runs inside Qt's
 * dispatch, and none of Qt's inside theirs. Qt's connection reads the socket and fills the queue.
 *
 * Threads: the GUI thread, where Qt's connection is dispatched. Only withGlobals() waits for the
 * compositor (one round trip).
 */
namespace waylandqueue {

/// Qt's connection, when Qt's platform is Wayland; null on any other.
wl_display* qtDisplay();

/// @p window's present surface on Qt's connection: null while the window is hidden or has none.
/// Qt destroys it when the window hides and makes another when it shows.
wl_surface* surfaceOf(QWindow& window);

/// A new event queue on @p display, after one round trip on it in which every global the compositor
/// offers was announced to @p listener with @p data; what the listener binds lives on that queue.
/// The caller destroys the queue, after the objects on it.
wl_event_queue* withGlobals(wl_display* display, const wl_registry_listener& listener, void* data);

} // namespace waylandqueue
