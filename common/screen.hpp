// What the window system knows of a window's place, asked of the toolkit the
// library's windows run on (the library's own window calls cannot tell).
// Programs link the real one; the tests and the benchmark stand in for it,
// and where no window system answers there is nothing to know.
#pragma once

#include <optional>
#include <string>

#include <opencv2/core.hpp>

namespace screen {

struct Desk {
    cv::Rect area;   // the free area of the screen the window stands on, panels excluded
    cv::Size chrome; // what the window adds around its picture, frame included
    cv::Size frame;  // what the window manager's frame adds
    int least_width; // the narrowest the window is at its picture's size (its toolbar), frame included
};

// Nothing when no window system answers for the window. Asked before the
// window shows anything.
std::optional<Desk> desk_of(const std::string& window);

// Lets the window system catch up with a new window (show it, frame it), so
// that it can be placed; returns where the window's frame stands, empty if unknown.
cv::Rect settle(const std::string& window);

} // namespace screen
