#include "common.hpp"

#include <iostream>
#include <new>
#include <vector>

#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>

namespace common {
namespace {

// The windows made so far in this run, for the wait.
std::vector<std::string> windows_made;

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
    windows_made.clear();
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
    windows_made.push_back(name);
}

void make_slider(const std::string& label, const std::string& window, int* value, int maximum,
                 cv::TrackbarCallback on_move)
{
    // This library release warns on stderr about a slider bound to a variable;
    // the binding is what we want, so the warning is hushed for this one call.
    const auto log_level = cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
    cv::createTrackbar(label, window, value, maximum, on_move, nullptr);
    cv::utils::logging::setLogLevel(log_level);
}

void wait_for_key()
{
    // With this window backend waitKey(0) never returns once the user has
    // closed the windows, so wait in steps and stop when all are gone.
    auto any_open = [&] {
        for (const std::string& window : windows_made) {
            if (cv::getWindowProperty(window, cv::WND_PROP_VISIBLE) > 0) {
                return true;
            }
        }
        return false;
    };
    while (cv::waitKey(50) < 0 && any_open()) {}
}

} // namespace common
