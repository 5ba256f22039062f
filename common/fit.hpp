// fit: where a program's windows stand on a screen, and at what scale they
// show their pictures.
//
// Every window hugs its picture: the picture 1:1 with the window's own parts
// (toolbar, sliders, status bar, the window manager's frame) around it. A
// program's windows stand side by side when they all fit so; otherwise each
// takes an equal share of the free area, left to right, and a picture too
// large for its share is scaled down into it, its aspect kept.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace common {

// What a window is to show, and what it adds around it.
struct Shown {
    cv::Size picture;
    cv::Size chrome; // its parts around the picture, the window manager's frame included
};

struct Fit {
    bool placed = false; // false: wherever the window system puts it (a lone window that fits)
    cv::Point corner;    // placed: where the window's frame begins
    cv::Size picture;    // the picture's size on screen
    double shrink = 1;   // picture pixels to a screen pixel, 1 or more
};

// The fit of every window of a program, in the order made, on a screen whose
// free area is `area`.
std::vector<Fit> fit(const std::vector<Shown>& windows, cv::Rect area);

// The thickness of a mark drawn `thickness` pixels thick at 1:1, for a
// picture shown `shrink` times smaller: thick enough that scaling down by
// picking pixels keeps it.
int mark_thickness(int thickness, double shrink);

} // namespace common
