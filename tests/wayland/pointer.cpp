// A pointer for tests under a wlroots compositor (zwlr_virtual_pointer_v1), which has none of its
// own when headless. One device for the whole run, there from the start (a client binds its
// pointer when the seat gets one: clicks sent before that are lost). Commands come one a line on
// standard input, and "done" is written once the compositor has taken each:
//
//   move X Y WIDTH HEIGHT   to X,Y of a layout WIDTH x HEIGHT (logical pixels)
//   click N                 N clicks of the left button, as fast as they go (N = 2: a double-click)
//
// Exits at the end of the input, or with 1 when the compositor offers no virtual pointer.
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <sstream>
#include <string>

namespace {

zwlr_virtual_pointer_manager_v1* manager = nullptr;

void global(void* /*data*/, wl_registry* registry, uint32_t name, const char* interface, uint32_t /*version*/)
{
    if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    }
}
void globalRemoved(void* /*data*/, wl_registry* /*registry*/, uint32_t /*name*/) {}
constexpr wl_registry_listener kListener{&global, &globalRemoved};

uint32_t nowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint32_t(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

void click(zwlr_virtual_pointer_v1* pointer, int clicks)
{
    for (int i = 0; i < clicks; ++i) {
        for (const auto state : {WL_POINTER_BUTTON_STATE_PRESSED, WL_POINTER_BUTTON_STATE_RELEASED}) {
            zwlr_virtual_pointer_v1_button(pointer, nowMs(), BTN_LEFT, state);
            zwlr_virtual_pointer_v1_frame(pointer);
        }
    }
}

} // namespace

int main()
{
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        std::fputs("pointer: no Wayland display\n", stderr);
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kListener, nullptr);
    wl_display_roundtrip(display);
    if (manager == nullptr) {
        std::fputs("pointer: the compositor offers no zwlr_virtual_pointer_manager_v1\n", stderr);
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, nullptr);
    wl_display_roundtrip(display); // the seat has a pointer from here on
    for (std::string line; std::getline(std::cin, line);) {
        std::istringstream words(line);
        std::string command;
        uint32_t x = 0, y = 0, width = 0, height = 0;
        int clicks = 0;
        words >> command;
        if (command == "move" && words >> x >> y >> width >> height) {
            zwlr_virtual_pointer_v1_motion_absolute(pointer, nowMs(), x, y, width, height);
            zwlr_virtual_pointer_v1_frame(pointer);
        } else if (command == "click" && words >> clicks) {
            click(pointer, clicks);
        }
        wl_display_roundtrip(display);
        std::cout << "done" << std::endl;
    }
    wl_display_disconnect(display);
    return 0;
}
