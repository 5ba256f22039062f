// xwindow: what a window manager and a screen grabber do to a window, for the
// demo and the real-window tests (an X server with no window manager).
//   xwindow close WINDOW        ask the window's owner to close it (WM_DELETE_WINDOW)
//   xwindow shot WINDOW FILE    save what the screen shows of the window as a picture
//                               (WINDOW "root": the whole screen)
//   xwindow frame WINDOW        print where the window's frame stands: X Y WIDTH HEIGHT
//   xwindow manager             succeed when a window manager runs
//   xwindow watch TITLE SECONDS every change of the windows titled so until then, a line each:
//                               MILLISECONDS ID mapped|unmapped FRAME_X FRAME_Y FRAME_WIDTH FRAME_HEIGHT
//                               (MILLISECONDS on the monotonic clock, as the benchmark reads it)
//   xwindow pointer             the pointer's shape as the screen shows it: its name, or
//                               its size and a checksum of its image
//   xwindow ping TITLE SECONDS  pings the owner of the window titled so, once mapped, as a
//                               window manager does (_NET_WM_PING), every 100 ms until then
//                               or until it is gone, a line each when done:
//                               MILLISECONDS_SENT WAITED_MS answered|unanswered
//   xwindow cover WINDOW        lays another window over it for a moment, as a user
//                               moving one over it would, then uncovers it
//   xwindow startup SECONDS     every startup-notification message sent until then, a line each
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

namespace {

int close_window(Display* display, Window window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    return 0;
}

// Grabs from the root window: without a window manager nothing keeps the
// contents of an obscured window, so the caller raises it first.
int shoot_window(Display* display, Window window, const std::string& file)
{
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, window, &attributes) == 0) {
        return 1;
    }
    const Window root = DefaultRootWindow(display);
    XWindowAttributes screen;
    XGetWindowAttributes(display, root, &screen);
    int x = 0;
    int y = 0;
    Window child;
    XTranslateCoordinates(display, window, root, 0, 0, &x, &y, &child);
    const int left = std::max(x, 0);
    const int top = std::max(y, 0);
    const int width = std::min(x + attributes.width, screen.width) - left;
    const int height = std::min(y + attributes.height, screen.height) - top;
    if (width <= 0 || height <= 0) {
        return 1;
    }
    XImage* image =
        XGetImage(display, root, left, top, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (image == nullptr) {
        return 1;
    }
    cv::Mat picture(height, width, CV_8UC3);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const unsigned long pixel = XGetPixel(image, column, row);
            picture.at<cv::Vec3b>(row, column) =
                cv::Vec3b(uchar(pixel & 0xff), uchar((pixel >> 8) & 0xff), uchar((pixel >> 16) & 0xff));
        }
    }
    XDestroyImage(image);
    return cv::imwrite(file, picture) ? 0 : 1;
}

// The outermost window holding this one below the root: the window
// manager's frame, or the window itself without a window manager.
Window frame_of(Display* display, Window window)
{
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    while (XQueryTree(display, window, &root, &parent, &children, &count) != 0) {
        if (children != nullptr) {
            XFree(children);
        }
        if (parent == root) {
            break;
        }
        window = parent;
    }
    return window;
}

int print_frame(Display* display, Window window)
{
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, frame_of(display, window), &attributes) == 0) {
        return 1;
    }
    std::printf("%d %d %d %d\n", attributes.x, attributes.y, attributes.width, attributes.height);
    return 0;
}

// Windows titled so, among the root's children and theirs (a window
// manager's frames hold the programs' windows).
void titled(Display* display, Window window, const std::string& title, int depth, std::vector<Window>& found)
{
    char* name = nullptr;
    if (XFetchName(display, window, &name) != 0 && name != nullptr) {
        if (title == name) {
            found.push_back(window);
        }
        XFree(name);
    }
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (depth > 0 && XQueryTree(display, window, &root, &parent, &children, &count) != 0) {
        for (unsigned i = 0; i < count; ++i) {
            titled(display, children[i], title, depth - 1, found);
        }
    }
    if (children != nullptr) {
        XFree(children);
    }
}

long long now_ms()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int watch(Display* display, const std::string& title, double seconds)
{
    // A window may go while it is looked at: that is no error here.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    const auto start = std::chrono::steady_clock::now();
    std::map<Window, std::string> last;
    while (std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds)) {
        std::vector<Window> found;
        titled(display, DefaultRootWindow(display), title, 3, found);
        const long long ms = now_ms();
        for (const Window window : found) {
            XWindowAttributes client;
            XWindowAttributes frame;
            if (XGetWindowAttributes(display, window, &client) == 0 ||
                XGetWindowAttributes(display, frame_of(display, window), &frame) == 0) {
                continue;
            }
            const std::string state = std::string(client.map_state == IsViewable ? "mapped" : "unmapped") +
                                      " " + std::to_string(frame.x) + " " + std::to_string(frame.y) + " " +
                                      std::to_string(frame.width) + " " + std::to_string(frame.height);
            if (last[window] != state) {
                last[window] = state;
                std::printf("%lld %lu %s\n", ms, window, state.c_str());
                std::fflush(stdout);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return 0;
}

int print_pointer(Display* display)
{
    XFixesCursorImage* cursor = XFixesGetCursorImage(display);
    if (cursor == nullptr) {
        return 1;
    }
    if (cursor->name != nullptr && cursor->name[0] != '\0') {
        std::printf("%s\n", cursor->name);
    } else {
        unsigned long sum = 0;
        for (int i = 0; i < int(cursor->width) * int(cursor->height); ++i) {
            sum = sum * 31 + cursor->pixels[i];
        }
        std::printf("%dx%d-%lx\n", int(cursor->width), int(cursor->height), sum);
    }
    XFree(cursor);
    return 0;
}

// The owner answers a ping by sending it on to the root window, where the
// window manager (and here we) listen. The first window titled so that is
// mapped, from when it is, until the time is up or it is gone.
int ping(Display* display, const std::string& title, double seconds)
{
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    const Window root = DefaultRootWindow(display);
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom ping_atom = XInternAtom(display, "_NET_WM_PING", False);
    XSelectInput(display, root, StructureNotifyMask | SubstructureNotifyMask);
    XSync(display, False);
    const long long start = now_ms();
    const auto time_left = [&] { return now_ms() - start < seconds * 1000; };
    Window window = 0;
    while (window == 0 && time_left()) {
        std::vector<Window> found;
        titled(display, root, title, 3, found);
        for (const Window candidate : found) {
            XWindowAttributes attributes;
            if (window == 0 && XGetWindowAttributes(display, candidate, &attributes) != 0 &&
                attributes.map_state == IsViewable) {
                window = candidate;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::map<long, long long> sent; // the ping's number, carried as its time, to when it went
    std::map<long, long long> waited;
    XWindowAttributes attributes;
    for (long long next_at = now_ms();
         window != 0 && time_left() && XGetWindowAttributes(display, window, &attributes) != 0;) {
        if (now_ms() >= next_at) {
            const long number = long(sent.size()) + 1;
            XEvent event{};
            event.xclient.type = ClientMessage;
            event.xclient.window = window;
            event.xclient.message_type = protocols;
            event.xclient.format = 32;
            event.xclient.data.l[0] = long(ping_atom);
            event.xclient.data.l[1] = number;
            event.xclient.data.l[2] = long(window);
            XSendEvent(display, window, False, NoEventMask, &event);
            XFlush(display);
            sent[number] = now_ms();
            next_at += 100;
        }
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == ClientMessage && event.xclient.message_type == protocols &&
                Atom(event.xclient.data.l[0]) == ping_atom && sent.count(event.xclient.data.l[1]) != 0) {
                waited.emplace(event.xclient.data.l[1], now_ms() - sent[event.xclient.data.l[1]]);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const long long end = now_ms();
    for (const auto& [number, when] : sent) {
        const auto answer = waited.find(number);
        std::printf("%lld %lld %s\n", when, answer != waited.end() ? answer->second : end - when,
                    answer != waited.end() ? "answered" : "unanswered");
    }
    return 0;
}

// A window of a colour no program shows, over the window's place and not
// managed, so that uncovering it asks the window to paint that part again.
int cover(Display* display, Window window)
{
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, window, &attributes) == 0) {
        return 1;
    }
    int x = 0;
    int y = 0;
    Window child;
    const Window root = DefaultRootWindow(display);
    XTranslateCoordinates(display, window, root, 0, 0, &x, &y, &child);
    XSetWindowAttributes settings{};
    settings.override_redirect = True;
    settings.background_pixel = 0xff00ff;
    const Window lid = XCreateWindow(display, root, x, y, unsigned(attributes.width),
                                     unsigned(attributes.height), 0, CopyFromParent, InputOutput,
                                     CopyFromParent, CWOverrideRedirect | CWBackPixel, &settings);
    XMapRaised(display, lid);
    XSync(display, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    XDestroyWindow(display, lid);
    XSync(display, False);
    return 0;
}

// Startup notification: messages of 20 bytes a piece to the root window,
// the first of each as _NET_STARTUP_INFO_BEGIN, up to a zero byte.
int startup(Display* display, double seconds)
{
    const Window root = DefaultRootWindow(display);
    const Atom begin = XInternAtom(display, "_NET_STARTUP_INFO_BEGIN", False);
    const Atom more = XInternAtom(display, "_NET_STARTUP_INFO", False);
    XSelectInput(display, root, PropertyChangeMask);
    XSync(display, False);
    const long long start = now_ms();
    std::string message;
    while (now_ms() - start < seconds * 1000) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != ClientMessage ||
                (event.xclient.message_type != begin && event.xclient.message_type != more)) {
                continue;
            }
            if (event.xclient.message_type == begin) {
                message.clear();
            }
            for (const char byte : event.xclient.data.b) {
                if (byte == 0) {
                    std::printf("%s\n", message.c_str());
                    std::fflush(stdout);
                    message.clear();
                    break;
                }
                message += byte;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return 0;
}

// A window manager that follows the common conventions says so on the root window.
int manager_runs(Display* display)
{
    Atom type = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long left = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, DefaultRootWindow(display),
                                          XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False), 0, 1,
                                          False, AnyPropertyType, &type, &format, &items, &left, &data);
    if (data != nullptr) {
        XFree(data);
    }
    return status == Success && items > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const bool close = argc == 3 && std::strcmp(argv[1], "close") == 0;
    const bool shot = argc == 4 && std::strcmp(argv[1], "shot") == 0;
    const bool frame = argc == 3 && std::strcmp(argv[1], "frame") == 0;
    const bool manager = argc == 2 && std::strcmp(argv[1], "manager") == 0;
    const bool watching = argc == 4 && std::strcmp(argv[1], "watch") == 0;
    const bool pointer = argc == 2 && std::strcmp(argv[1], "pointer") == 0;
    const bool pinging = argc == 4 && std::strcmp(argv[1], "ping") == 0;
    const bool covering = argc == 3 && std::strcmp(argv[1], "cover") == 0;
    const bool starting = argc == 3 && std::strcmp(argv[1], "startup") == 0;
    if (!close && !shot && !frame && !manager && !watching && !pointer && !pinging && !covering &&
        !starting) {
        std::fprintf(stderr, "usage: xwindow close WINDOW | shot WINDOW FILE | frame WINDOW | manager | "
                             "watch TITLE SECONDS | pointer | ping TITLE SECONDS | cover WINDOW | "
                             "startup SECONDS\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "xwindow: cannot open the display\n");
        return 1;
    }
    if (watching || pointer || starting || pinging) {
        const int status = watching   ? watch(display, argv[2], std::atof(argv[3]))
                           : pinging  ? ping(display, argv[2], std::atof(argv[3]))
                           : starting ? startup(display, std::atof(argv[2]))
                                      : print_pointer(display);
        XCloseDisplay(display);
        return status;
    }
    const Window window = manager                             ? 0
                          : std::strcmp(argv[2], "root") == 0 ? DefaultRootWindow(display)
                                                              : Window(std::strtoul(argv[2], nullptr, 0));
    const int status = manager    ? manager_runs(display)
                       : close    ? close_window(display, window)
                       : frame    ? print_frame(display, window)
                       : covering ? cover(display, window)
                                  : shoot_window(display, window, argv[3]);
    XCloseDisplay(display);
    return status;
}
