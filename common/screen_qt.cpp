// The window system's answers and actions, through Qt: the library's window
// layer runs on it and takes the application it finds, so this unit makes
// the application first and keeps each new window off screen until placed.
#include "screen.hpp"

#include <atomic>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <map>

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QGraphicsView>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>

// Named before Xlib's macro of the same name.
constexpr QEvent::Type key_press_event = QEvent::KeyPress;

// After Qt's headers, whose names Xlib's macros would clash with.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace screen {
namespace {

constexpr const char* placed_mark = "suite_placed";

// A key has reached one of the windows placed (the library takes it as well).
bool key_pressed = false;
// wake() was called since attend last looked.
std::atomic<bool> woken{false};

// A new window of the library's stays off screen until placed, so that it
// is first seen at its final size and place: it is shown with the toolkit's
// off-screen attribute, set as its show begins. Keys are noted on the way.
class HoldNewWindows : public QObject {
  protected:
    bool eventFilter(QObject* target, QEvent* event) override
    {
        if (event->type() == QEvent::Show && target->inherits("CvWindow") &&
            !target->property(placed_mark).toBool()) {
            static_cast<QWidget*>(target)->setAttribute(Qt::WA_DontShowOnScreen, true);
        }
        if (event->type() == key_press_event && target->isWidgetType() &&
            static_cast<QWidget*>(target)->window()->property(placed_mark).toBool()) {
            key_pressed = true;
        }
        return false;
    }
};

// The library's windows, placed or not.
QList<QWidget*> library_windows()
{
    QList<QWidget*> found;
    if (QApplication::instance() != nullptr) {
        for (QWidget* candidate : QApplication::topLevelWidgets()) {
            if (candidate->inherits("CvWindow")) {
                found.push_back(candidate);
            }
        }
    }
    return found;
}

QWidget* window_named(const std::string& name)
{
    if (QApplication::instance() == nullptr) {
        return nullptr;
    }
    for (QWidget* candidate : QApplication::topLevelWidgets()) {
        if (candidate->windowTitle() == QString::fromStdString(name)) {
            return candidate;
        }
    }
    return nullptr;
}

// Layouts and the queued showing of new sliders, without the user's input.
void lay_out()
{
    for (int pass = 0; pass < 3; ++pass) {
        QCoreApplication::sendPostedEvents();
    }
}

// What the window manager's frame adds on each side of a window.
struct Extents {
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;
};

Display* x_display()
{
    static Display* const display =
        QGuiApplication::platformName() == "xcb" ? XOpenDisplay(nullptr) : nullptr;
    return display;
}

bool supported_by_window_manager(Display* display, Atom feature)
{
    const Window root = DefaultRootWindow(display);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long left = 0;
    unsigned char* data = nullptr;
    bool supported = false;
    if (XGetWindowProperty(display, root, XInternAtom(display, "_NET_SUPPORTED", False), 0, 4096, False,
                           XA_ATOM, &type, &format, &count, &left, &data) == Success &&
        data != nullptr && format == 32) {
        const auto* atoms = reinterpret_cast<const Atom*>(data);
        for (unsigned long i = 0; i < count && !supported; ++i) {
            supported = atoms[i] == feature;
        }
    }
    if (data != nullptr) {
        XFree(data);
    }
    return supported;
}

std::optional<Extents> read_extents(Display* display, Window window)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long left = 0;
    unsigned char* data = nullptr;
    std::optional<Extents> extents;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_FRAME_EXTENTS", False), 0, 4, False,
                           XA_CARDINAL, &type, &format, &count, &left, &data) == Success &&
        data != nullptr && format == 32 && count == 4) {
        const auto* sides = reinterpret_cast<const long*>(data);
        extents = Extents{int(sides[0]), int(sides[1]), int(sides[2]), int(sides[3])};
    }
    if (data != nullptr) {
        XFree(data);
    }
    return extents;
}

// The frame a window will get, asked of the window manager before the window
// is mapped, so that it can be placed and sized with it. Without a window
// manager that answers such a question there is no frame to wait for.
Extents frame_of(QWidget* window)
{
    static std::map<QWidget*, Extents> known;
    if (const auto found = known.find(window); found != known.end()) {
        return found->second;
    }
    Extents extents;
    Display* display = x_display();
    const Atom request =
        display != nullptr ? XInternAtom(display, "_NET_REQUEST_FRAME_EXTENTS", False) : Atom(None);
    if (display != nullptr && supported_by_window_manager(display, request)) {
        const auto id = Window(window->winId());
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = id;
        event.xclient.message_type = request;
        event.xclient.format = 32;
        XSendEvent(display, DefaultRootWindow(display), False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XFlush(display);
        // The manager answers in a few milliseconds; the limit only guards
        // against one that never does.
        QElapsedTimer waited;
        waited.start();
        std::optional<Extents> answer = read_extents(display, id);
        while (!answer && waited.elapsed() < 500) {
            QThread::msleep(1);
            answer = read_extents(display, id);
        }
        extents = answer.value_or(Extents{});
    }
    known[window] = extents;
    return extents;
}

// A window manager that follows the common conventions says so on the root window.
bool window_manager_runs(Display* display)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long left = 0;
    unsigned char* data = nullptr;
    const bool runs = XGetWindowProperty(display, DefaultRootWindow(display),
                                         XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False), 0, 1, False,
                                         AnyPropertyType, &type, &format, &count, &left, &data) == Success &&
                      count > 0;
    if (data != nullptr) {
        XFree(data);
    }
    return runs;
}

// Whether the window system tells the frame a window gets and where the
// panels are: X without a window manager (no frame, no panels), or with one
// that answers for its frames and keeps the work area. Not so on Wayland,
// where a client can learn neither.
bool frame_and_panels_known()
{
    Display* display = x_display();
    if (display == nullptr) {
        return false;
    }
    return !window_manager_runs(display) ||
           (supported_by_window_manager(display, XInternAtom(display, "_NET_REQUEST_FRAME_EXTENTS", False)) &&
            supported_by_window_manager(display, XInternAtom(display, "_NET_WORKAREA", False)));
}

// What the window's parts take around the view, once laid out.
cv::Size parts_of(QWidget* window, QGraphicsView* view)
{
    lay_out();
    QLayout* layout = window->layout();
    if (layout == nullptr) {
        return {};
    }
    // Some library releases align the status bar in its row, which leaves it
    // at its narrowest, a few pixels wide: across the window it can be read.
    if (auto* bar = window->findChild<QStatusBar*>()) {
        layout->setAlignment(bar, Qt::Alignment());
    }
    const QMargins margins = layout->contentsMargins();
    return {margins.left() + margins.right(), layout->sizeHint().height() - view->sizeHint().height()};
}

} // namespace

std::optional<cv::Rect> area()
{
    // No window system to ask: making the application would abort the
    // process, where a program whose window calls are stood in for (the
    // benchmark's shim) runs on without one.
    const auto set = [](const char* name) { return std::getenv(name) != nullptr && *std::getenv(name) != 0; };
    if (QApplication::instance() == nullptr && !set("DISPLAY") && !set("WAYLAND_DISPLAY") &&
        !set("QT_QPA_PLATFORM")) {
        return std::nullopt;
    }
    if (QApplication::instance() == nullptr) {
        // Lives as long as the process, as the library's own would.
        static int argc = 1;
        static char* argv[] = {program_invocation_short_name, nullptr};
        new QApplication(argc, argv);
        // As the library sets it when it makes the application itself.
        std::setlocale(LC_NUMERIC, "C");
        QApplication::instance()->installEventFilter(new HoldNewWindows);
    }
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return std::nullopt;
    }
    const QRect free = screen->availableGeometry();
    const cv::Rect area(free.x(), free.y(), free.width(), free.height());
    if (frame_and_panels_known()) {
        return area;
    }
    // Room for a title bar and a panel that cannot be known: the windows get
    // this share of each side, centred (HACKING).
    constexpr double known_share = 0.85;
    const cv::Size shared(int(area.width * known_share), int(area.height * known_share));
    return cv::Rect(area.tl() + cv::Point(area.width - shared.width, area.height - shared.height) / 2,
                    shared);
}

cv::Size chrome_of(const std::string& name)
{
    QWidget* window = window_named(name);
    QGraphicsView* view = window != nullptr ? window->findChild<QGraphicsView*>() : nullptr;
    if (view == nullptr) {
        return {};
    }
    const Extents frame = frame_of(window);
    return parts_of(window, view) + cv::Size(frame.left + frame.right, frame.top + frame.bottom);
}

void place(const std::string& name, cv::Size picture, std::optional<cv::Point> corner)
{
    QWidget* window = window_named(name);
    QGraphicsView* view = window != nullptr ? window->findChild<QGraphicsView*>() : nullptr;
    if (view == nullptr) {
        return;
    }
    // Sized while still off screen, then checked once: the view is exactly
    // the picture, which it then shows 1:1.
    const cv::Size parts = parts_of(window, view);
    window->resize(picture.width + parts.width, picture.height + parts.height);
    lay_out();
    window->resize(window->width() + picture.width - view->width(),
                   window->height() + picture.height - view->height());
    lay_out();

    window->hide();
    window->setProperty(placed_mark, true);
    window->setAttribute(Qt::WA_DontShowOnScreen, false);
    if (corner) {
        // The window's own place, inside the frame the manager will add.
        const Extents frame = frame_of(window);
        window->setGeometry(corner->x + frame.left, corner->y + frame.top, window->width(), window->height());
    }
    window->show();
}

void catch_up()
{
    // Until every window placed is on screen and painted, within a bound
    // for a window system that never says so.
    auto all_up = [] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->property(placed_mark).toBool() && window->isVisible() &&
                (window->windowHandle() == nullptr || !window->windowHandle()->isExposed())) {
                return false;
            }
        }
        return true;
    };
    QElapsedTimer waited;
    waited.start();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    while (!all_up() && waited.elapsed() < 1000) {
        QThread::msleep(1);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void busy(bool on)
{
    if (QApplication::instance() == nullptr) {
        return;
    }
    if (on) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (QApplication::overrideCursor() != nullptr) {
        QApplication::restoreOverrideCursor();
    }
    // A slider is the library's slider and the button of its label, which
    // opens a dialog that sets it.
    for (QWidget* window : library_windows()) {
        for (QSlider* slider : window->findChildren<QSlider*>()) {
            slider->setEnabled(!on);
        }
        for (QPushButton* label : window->findChildren<QPushButton*>()) {
            label->setEnabled(!on);
        }
    }
}

bool attend(int milliseconds)
{
    const auto all_closed = [] {
        for (QWidget* window : library_windows()) {
            if (window->property(placed_mark).toBool() && window->isVisible()) {
                return false;
            }
        }
        return true;
    };
    QTimer limit;
    limit.setSingleShot(true);
    limit.start(milliseconds);
    // Each pass waits for the next event: the window system's, the limit's
    // or wake()'s, so an answer to the window manager never waits.
    while (!woken.exchange(false) && limit.isActive() && !key_pressed && !all_closed()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return key_pressed || all_closed();
}

void wake()
{
    woken = true;
    // Any event ends attend's wait for one; this one means nothing.
    QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::User));
}

void tell(const std::string& text)
{
    for (QWidget* window : library_windows()) {
        if (auto* bar = window->findChild<QStatusBar*>()) {
            if (text.empty()) {
                bar->clearMessage();
            } else {
                bar->showMessage(QString::fromStdString(text));
            }
        }
    }
}

} // namespace screen
