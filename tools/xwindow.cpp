// xwindow: what a window manager and a screen grabber do to a window, for the
// demo and the real-window tests (an X server with no window manager).
//   xwindow close WINDOW        ask the window's owner to close it (WM_DELETE_WINDOW)
//   xwindow shot WINDOW FILE    save what the screen shows of the window as a picture
//                               (WINDOW "root": the whole screen)
//   xwindow frame WINDOW        print where the window's frame stands: X Y WIDTH HEIGHT
//   xwindow manager             succeed when a window manager runs
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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
int print_frame(Display* display, Window window)
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
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, window, &attributes) == 0) {
        return 1;
    }
    std::printf("%d %d %d %d\n", attributes.x, attributes.y, attributes.width, attributes.height);
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
    if (!close && !shot && !frame && !manager) {
        std::fprintf(stderr, "usage: xwindow close WINDOW | shot WINDOW FILE | frame WINDOW | manager\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "xwindow: cannot open the display\n");
        return 1;
    }
    const Window window = manager                             ? 0
                          : std::strcmp(argv[2], "root") == 0 ? DefaultRootWindow(display)
                                                              : Window(std::strtoul(argv[2], nullptr, 0));
    const int status = manager ? manager_runs(display)
                       : close ? close_window(display, window)
                       : frame ? print_frame(display, window)
                               : shoot_window(display, window, argv[3]);
    XCloseDisplay(display);
    return status;
}
