// fit: how a window shows a picture on a screen it may not fit.
//
// A window whose picture, with the window's own parts (toolbar, sliders,
// status bar, the window manager's frame), fits the screen's free area shows
// it 1:1 as it always has. One that does not fit opens at the largest size
// that does, in its share of the area when the program has several windows
// side by side, showing the whole picture scaled down with its aspect kept.
#pragma once

#include <opencv2/core.hpp>

namespace common {

struct Fit {
    bool fitted = false; // false: the picture 1:1 in a window sized to it, placed by the window system
    cv::Rect frame;      // fitted: where the window stands, its frame included
    cv::Size picture;    // fitted: the picture's size on screen
    double shrink = 1;   // picture pixels to a screen pixel, 1 or more
};

// The fit of a picture in window `slot` of `slots`, for a window that adds
// `chrome` around its picture and is at least `least_width` wide (its
// toolbar), on a screen whose free area is `area`.
Fit fit(cv::Size picture, cv::Size chrome, int least_width, cv::Rect area, int slot, int slots);

// The thickness of a mark drawn `thickness` pixels thick at 1:1, for a
// picture shown `shrink` times smaller: thick enough that scaling down by
// picking pixels keeps it.
int mark_thickness(int thickness, double shrink);

} // namespace common
