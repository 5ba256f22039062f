// What the five programs do alike: read the picture, say in one line why
// they give up, make their windows and slider, and wait for the key.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>

#include "fit.hpp"
#include "progress.hpp"

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
// ending in `what_stays`, and the program goes on. During the first work a
// move is refused at once and the slider set back: the work reads the
// program's data.
void guard_move(const char* program, void (*move)(), cv::Size picture_size, const char* what_stays);

// A window for pictures of this size; wait_for_key watches it. Where a
// screen is known, it stays off screen until it first shows something, then
// comes up at its final size and place: the picture 1:1 with the window's
// parts around it, or scaled down into its share of the screen (fit.hpp).
// All of a program's windows, and their sliders, are made before any shows.
void make_window(const std::string& name, cv::Size picture);

// How many picture pixels a screen pixel of the window stands for: 1 when it
// shows its picture 1:1, more when it is scaled down to fit the screen.
double shrink_of(const std::string& window);

// The first work of a program whose windows come before it, from the
// windows and sliders made to the result on screen. Where a screen is known:
// every window comes up showing its image of `until_done` (something
// neutral; an empty one: dark, made only as it is shown), with the busy
// pointer and the sliders held; `work` runs on a thread of its own while
// this one, the windows' own, keeps them alive: they answer the desktop and
// repaint, and their status bar tells `progress`. Then `show_result` runs
// here, and the pointer and sliders are as usual again. A key, or closing
// every window, ends the program at once with status 0, the work abandoned;
// a window closed stays closed. Where no screen is known: the work, then the
// result. What either thread throws is thrown here, once the work has
// stopped.
void first_work(const std::string& doing, const std::vector<std::pair<std::string, cv::Mat>>& until_done,
                const std::function<void(Progress&)>& work, const std::function<void()>& show_result);

// cv::imshow; a window's first picture brings it on screen. A window the
// user has closed stays closed.
void show(const std::string& window, const cv::Mat& image);

// A slider bound to `value`, which the window system sets before it calls back.
void make_slider(const std::string& label, const std::string& window, int* value, int maximum,
                 cv::TrackbarCallback on_move);

// Returns on a key in any window made by make_window, or once none of them
// is open any more.
void wait_for_key();

} // namespace common
