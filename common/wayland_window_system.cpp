#include "wayland_window_system.hpp"

#include <wayland-client.h>

#include <cstring>

namespace wayland_window_system {

bool compositor_decorates()
{
    // A connection of its own, as the toolkit's is its own business; the
    // same compositor, found the same way (WAYLAND_DISPLAY).
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        return false;
    }
    bool offered = false;
    static const wl_registry_listener listener{
        [](void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
            if (std::strcmp(interface, "zxdg_decoration_manager_v1") == 0) {
                *static_cast<bool*>(data) = true;
            }
        },
        [](void*, wl_registry*, uint32_t) {}};
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, &offered);
    // One round trip: the compositor names every global it offers.
    const bool answered = wl_display_roundtrip(display) >= 0;
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return answered && offered;
}

} // namespace wayland_window_system
