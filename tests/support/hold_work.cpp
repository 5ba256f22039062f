// Preloaded into a program by the real-window tests, so that its long work
// goes at the test's pace, whatever the machine's: each of patch_finder's
// products of spectra (one per channel of a tile), and circle_finder's and
// equalizer's one call, waits for one byte from the pipe named by
// HOLD_WORK_PIPE. Once the test closes its end, the work runs free.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include <opencv2/core.hpp>

namespace {

void wait_for_the_test()
{
    static std::mutex one_at_a_time;
    static int pipe = -2;
    static bool free_run = false;
    const std::lock_guard<std::mutex> lock(one_at_a_time);
    if (pipe == -2) {
        const char* path = std::getenv("HOLD_WORK_PIPE");
        pipe = path != nullptr ? open(path, O_RDONLY | O_CLOEXEC) : -1;
    }
    char byte = 0;
    free_run = free_run || pipe < 0 || read(pipe, &byte, 1) != 1;
}

} // namespace

namespace cv {

void mulSpectrums(InputArray a, InputArray b, OutputArray c, int flags, bool conj_b)
{
    using Library = void (*)(InputArray, InputArray, OutputArray, int, bool);
    static const auto library = reinterpret_cast<Library>(
        dlsym(RTLD_NEXT, "_ZN2cv12mulSpectrumsERKNS_11_InputArrayES2_RKNS_12_OutputArrayEib"));
    wait_for_the_test();
    library(a, b, c, flags, conj_b);
}

void HoughCircles(InputArray grey, OutputArray circles, int method, double dp, double min_distance,
                  double higher, double centres, int min_radius, int max_radius)
{
    using Library = void (*)(InputArray, OutputArray, int, double, double, double, double, int, int);
    static const auto library = reinterpret_cast<Library>(
        dlsym(RTLD_NEXT, "_ZN2cv12HoughCirclesERKNS_11_InputArrayERKNS_12_OutputArrayEiddddii"));
    wait_for_the_test();
    library(grey, circles, method, dp, min_distance, higher, centres, min_radius, max_radius);
}

void equalizeHist(InputArray grey, OutputArray equalized)
{
    using Library = void (*)(InputArray, OutputArray);
    static const auto library = reinterpret_cast<Library>(
        dlsym(RTLD_NEXT, "_ZN2cv12equalizeHistERKNS_11_InputArrayERKNS_12_OutputArrayE"));
    wait_for_the_test();
    library(grey, equalized);
}

} // namespace cv
