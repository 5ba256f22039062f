#include "toolkit.hpp"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include <QApplication>

#include "address_space.hpp"
#include "screen.hpp"
#include "wayland_window_system.hpp"
#include "x_window_system.hpp"

namespace toolkit {
namespace {

bool is_set(const char* variable)
{
    return std::getenv(variable) != nullptr && *std::getenv(variable) != 0;
}

bool has(const char* variable, const char* part)
{
    const char* value = std::getenv(variable);
    return value != nullptr && QByteArray(value).toLower().contains(part);
}

// Whether the toolkit will take X, as it chooses: the platform named, else
// Wayland in a Wayland session other than GNOME's, else X.
bool takes_x()
{
    if (is_set("QT_QPA_PLATFORM")) {
        return std::strncmp(std::getenv("QT_QPA_PLATFORM"), "xcb", 3) == 0;
    }
    const char* session = std::getenv("XDG_SESSION_TYPE");
    return session == nullptr || std::strcmp(session, "wayland") != 0 ||
           has("XDG_CURRENT_DESKTOP", "gnome") || has("XDG_SESSION_DESKTOP", "gnome");
}

// The windows draw without GL: its stack would only cost memory and time
// (HACKING). The user's own choice wins.
void draw_without_gl()
{
    setenv("QT_XCB_GL_INTEGRATION", "none", 0);
    // On Wayland the toolkit loads it for a window whose surface may take GL
    // later, and to ask whether it may draw title bars: the windows' surfaces
    // are raster only, and where the compositor draws the title bars, it is
    // not asked.
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const bool wayland =
        platform != nullptr ? std::strstr(platform, "wayland") != nullptr : is_set("WAYLAND_DISPLAY");
    if (wayland && !is_set("QT_WAYLAND_CLIENT_BUFFER_INTEGRATION") &&
        wayland_window_system::compositor_decorates()) {
        QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
        setenv("QT_WAYLAND_DISABLE_WINDOWDECORATION", "1", 0);
    }
}

} // namespace

bool start()
{
    if (!is_set("DISPLAY") && !is_set("WAYLAND_DISPLAY") && !is_set("QT_QPA_PLATFORM")) {
        return false;
    }
    // The toolkit aborts the process where it cannot reach its display.
    if (takes_x() && !x_window_system::connect()) {
        const char* display = std::getenv("DISPLAY");
        throw screen::Unreachable(display != nullptr && *display != 0
                                      ? std::string("cannot reach the display ") + display
                                      : "no display to show the windows on");
    }
    draw_without_gl();
    // The toolkit waits forever for a thread of its own it could not make
    // (its session bus's, as the first window is made): where the memory its
    // start takes is not there, running out of it is said now. Some three
    // times what it was measured to take (HACKING).
    common::make_sure_of_room(size_t(64) << 20);
    // Lives as long as the process, as the library's own would.
    static int argc = 1;
    static char* argv[] = {program_invocation_short_name, nullptr};
    new QApplication(argc, argv);
    // As the library sets it when it makes the application itself.
    std::setlocale(LC_NUMERIC, "C");
    return true;
}

} // namespace toolkit
