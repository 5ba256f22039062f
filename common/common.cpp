#include "common.hpp"

#include <algorithm>
#include <iostream>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>
#include <vector>

#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>

#include "fit.hpp"
#include "screen.hpp"

namespace common {
namespace {

// The windows made so far in this run, in order, and how each shows its picture.
struct Window {
    std::string name;
    bool decided = false; // whether it fits is known
    Fit fit;
    cv::Size frame; // the window manager's frame, for a fitted window
    bool shown = false;
};
std::vector<Window> windows_made;

// The sliders made, to be made again on a window that is remade.
struct Slider {
    std::string label;
    std::string window;
    int* value;
    int maximum;
    cv::TrackbarCallback on_move;
};
std::vector<Slider> sliders_made;

void forget_windows()
{
    windows_made.clear();
    sliders_made.clear();
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

void create_slider(const Slider& slider)
{
    // This library release warns on stderr about a slider bound to a variable;
    // the binding is what we want, so the warning is hushed for this one call.
    const auto log_level = cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
    cv::createTrackbar(slider.label, slider.window, slider.value, slider.maximum, slider.on_move, nullptr);
    cv::utils::logging::setLogLevel(log_level);
}

// Fits the window to the screen, if one answers, in its share of it among
// the windows made; `fitted` when it is known not to fit already.
void fit_window(Window& window, cv::Size picture, bool fitted)
{
    if (const std::optional<screen::Desk> desk = screen::desk_of(window.name)) {
        const int slot = int(&window - windows_made.data());
        const int least_width = fitted ? std::numeric_limits<int>::max() : desk->least_width;
        window.fit = fit(picture, desk->chrome, least_width, desk->area, slot, int(windows_made.size()));
        window.frame = desk->frame;
    }
}

// Why the library gave up, in one line for the console.
std::string failure_reason(const std::exception& failure, cv::Size size)
{
    const auto* library = dynamic_cast<const cv::Exception*>(&failure);
    const bool memory = library != nullptr ? library->code == cv::Error::StsNoMem
                                           : dynamic_cast<const std::bad_alloc*>(&failure) != nullptr;
    if (!memory) {
        const std::string said = library != nullptr ? library->err : failure.what();
        return "cannot process this picture: " + said.substr(0, said.find('\n'));
    }
    if (size.empty()) {
        return "not enough memory to read this picture";
    }
    return "not enough memory to process this " + std::to_string(size.width) + "x" +
           std::to_string(size.height) + " picture";
}

} // namespace

bool read_picture(int argc, char** argv, int index, cv::Mat& picture)
{
    picture.release();
    try {
        if (index < argc) {
            picture = cv::imread(std::string(argv[index]), cv::IMREAD_COLOR);
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
    try {
        move();
    } catch (const std::exception& failure) {
        std::cerr << program << ": " << failure_reason(failure, picture_size) << "; " << what_stays
                  << std::endl;
    }
}

void make_window(const std::string& name)
{
    cv::namedWindow(name, cv::WINDOW_AUTOSIZE);
    Window made;
    made.name = name;
    windows_made.push_back(made);
}

double shrink_of(const std::string& name, cv::Size picture)
{
    Window& window = made(name);
    if (!window.decided) {
        window.decided = true;
        fit_window(window, picture, false);
    }
    return window.fit.shrink;
}

void show(const std::string& name, const cv::Mat& image)
{
    shrink_of(name, image.size());
    Window& window = made(name);
    if (!window.fit.fitted || window.shown) {
        window.shown = true;
        cv::imshow(name, image);
        return;
    }
    window.shown = true;
    // An auto-sized window cannot be switched to scaling: it is made again
    // in the scaling mode, with its sliders.
    cv::destroyWindow(name);
    cv::namedWindow(name, cv::WINDOW_NORMAL | cv::WINDOW_KEEPRATIO);
    for (const Slider& slider : sliders_made) {
        if (slider.window == name) {
            create_slider(slider);
        }
    }
    cv::imshow(name, image);
    // A size holds, and a window manager heeds a move, once the window is up;
    // its parts are known for sure then too, so it is sized with them.
    screen::settle(name);
    fit_window(window, image.size(), true);
    const cv::Size outside = window.fit.frame.size() - window.frame;
    cv::resizeWindow(name, outside.width, outside.height);
    cv::moveWindow(name, window.fit.frame.x, window.fit.frame.y);
    // Before the window was up, the window manager's frame may not have
    // been known in full: what the window takes beyond its place comes off.
    const cv::Rect placed = screen::settle(name);
    const cv::Size excess(std::max(0, placed.width - window.fit.frame.width),
                          std::max(0, placed.height - window.fit.frame.height));
    if (excess.width > 0 || excess.height > 0) {
        cv::resizeWindow(name, outside.width - excess.width, outside.height - excess.height);
        cv::moveWindow(name, window.fit.frame.x, window.fit.frame.y);
    }
}

void make_slider(const std::string& label, const std::string& window, int* value, int maximum,
                 cv::TrackbarCallback on_move)
{
    sliders_made.push_back({label, window, value, maximum, on_move});
    create_slider(sliders_made.back());
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
    while (cv::waitKey(50) < 0 && any_open()) {}
    forget_windows();
}

} // namespace common
