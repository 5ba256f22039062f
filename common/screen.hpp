// What the window system knows and does for the windows, through the toolkit
// the library's windows run on (the library's own window calls can neither
// tell where a window may go nor place it before it shows). Programs link
// the real one; the tests and the benchmark stand in for it, and where no
// window system answers there is nothing to know.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include <opencv2/core.hpp>

namespace screen {

// A window system named but not to be reached: the toolkit would abort.
struct Unreachable : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Asked before the first window is made: the free area (panels excluded) of
// the screen where new windows go, or nothing when no window system
// answers. From then on, every window the library makes stays off screen
// until it is placed. Throws Unreachable for an X display that cannot be
// reached.
std::optional<cv::Rect> area();

// What a window made with its sliders, but not yet placed, adds around its
// picture: its parts (toolbar, sliders, status bar) and the window manager's
// frame, all in `chrome`.
cv::Size chrome_of(const std::string& window);

// Puts a window on screen at its final size, its picture `picture` large,
// the top-left of its frame at `corner`, or where the window system puts it
// when there is none.
void place(const std::string& window, cv::Size picture, std::optional<cv::Point> corner);

// Lets the windows placed come up on screen and paint; the user's keys and
// clicks wait for the program's own wait.
void catch_up();

// While the program's first work runs: the busy pointer over its windows and
// their sliders greyed, so that no move comes before the first result; or
// the usual pointer and live sliders again.
void busy(bool on);

// Runs the window system's events, the user's included, for up to
// `milliseconds` or until wake(): the windows answer the window manager,
// repaint and take the user's input while the work runs on another thread.
// True once the user has asked the program to end: a key that ends it
// (ending_key) pressed in one of its windows, or every one of them closed.
bool attend(int milliseconds);

// Whether a key that ends the program has reached one of its windows since
// last asked: any key the library's wait counts, but one pressed with Ctrl
// held, which is the window's own (zoom, pan).
bool ending_key();

// From any thread: attend returns now.
void wake();

// What every window's status bar says; "" gives it back its own indications.
void tell(const std::string& text);

} // namespace screen
