// Timed runs of the benchmark's commands: each command is started in turn,
// round after round, and its report read back (see report.hpp).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "desktop.hpp"

namespace bench {

// A run longer than its limit is stopped and shown as "> limit".
constexpr double usual_limit_ms = 45000;

struct Measure {
    bool over_limit = false;
    double start_ms = 0;     // from launch to the first result
    double on_screen_ms = 0; // from launch to the first window mapped; 0: not watched
    double ping_ms =
        -1;             // the longest a window manager's ping waited before the first result; -1: not watched
    double move_ms = 0; // a slider move; 0: no slider
    double peak_mb = 0; // peak resident memory
    double move_cpu_ms = 0; // the processor time of a slider move, on every thread
};

struct Command {
    std::vector<std::string> words;
    std::vector<std::string> settings;
    bool has_report = true; // false: timed from launch to exit
    bool once = false;      // slow: one run, in the first round only
    double limit_ms = usual_limit_ms;
    // When the first window titled so comes on screen, and how long it keeps
    // a window manager's pings waiting, watched on that display.
    desktop::Desktop* display = nullptr;
    std::string first_window{};
};

// Runs the commands in turn, round after round after a warm-up round, so
// that a slow spell of the machine falls on all of them alike. The median
// of the rounds for each, or nothing for one that failed. Reports go to a
// file in `folder`.
std::vector<std::optional<Measure>> measure(const std::vector<Command>& commands, int rounds,
                                            const std::string& folder);

} // namespace bench
