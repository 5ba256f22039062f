// What the five programs do alike: read the picture, say in one line why
// they give up, make their windows and slider, and wait for the key.
#pragma once

#include <exception>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>

#include "fit.hpp"

namespace common {

// Reads the picture named by argument `index` as 8-bit colour, whatever the
// file holds; false, with `picture` empty, when there is no such argument or
// the file cannot be read. Running out of memory while reading is thrown.
bool read_picture(int argc, char** argv, int index, cv::Mat& picture);

// Ends a run whose work threw before the first wait, as running out of
// memory makes the library do: closes any window opened and says why on
// standard error, one line naming the program, instead of aborting.
// Returns main's status for it, -1.
int fail(const char* program, const std::exception& failure, cv::Size picture_size);

// A slider move, run from the window toolkit's event loop, which cannot
// carry an exception: a move the library fails on is refused with one line
// ending in `what_stays`, and the program goes on.
void guard_move(const char* program, void (*move)(), cv::Size picture_size, const char* what_stays);

// A window sized to the picture it shows; wait_for_key watches it.
void make_window(const std::string& name);

// How many picture pixels a screen pixel of the window stands for when it
// shows a picture of this size: 1 when it shows it 1:1, more when the window
// is fitted to a screen it would not fit (fit.hpp). The first call for a
// window decides, for good.
double shrink_of(const std::string& window, cv::Size picture);

// cv::imshow, but the first time a window shows a picture too large for the
// screen, the window is fitted: remade in the library's scaling mode, sized
// and placed. What it is given stays the full picture.
void show(const std::string& window, const cv::Mat& image);

// A slider bound to `value`, which the window system sets before it calls back.
void make_slider(const std::string& label, const std::string& window, int* value, int maximum,
                 cv::TrackbarCallback on_move);

// Returns on a key in any window made by make_window, or once none of them
// is open any more.
void wait_for_key();

} // namespace common
