// A headless stand-in for the window calls, linked into the programs' real
// code to make binaries that run on any machine: each image shown is checked
// the way the library checks it, every slider is moved through its whole
// range and back to 0 at the first wait, and then a key is pressed.
//
// For the out-of-memory tests, the address space can be capped at so many
// megabytes above what the process holds at that moment (the libraries
// loaded, the pictures read): HEADLESS_MEMORY_MB at start, and
// HEADLESS_MOVE_MEMORY_MB after the first display, before the slider moves.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>

namespace {

struct Slider {
    int* value;
    int maximum;
    cv::TrackbarCallback callback;
    void* user_data;
};

std::vector<Slider>& sliders()
{
    static std::vector<Slider> all;
    return all;
}

void move(const Slider& slider, int position)
{
    if (slider.value != nullptr) {
        *slider.value = position;
    }
    if (slider.callback != nullptr) {
        slider.callback(position, slider.user_data);
    }
}

} // namespace

namespace headless {

void cap_memory(const char* setting)
{
    const char* megabytes = std::getenv(setting);
    if (megabytes == nullptr) {
        return;
    }
    std::ifstream statm("/proc/self/statm");
    rlim_t pages = 0;
    statm >> pages;
    rlimit cap{};
    getrlimit(RLIMIT_AS, &cap);
    cap.rlim_cur =
        std::min(cap.rlim_max, pages * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t(std::atol(megabytes)) << 20));
    setrlimit(RLIMIT_AS, &cap);
}

} // namespace headless

namespace cv {

void namedWindow(const String&, int) {}

void imshow(const String&, InputArray image)
{
    const Size size = image.size();
    CV_Assert(size.width > 0 && size.height > 0);
}

int createTrackbar(const String&, const String&, int* value, int count, TrackbarCallback onChange,
                   void* userdata)
{
    sliders().push_back({value, count, onChange, userdata});
    return 1;
}

void destroyAllWindows() {}

int waitKey(int)
{
    headless::cap_memory("HEADLESS_MOVE_MEMORY_MB");
    for (const Slider& slider : sliders()) {
        for (int position = 1; position <= slider.maximum; ++position) {
            move(slider, position);
        }
        move(slider, 0);
    }
    return 'q';
}

double getWindowProperty(const String&, int)
{
    return 1.0;
}

} // namespace cv
