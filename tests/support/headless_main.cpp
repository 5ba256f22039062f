// A headless binary: a program's real code on the recorder, keeping no
// images, so that it runs on any machine and each run is a process of its
// own. At the first wait every slider is moved through its whole range and
// back to 0, then a key is pressed.
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

#include "recorder.hpp"

int PROGRAM_MAIN(int argc, char** argv);

namespace {

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

} // namespace

int main(int argc, char** argv)
{
    cap_memory("HEADLESS_MEMORY_MB");
    recorder::reset();
    recorder::keep_images(false);
    recorder::script({[] {
        cap_memory("HEADLESS_MOVE_MEMORY_MB");
        recorder::use_every_slider_then_press_a_key();
    }});
    return PROGRAM_MAIN(argc, argv);
}
