// The window system's answers and actions, through Qt: the library's window
// layer runs on it and takes the application it finds, so this unit makes
// the application first and keeps each new window off screen until placed.
// What only the X window manager tells is asked of it in x_window_system.
#include "screen.hpp"

#include <atomic>
#include <utility>

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include "toolkit.hpp"
#include "x_window_system.hpp"

namespace screen {
namespace {

constexpr const char* placed_mark = "suite_placed";

// A key that ends the program has reached one of the windows placed, as the
// library takes it; since ending_key() last looked.
bool ending_key_pressed = false;
// A window has been placed: until then none can have been closed.
bool placed_any = false;
// wake() was called since attend last looked.
std::atomic<bool> woken{false};

// What the library's wait counts as a key, less one pressed with Ctrl held:
// Ctrl with +, -, arrows and Z are the window's zoom and pan, and the
// library counts Ctrl+Shift+=, which is Ctrl++ on a US layout.
bool ends_the_program(const QKeyEvent& key)
{
    return !key.modifiers().testFlag(Qt::ControlModifier) && key.key() != Qt::Key_Control;
}

// A new window of the library's stays off screen until placed, so that it
// is first seen at its final size and place: it is shown with the toolkit's
// off-screen attribute, set as its show begins. The keys that reach a
// placed window itself, as the library's own handler takes them, are noted.
class HoldNewWindows : public QObject {
  protected:
    bool eventFilter(QObject* target, QEvent* event) override
    {
        if (!target->inherits("CvWindow")) {
            return false;
        }
        const bool placed = target->property(placed_mark).toBool();
        if (event->type() == QEvent::Show && !placed) {
            static_cast<QWidget*>(target)->setAttribute(Qt::WA_DontShowOnScreen, true);
        }
        if (event->type() == QEvent::KeyPress && placed &&
            ends_the_program(*static_cast<QKeyEvent*>(event))) {
            ending_key_pressed = true;
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

bool placed(const QWidget* window)
{
    return window->property(placed_mark).toBool();
}

QWidget* window_named(const std::string& name)
{
    for (QWidget* candidate : library_windows()) {
        if (candidate->windowTitle() == QString::fromStdString(name)) {
            return candidate;
        }
    }
    return nullptr;
}

bool on_x()
{
    return QGuiApplication::platformName() == "xcb";
}

x_window_system::Extents frame_of(QWidget* window)
{
    return on_x() ? x_window_system::frame_of(window->winId()) : x_window_system::Extents{};
}

// Layouts and the queued showing of new sliders, without the user's input.
void lay_out()
{
    for (int pass = 0; pass < 3; ++pass) {
        QCoreApplication::sendPostedEvents();
    }
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

// The user has closed every window placed (the library deletes a closed one).
bool all_closed()
{
    for (QWidget* window : library_windows()) {
        if (placed(window) && window->isVisible()) {
            return false;
        }
    }
    return placed_any;
}

} // namespace

std::optional<cv::Rect> area()
{
    if (QApplication::instance() == nullptr) {
        if (!toolkit::start()) {
            return std::nullopt;
        }
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
    // Not so on Wayland, where a client can learn neither frame nor panels.
    if (on_x() && x_window_system::frame_and_panels_known()) {
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
    const x_window_system::Extents frame = frame_of(window);
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
    placed_any = true;
    window->setAttribute(Qt::WA_DontShowOnScreen, false);
    if (corner) {
        // The window's own place, inside the frame the manager will add.
        const x_window_system::Extents frame = frame_of(window);
        window->setGeometry(corner->x + frame.left, corner->y + frame.top, window->width(), window->height());
    }
    window->show();
}

void catch_up()
{
    // Until every window placed is on screen and painted, within a bound
    // for a window system that never says so.
    auto all_up = [] {
        for (QWidget* window : library_windows()) {
            if (placed(window) && window->isVisible() &&
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
    // opens a dialog that sets it. Held, it does not even tell the library
    // of a move: the library would store the position the work reads.
    for (QWidget* window : library_windows()) {
        for (QSlider* slider : window->findChildren<QSlider*>()) {
            slider->setEnabled(!on);
            slider->blockSignals(on);
        }
        for (QPushButton* label : window->findChildren<QPushButton*>()) {
            label->setEnabled(!on);
        }
    }
}

bool attend(int milliseconds)
{
    QTimer limit;
    limit.setSingleShot(true);
    limit.start(milliseconds);
    // Each pass waits for the next event: the window system's, the limit's
    // or wake()'s, so an answer to the window manager never waits. The
    // first takes what is there already, however short the limit.
    bool first = true;
    while ((first || (!woken.exchange(false) && limit.isActive())) && !ending_key_pressed && !all_closed()) {
        QCoreApplication::processEvents(
            milliseconds > 0 ? QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents : QEventLoop::AllEvents);
        first = false;
    }
    return ending_key_pressed || all_closed();
}

bool ending_key()
{
    return std::exchange(ending_key_pressed, false);
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
