#include "x_window_system.hpp"

#include <chrono>
#include <map>
#include <optional>
#include <thread>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace x_window_system {
namespace {

Display* connection = nullptr;
bool tried = false;

Display* x_display()
{
    if (!tried) {
        connect();
    }
    return connection;
}

Atom atom(Display* display, const char* name)
{
    return XInternAtom(display, name, False);
}

// A property's 32-bit items, up to `most`; nothing when the window has no
// such property of that type.
std::optional<std::vector<long>> property(Display* display, Window window, const char* name, Atom type,
                                          long most)
{
    Atom found_type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long left = 0;
    unsigned char* data = nullptr;
    std::optional<std::vector<long>> items;
    if (XGetWindowProperty(display, window, atom(display, name), 0, most, False, type, &found_type, &format,
                           &count, &left, &data) == Success &&
        data != nullptr && format == 32 && count > 0) {
        const auto* values = reinterpret_cast<const long*>(data);
        items = std::vector<long>(values, values + count);
    }
    if (data != nullptr) {
        XFree(data);
    }
    return items;
}

bool supported_by_window_manager(Display* display, const char* feature)
{
    const auto atoms = property(display, DefaultRootWindow(display), "_NET_SUPPORTED", XA_ATOM, 4096);
    const long wanted = long(atom(display, feature));
    for (const long each : atoms.value_or(std::vector<long>())) {
        if (each == wanted) {
            return true;
        }
    }
    return false;
}

std::optional<Extents> read_extents(Display* display, Window window)
{
    const auto sides = property(display, window, "_NET_FRAME_EXTENTS", XA_CARDINAL, 4);
    if (!sides || sides->size() != 4) {
        return std::nullopt;
    }
    return Extents{int((*sides)[0]), int((*sides)[1]), int((*sides)[2]), int((*sides)[3])};
}

// A window manager that follows the common conventions says so on the root window.
bool window_manager_runs(Display* display)
{
    return property(display, DefaultRootWindow(display), "_NET_SUPPORTING_WM_CHECK", AnyPropertyType, 1)
        .has_value();
}

} // namespace

bool connect()
{
    // A reset takes a few milliseconds; a display that is not there fails
    // within a second.
    for (int tries = 0; connection == nullptr && tries < 20; ++tries) {
        if (tries > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        connection = XOpenDisplay(nullptr);
    }
    tried = true;
    return connection != nullptr;
}

Extents frame_of(unsigned long window)
{
    static std::map<unsigned long, Extents> known;
    if (const auto found = known.find(window); found != known.end()) {
        return found->second;
    }
    Extents extents;
    Display* display = x_display();
    if (display != nullptr && supported_by_window_manager(display, "_NET_REQUEST_FRAME_EXTENTS")) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = atom(display, "_NET_REQUEST_FRAME_EXTENTS");
        event.xclient.format = 32;
        XSendEvent(display, DefaultRootWindow(display), False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XFlush(display);
        // The manager answers in a few milliseconds; the limit only guards
        // against one that never does.
        const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        std::optional<Extents> answer = read_extents(display, window);
        while (!answer && std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            answer = read_extents(display, window);
        }
        extents = answer.value_or(Extents{});
    }
    known[window] = extents;
    return extents;
}

bool frame_and_panels_known()
{
    Display* display = x_display();
    if (display == nullptr) {
        return false;
    }
    return !window_manager_runs(display) ||
           (supported_by_window_manager(display, "_NET_REQUEST_FRAME_EXTENTS") &&
            supported_by_window_manager(display, "_NET_WORKAREA"));
}

} // namespace x_window_system
