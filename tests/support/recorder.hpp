// A recording stand-in for the library's window calls. Test builds link it in
// place of the window module, so a program's real main runs unchanged while a
// test sees every window, image and slider, moves the slider while the program
// waits, and ends the wait with a key press or by closing windows. The
// headless binaries (headless_main.cpp) run on it too, keeping no images.
#pragma once

#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/highgui.hpp>

namespace recorder {

struct Call {
    enum Kind {
        NamedWindow,
        Imshow,
        CreateTrackbar,
        WaitKey,
        DestroyAllWindows,
        // The window system's, through the toolkit (screen.hpp).
        Place,
        CatchUp,
        Busy,
        Tell
    };
    Kind kind;
    std::string
        window; // for WaitKey: the delay; for Place: "NAME WxH" or "NAME WxH at X,Y"; for Busy: "on" or "off"
};
bool operator==(const Call& a, const Call& b);
void PrintTo(const Call& call, std::ostream* out);

struct Window {
    std::string name;
    int flags = 0;
    bool open = true;
    std::vector<cv::Mat> shown; // deep copies, in the order shown
};

struct Slider {
    std::string label;
    std::string window;
    int* value = nullptr;
    int position_at_creation = 0;
    int maximum = 0;
    cv::TrackbarCallback callback = nullptr;
    void* user_data = nullptr;
    cv::utils::logging::LogLevel log_level = cv::utils::logging::LOG_LEVEL_INFO;
};

// Thrown from waitKey when a program goes on waiting after its script has
// ended it (a key was pressed or all windows were closed): a hang.
struct Hang : std::runtime_error {
    using std::runtime_error::runtime_error;
};

using Step = std::function<void()>;

// Forgets everything recorded. The default script presses one key at the
// first wait; there is no screen; images are kept.
void reset();

// Whether each image shown is kept (a deep copy); either way it is checked
// as the library checks it.
void keep_images(bool keep);

// A screen with this free area, on which every window adds `chrome` around
// its picture.
void screen(cv::Rect area, cv::Size chrome);

// Steps run at the program's successive waitKey calls, one each.
void script(std::vector<Step> steps);

// Steps run at the program's successive attends while its first work runs
// beside its windows (on a screen only), one each; the first comes before
// the work starts.
void while_working(std::vector<Step> steps);

// Inside a step: what the user does while the program waits.
void press_key(int key);
void close_window(const std::string& name);
void close_all_windows();
void move_slider(int position); // as the window system does: store, then call back
// A step: every slider through its range and back to 0, then a key.
void use_every_slider_then_press_a_key();

const std::vector<Call>& calls();
const std::vector<Window>& windows();
const Window& window(const std::string& name); // fails the test if absent
// The last image shown in the window: a header sharing the recorded pixels,
// so that no reference into the recording outlives a temporary name.
cv::Mat last_shown(const std::string& name);
const std::vector<Slider>& sliders();
int wait_count();

// Runs a program's main with the given arguments (the program name is added),
// capturing what it writes on standard output and standard error.
struct Outcome {
    int status = 0;
    std::string out;
    std::string err;
};
using Main = int (*)(int, char**);
Outcome run(Main main, const std::vector<std::string>& arguments);

// Runs the program with each list of arguments and expects it to end with -1
// before any window, printing exactly expected_out on standard output.
void expect_refused(Main main, const std::vector<std::vector<std::string>>& cases,
                    const std::string& expected_out = "");

} // namespace recorder
