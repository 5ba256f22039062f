// Preloaded into a real program to time it as a user feels it: the first wait
// for a key is the moment all its windows have their content; then the slider
// (if any) is moved to each position of BENCH_MOVES and each move is timed,
// and the program ends there. With BENCH_WINDOWS=1 every window call goes to
// the library (a display is needed) and each moment is taken after one pass
// of the event loop has painted the windows; otherwise no window is made.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>

#include "report.hpp"
namespace {

bool with_windows()
{
    static const bool on = std::getenv("BENCH_WINDOWS") != nullptr;
    return on;
}

// The library's own definition of a function this file also defines.
template <typename Function> Function real(const char* mangled_name)
{
    void* const found = dlsym(RTLD_NEXT, mangled_name);
    if (found == nullptr) {
        // A library built against another standard library names it otherwise:
        // say so and stop, rather than call through a null pointer.
        std::fprintf(stderr, "bench shim: %s is not in the libraries loaded\n", mangled_name);
        std::_Exit(3);
    }
    return reinterpret_cast<Function>(found);
}

int* slider_value = nullptr;
cv::TrackbarCallback slider_callback = nullptr;
void* slider_data = nullptr;

int paint()
{
    if (!with_windows()) {
        return -1;
    }
    using WaitKey = int (*)(int);
    static const WaitKey library_wait = real<WaitKey>("_ZN2cv7waitKeyEi");
    return library_wait(1);
}

} // namespace

namespace cv {

void namedWindow(const String& name, int flags)
{
    using Function = void (*)(const String&, int);
    if (with_windows()) {
        real<Function>("_ZN2cv11namedWindowERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEi")(name,
                                                                                                      flags);
    }
}

void imshow(const String& name, InputArray image)
{
    using Function = void (*)(const String&, InputArray);
    if (with_windows()) {
        real<Function>(
            "_ZN2cv6imshowERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEERKNS_11_InputArrayE")(name,
                                                                                                       image);
    }
}

int createTrackbar(const String& label, const String& window, int* value, int count,
                   TrackbarCallback callback, void* data)
{
    using Function = int (*)(const String&, const String&, int*, int, TrackbarCallback, void*);
    slider_value = value;
    slider_callback = callback;
    slider_data = data;
    if (!with_windows()) {
        return 1;
    }
    return real<Function>("_ZN2cv14createTrackbarERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEES7_"
                          "PiiPFviPvES9_")(label, window, value, count, callback, data);
}

void setTrackbarPos(const String& label, const String& window, int position)
{
    using Function = void (*)(const String&, const String&, int);
    if (with_windows()) {
        real<Function>("_ZN2cv14setTrackbarPosERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEES7_i")(
            label, window, position);
    }
}

void destroyAllWindows()
{
    using Function = void (*)();
    if (with_windows()) {
        real<Function>("_ZN2cv17destroyAllWindowsEv")();
    }
}

int waitKey(int)
{
    paint();
    const long long shown = bench::now_ns();
    std::vector<bench::Move> moved;
    for (const int position : bench::moves()) {
        if (slider_callback == nullptr) {
            break;
        }
        const bench::Move start{bench::now_ns(), bench::cpu_ns()};
        *slider_value = position;
        slider_callback(position, slider_data);
        paint();
        moved.push_back({bench::now_ns() - start.wall_ns, bench::cpu_ns() - start.cpu_ns});
    }
    bench::report(shown, moved);
    _exit(0);
}

double getWindowProperty(const String& name, int property)
{
    // The library asks this itself (whether a window uses OpenGL), so it must answer truly.
    using Function = double (*)(const String&, int);
    if (!with_windows()) {
        return 1.0;
    }
    return real<Function>(
        "_ZN2cv17getWindowPropertyERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEEi")(name, property);
}

} // namespace cv
