#include "common.hpp"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>

#include "failure.hpp"
#include "fit.hpp"
#include "heif_picture.hpp"
#include "screen.hpp"

namespace common {
namespace {

// The windows made so far in this run, in order, and how each shows its picture.
struct Window {
    std::string name;
    cv::Size picture; // the size of the pictures it shows
    Fit fit;
    bool on_screen = false;
    bool shown = false;
};
std::vector<Window> windows_made;
// The sliders made, with where the window system stores their positions,
// and where the first work holds them (`working`): a move then is refused.
struct Slider {
    std::string label;
    std::string window;
    int* value;
    int held = 0;
};
std::vector<Slider> sliders_made;
bool working = false;
// The free area of the screen, when a window system answers for one.
std::optional<cv::Rect> desk;
bool decided = false;
bool busy = false;

void forget_windows()
{
    windows_made.clear();
    sliders_made.clear();
    desk.reset();
    decided = false;
    working = false;
    if (busy) {
        screen::busy(false);
        busy = false;
    }
}

Window& made(const std::string& name)
{
    for (Window& window : windows_made) {
        if (window.name == name) {
            return window;
        }
    }
    throw std::logic_error("no window '" + name + "' was made");
}

// Where every window stands and at what scale, decided once all are made
// (with their sliders), before the first is placed.
void decide()
{
    if (decided || !desk) {
        return;
    }
    decided = true;
    std::vector<Shown> shown;
    for (const Window& window : windows_made) {
        shown.push_back({window.picture, screen::chrome_of(window.name)});
    }
    const std::vector<Fit> fits = fit(shown, *desk);
    for (size_t i = 0; i < fits.size(); ++i) {
        windows_made[i].fit = fits[i];
    }
}

// What the status bar says of a work: its words, and its share done when known.
std::string progress_text(const Progress& progress)
{
    const long total = progress.total;
    if (total <= 0) {
        return progress.doing;
    }
    const long share = std::min(100L, progress.done * 100 / total);
    return progress.doing + ": " + std::to_string(share) + " %";
}

// Closed by the user: once shown, a window the window system no longer shows.
bool closed(const Window& window)
{
    return window.shown && cv::getWindowProperty(window.name, cv::WND_PROP_VISIBLE) <= 0;
}

// Runs the work on a thread of its own while this one attends to the
// windows, until the work is done; the user ending the program meanwhile
// ends it at once.
void work_while_attending(Progress& progress, const std::function<void(Progress&)>& work)
{
    // The library's window calls, and the toolkit's, stay on this thread:
    // the toolkit answers only on the thread that made the windows.
    std::string told = progress_text(progress);
    screen::tell(told);
    // What came before the work, a close in its first instant among it.
    if (screen::attend(0)) {
        std::_Exit(0);
    }
    std::atomic<bool> done{false};
    std::exception_ptr work_failure;
    std::thread worker;
    try {
        worker = std::thread([&] {
            try {
                work(progress);
            } catch (...) {
                work_failure = std::current_exception();
            }
            done = true;
            screen::wake();
        });
    } catch (const std::system_error&) {
        // No thread to be had: the work as before, the windows waiting.
        work(progress);
        return;
    }
    // Often enough that the share told moves at least four times a second.
    constexpr int telling_step_ms = 100;
    std::exception_ptr windows_failure;
    try {
        while (!done) {
            const std::string text = progress_text(progress);
            if (text != told) {
                screen::tell(text);
                told = text;
            }
            if (screen::attend(telling_step_ms)) {
                // The user is done with the program: it ends now, as after
                // its result. The work writes nothing, so abandoning it on
                // its thread loses nothing; returning would tear down what
                // it reads.
                std::_Exit(0);
            }
        }
    } catch (...) {
        // The work cannot be stopped, and what it reads must outlive it:
        // the windows go now, the failure once it is done.
        windows_failure = std::current_exception();
        cv::destroyAllWindows();
    }
    worker.join();
    if (windows_failure || work_failure) {
        std::rethrow_exception(windows_failure ? windows_failure : work_failure);
    }
}

} // namespace

bool read_picture(int argc, char** argv, int index, cv::Mat& picture)
{
    picture.release();
    try {
        if (index < argc) {
            heif_picture::start();
            picture = cv::imread(std::string(argv[index]), cv::IMREAD_COLOR);
            // What phones save, which the library does not read.
            if (picture.empty()) {
                heif_picture::read(argv[index], picture);
            }
        }
    } catch (const cv::Exception& error) {
        // The library throws, rather than reading nothing, for a header that
        // claims a size it cannot hold: that file is unreadable like any
        // other. Running out of memory is not.
        if (error.code == cv::Error::StsNoMem) {
            throw;
        }
    }
    return picture.data != nullptr;
}

int fail(const char* program, const std::exception& failure, cv::Size picture_size)
{
    cv::destroyAllWindows();
    forget_windows();
    std::cerr << program << ": " << failure_reason(failure, picture_size) << std::endl;
    return -1;
}

void guard_move(const char* program, void (*move)(), cv::Size picture_size, const char* what_stays)
{
    if (working) {
        // Set back where the work runs; setting it calls back here again.
        for (const Slider& slider : sliders_made) {
            if (*slider.value != slider.held) {
                *slider.value = slider.held;
                cv::setTrackbarPos(slider.label, slider.window, slider.held);
            }
        }
        return;
    }
    try {
        move();
    } catch (const std::exception& failure) {
        std::cerr << program << ": " << failure_reason(failure, picture_size) << "; " << what_stays
                  << std::endl;
    }
}

void make_window(const std::string& name, cv::Size picture)
{
    if (windows_made.empty()) {
        desk = screen::area();
    }
    // Where a screen is known the window is sized by us, to hug its picture;
    // auto-sized, it would be as wide as its toolbar.
    cv::namedWindow(name, desk ? cv::WINDOW_NORMAL | cv::WINDOW_KEEPRATIO : cv::WINDOW_AUTOSIZE);
    windows_made.push_back({name, picture, Fit(), false, false});
}

double shrink_of(const std::string& name)
{
    decide();
    return made(name).fit.shrink;
}

void first_work(const std::string& doing, const std::vector<std::pair<std::string, cv::Mat>>& until_done,
                const std::function<void(Progress&)>& work, const std::function<void()>& show_result)
{
    Progress progress{doing};
    if (windows_made.empty()) {
        throw std::logic_error("the windows come before the first work");
    }
    if (!desk) {
        work(progress);
        show_result();
        return;
    }
    decide();
    for (const auto& [name, image] : until_done) {
        // Made only to be shown: the library keeps a copy of its own.
        show(name, image.empty() ? cv::Mat(cv::Mat::zeros(made(name).picture, CV_8UC1)) : image);
    }
    screen::catch_up();
    // Once painted: a slider greyed before it was first painted comes back
    // drawn otherwise with some toolkit releases.
    screen::busy(true);
    busy = true;
    for (Slider& slider : sliders_made) {
        slider.held = *slider.value;
    }
    working = true;
    work_while_attending(progress, work);
    working = false;
    // A close the work's end raced with is taken before the result.
    if (screen::attend(0)) {
        std::_Exit(0);
    }
    show_result();
    // The result is up: the usual pointer, live sliders, the status bar's own.
    screen::tell("");
    screen::busy(false);
    busy = false;
}

void show(const std::string& name, const cv::Mat& image)
{
    decide();
    Window& window = made(name);
    // The library would make a closed window anew.
    if (closed(window)) {
        return;
    }
    cv::imshow(name, image);
    window.shown = true;
    if (desk && !window.on_screen) {
        const Fit& fit = window.fit;
        screen::place(name, fit.picture, fit.placed ? std::optional<cv::Point>(fit.corner) : std::nullopt);
        window.on_screen = true;
    }
}

void make_slider(const std::string& label, const std::string& window, int* value, int maximum,
                 cv::TrackbarCallback on_move)
{
    // This library release warns on stderr about a slider bound to a variable;
    // the binding is what we want, so the warning is hushed for this one call.
    if (decided) {
        throw std::logic_error("a slider is made before its window is placed, which measures it");
    }
    const auto log_level = cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
    cv::createTrackbar(label, window, value, maximum, on_move, nullptr);
    cv::utils::logging::setLogLevel(log_level);
    sliders_made.push_back({label, window, value, *value});
}

void wait_for_key()
{
    // With this window backend waitKey(0) never returns once the user has
    // closed the windows, so wait in steps and stop when all are gone.
    auto any_open = [&] {
        for (const Window& window : windows_made) {
            if (cv::getWindowProperty(window.name, cv::WND_PROP_VISIBLE) > 0) {
                return true;
            }
        }
        return false;
    };
    // A key pressed with Ctrl held is the window's own (zoom, pan), which
    // the library counts when Shift is held too, as for Ctrl++.
    while (!(cv::waitKey(50) >= 0 && screen::ending_key()) && any_open()) {}
    forget_windows();
}

} // namespace common
