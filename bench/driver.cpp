// Runs the benchmark and prints its tables. Every figure is a median of
// several runs after a warm-up, and the rows compare, in the same run:
//   floor    reading the picture and nothing else;
//   work     the program's own code and library calls with no window layer;
//   program  the real program binary (window calls stubbed, so no display);
//   tool     a Debian tool doing the same operation, where there is one.
// Then patch_finder's measure switch against the library's matching called
// on every move; the work done once and each move's in one process; with
// --previous, each program's work against an earlier revision's; and last,
// start-up, the window manager's pings and slider moves with real windows
// on a virtual display.
//   bench_driver [--quick] [--previous BENCH_DIR REVISION]
//     --quick: smaller pictures and fewer runs, to try it;
//     --previous: also each program's work against the same work built from
//     an earlier revision, whose benchmark programs are in BENCH_DIR.
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "desktop.hpp"
#include "process.hpp"
#include "programs.hpp"
#include "runs.hpp"
#include "tables.hpp"

namespace bench {
namespace {

void program_table(const std::vector<Picture>& pictures)
{
    print_heading("",
                  {"program", "picture", "floor: decode", "work", "program", "×work", "move: work",
                   "move: program", "×work", "memory: work", "program", "×work", "Debian tool", "×program"});
    for (const Picture& size : pictures) {
        for (const suite::Program& program : suite::programs) {
            const std::vector<std::string> moved{"BENCH_MOVES=" + moves(program.bench_moves)};
            std::vector<Command> commands{
                {{bench_dir + "/bench_decode_floor", size.path}, {}},
                {on(bench_dir + "/bench_work_" + program.name, program, size), moved},
                {on(programs_dir + "/" + program.name, program, size), {moved[0], shim}},
            };
            if (!program.bench_tool.empty()) {
                // Many seconds a run on the larger pictures: one run there. Called by
                // its versioned name: a plain "convert" may be something else on PATH.
                Command tool{{"convert-im6.q16", size.path}, {}, false, size.runs < pictures[0].runs};
                tool.words.insert(tool.words.end(), program.bench_tool.begin(), program.bench_tool.end());
                tool.words.push_back("null:");
                commands.push_back(tool);
            }
            const std::vector<std::optional<Measure>> results = measure(commands, size.runs, bench_dir);
            const std::optional<Measure>& floor = results[0];
            const std::optional<Measure>& work = results[1];
            const std::optional<Measure>& real = results[2];
            if (!work || !real || work->over_limit || real->over_limit) {
                print_row({program.name, size.megapixels,
                           !work || !real ? "failed to run" : "over the time limit"});
                continue;
            }
            std::string tool_text = "–";
            std::string tool_ratio = "–";
            if (results.size() > 3) {
                const std::optional<Measure>& tool = results[3];
                tool_text = !tool              ? "failed"
                            : tool->over_limit ? "> " + number(usual_limit_ms)
                                               : number(tool->start_ms);
                tool_ratio = tool && !tool->over_limit ? ratio(tool->start_ms, real->start_ms) : "–";
            }
            const bool slider = !program.bench_moves.empty();
            const auto if_slider = [&](const std::string& text) { return slider ? text : "–"; };
            print_row({program.name, size.megapixels, floor ? number(floor->start_ms) : "–",
                       number(work->start_ms), number(real->start_ms), ratio(real->start_ms, work->start_ms),
                       if_slider(number(work->move_ms)), if_slider(number(real->move_ms)),
                       if_slider(ratio(real->move_ms, work->move_ms)), number(work->peak_mb),
                       number(real->peak_mb), ratio(real->peak_mb, work->peak_mb), tool_text, tool_ratio});
        }
    }
}

// patch_finder's measure switch against the library's matching on every move.
void scoring_table(const std::vector<Picture>& pictures)
{
    print_heading("patch_finder switching the measure (every measure once, then back to 0), against the same "
                  "program calling the library's matching for every measure on every move (\"library\"):",
                  {"picture", "first display: library", "scoring", "×library", "move: library", "scoring",
                   "×library", "peak memory: library", "scoring", "×library"});
    const suite::Program& patch_finder = program_named("patch_finder");
    for (const Picture& size : pictures) {
        const std::vector<std::string> moved{"BENCH_MOVES=" + moves({1, 2, 3, 4, 5, 0})};
        const bool slow = size.runs < pictures[0].runs;
        const std::vector<Command> commands{
            {on(bench_dir + "/bench_reference_patch_finder", patch_finder, size), moved, true, slow,
             4 * usual_limit_ms},
            {on(bench_dir + "/bench_work_patch_finder", patch_finder, size), moved},
        };
        const std::vector<std::optional<Measure>> results = measure(commands, size.runs, bench_dir);
        const std::optional<Measure>& library = results[0];
        const std::optional<Measure>& scoring = results[1];
        if (!library || !scoring || library->over_limit || scoring->over_limit) {
            print_row({size.megapixels, "failed to run or over the time limit"});
            continue;
        }
        print_row({size.megapixels, number(library->start_ms), number(scoring->start_ms),
                   ratio(scoring->start_ms, library->start_ms), number(library->move_ms),
                   number(scoring->move_ms), ratio(scoring->move_ms, library->move_ms),
                   number(library->peak_mb), number(scoring->peak_mb),
                   ratio(scoring->peak_mb, library->peak_mb)});
    }
}

// What does not depend on a slider is done once: each row against its
// reference, on the photograph-sized picture, in one process (bench_units,
// on Google Benchmark).
void once_table(const Picture& large)
{
    const int repetitions = 2 * large.runs + 1;
    const process::Ending ending = process::wait(
        process::start({bench_dir + "/bench_units", large.path, large.templ, std::to_string(repetitions)}, {},
                       bench_dir + "/units.out", bench_dir + "/units.err"),
        process::Seconds(600));
    std::map<std::string, double> median_ms;
    std::istringstream lines(ending.out);
    for (std::string name; lines >> name;) {
        lines >> median_ms[name];
    }
    const std::vector<std::array<std::string, 3>> rows{
        {"patch_finder's correlation: channel × tile tasks, the template transformed once, against whole "
         "channels",
         "correlation/tiles", "correlation/whole_channels"},
        {"patch_finder's correlation alone: all threads, against one", "correlation/all_threads",
         "correlation/one_thread"},
        {"the same arithmetic in 12 equal tasks: all threads, against one (what this machine's cores give)",
         "spin/all_threads", "spin/one_thread"},
        {"patch_finder move: extremes found while scoring, one pass to rescale and search, against the "
         "library's rescaling and search",
         "patch_finder_move/one_pass", "patch_finder_move/separate_passes"},
        {"patch_finder move: scored four placements at a time (AVX2), against one at a time",
         "patch_finder_move/one_pass", "patch_finder_move/one_at_a_time"},
        {"edge_tuner move: the kept candidates joined and coloured where they change, against the "
         "library's blur, Canny, clearing and masked copy",
         "edge_tuner_move/candidates", "edge_tuner_move/library"},
        {"the same on blurred noise, a third of its pixels candidates", "edge_tuner_busy_move/candidates",
         "edge_tuner_busy_move/library"},
        {"circle_finder's search with 30 rings drawn over the picture, against the picture alone",
         "circle_search/rings", "circle_search/picture"},
        {"one pass over the picture: a copy", "one_pass", ""},
        {"reading it as a HEIC: the programs' read (to blue-green-red), against libheif's own decode",
         "heif/ours", "heif/libheif"},
    };
    print_heading("Work done once, on the " + large.megapixels +
                      " picture: each row against its reference, in one process (ms; medians of " +
                      std::to_string(repetitions) + " repetitions, interleaved at random):",
                  {"what", "this design", "reference", "×reference"});
    for (const auto& [what, design, reference] : rows) {
        const double mine = median_ms.count(design) ? median_ms[design] : 0;
        const double theirs = median_ms.count(reference) ? median_ms[reference] : 0;
        print_row({what, mine > 0 ? number(mine) : "failed", theirs > 0 ? number(theirs) : "–",
                   ratio(mine, theirs)});
    }
}

// Each program's work against the same work built from an earlier revision
// (./scripts/bench --previous REV): what the revisions between changed.
void previous_table(const std::vector<Picture>& pictures, const std::string& previous_dir,
                    const std::string& revision)
{
    print_heading("Each program's work against the same work built from " + revision +
                      " (\"before\"), side by side:",
                  {"program", "picture", "start: before", "now", "×before", "move: before", "now", "×before",
                   "memory: before", "now", "×before"});
    for (const Picture& size : pictures) {
        for (const suite::Program& program : suite::programs) {
            const std::vector<std::string> moved{"BENCH_MOVES=" + moves(program.bench_moves)};
            const std::vector<std::optional<Measure>> results =
                measure({{on(previous_dir + "/bench_work_" + program.name, program, size), moved},
                         {on(bench_dir + "/bench_work_" + program.name, program, size), moved}},
                        size.runs, bench_dir);
            const std::optional<Measure>& before = results[0];
            const std::optional<Measure>& now = results[1];
            if (!before || !now || before->over_limit || now->over_limit) {
                print_row({program.name, size.megapixels, "failed to run or over the time limit"});
                continue;
            }
            std::vector<std::string> cells{program.name, size.megapixels};
            for (const auto figure : {&Measure::start_ms, &Measure::move_ms, &Measure::peak_mb}) {
                const double then = (*before).*figure;
                const double today = (*now).*figure;
                cells.push_back(today > 0 ? number(then) : "–");
                cells.push_back(today > 0 ? number(today) : "–");
                cells.push_back(ratio(today, then));
            }
            print_row(cells);
        }
    }
}

// Start-up and slider moves with real windows, on the tests' private
// display; with the programs built from an earlier revision beside the
// small and the fitted rows, when its benchmark programs are in `previous_dir`.
void window_table(const Picture& small, const std::vector<Picture>& large, const std::string& previous_dir,
                  const std::string& revision)
{
    // The small pictures' screen; one that holds the first large picture 1:1;
    // a common one smaller than them, with a window manager, where they are fitted.
    std::optional<desktop::Desktop> screen;
    std::optional<desktop::Desktop> roomy;
    std::optional<desktop::Desktop> full_hd;
    try {
        screen.emplace();
        roomy.emplace(large.front().size + cv::Size(200, 300));
        full_hd.emplace(cv::Size(1920, 1080), true);
    } catch (const std::runtime_error& error) {
        std::printf("\n(no virtual display, start-up with windows not measured: %s)\n", error.what());
        return;
    }
    std::vector<std::pair<std::string, Command>> rows{
        {"empty program linked with the image-codec library (dynamic loading only)",
         {{bench_dir + "/bench_empty_codecs"}, {}, false}},
        {"empty program linked with the codec and window libraries",
         {{bench_dir + "/bench_empty_windows"}, {}, false}},
        {"one window showing the decoded picture (the floor)",
         {{bench_dir + "/bench_window_floor", small.path}, screen->environment()}},
    };
    const auto program_row = [&](desktop::Desktop& on_screen, const suite::Program& program,
                                 const Picture& size, const std::string& moved, bool watched, bool before) {
        // An earlier revision's program, beside its own benchmark programs,
        // timed by this one's shim: the same moments taken the same way.
        const std::string built_in = before ? previous_dir + "/.." : programs_dir;
        std::vector<std::string> settings = on_screen.environment();
        settings.insert(settings.end(), {shim, "BENCH_WINDOWS=1", "BENCH_MOVES=" + moved});
        Command command;
        command.words = on(built_in + "/" + program.name, program, size);
        command.settings = settings;
        if (watched) {
            command.display = &on_screen;
            command.first_window = program.windows.front();
        }
        return command;
    };
    // Rows measured again as built from `revision`, when one is given: the
    // row now and the row then.
    std::vector<std::pair<size_t, size_t>> against;
    const auto add = [&](const std::string& what, desktop::Desktop& on_screen, const suite::Program& program,
                         const Picture& size, const std::string& moved, bool watched, bool beside) {
        rows.push_back({what, program_row(on_screen, program, size, moved, watched, false)});
        if (beside && !previous_dir.empty()) {
            rows.push_back(
                {"... built from " + revision, program_row(on_screen, program, size, moved, watched, true)});
            against.emplace_back(rows.size() - 2, rows.size() - 1);
        }
    };
    for (const suite::Program& program : suite::programs) {
        add(program.name, *screen, program, small, moves(program.bench_moves), false, true);
    }
    // Photograph-sized pictures, windows and all: the live sliders 1:1 on
    // the first, and every program fitted to a screen smaller than each.
    const suite::Program& edge_tuner = program_named("edge_tuner");
    const suite::Program& patch_finder = program_named("patch_finder");
    // Every measure, one after the other.
    const std::string patch_moves = moves({1, 2, 3, 4, 5, 0});
    for (const Picture& size : large) {
        for (const bool fitted : {false, true}) {
            if (!fitted && &size != &large.front()) {
                continue;
            }
            desktop::Desktop& on_screen = fitted ? *full_hd : *roomy;
            const std::string where = fitted ? " picture, fitted to a 1920x1080 screen" : " picture, 1:1";
            std::vector<std::pair<const suite::Program*, std::string>> shown{
                {&edge_tuner, moves(edge_tuner.bench_moves)}, {&patch_finder, patch_moves}};
            if (fitted) {
                shown.insert(shown.begin(),
                             {{&program_named("circle_finder"), ""}, {&program_named("equalizer"), ""}});
            }
            for (const auto& [program, moved] : shown) {
                add(program->name + " on the " + size.megapixels + where, on_screen, *program, size, moved,
                    true, fitted);
            }
            if (fitted) {
                // What a move costs the window library alone: the slider
                // programs' windows shown again, as many times.
                std::vector<std::string> settings = on_screen.environment();
                settings.insert(settings.end(), {"BENCH_MOVES=" + patch_moves, "BENCH_FIT=1800x900"});
                rows.push_back({"edge_tuner's floor: its window shown again on each move, " + size.megapixels,
                                {{bench_dir + "/bench_window_floor", size.path}, settings}});
                settings.back() = "BENCH_FIT=900x900";
                rows.push_back(
                    {"patch_finder's floor: its two windows (picture, scores) shown again on each move, " +
                         size.megapixels,
                     {{bench_dir + "/bench_window_floor", size.path, "--scores"}, settings}});
            }
        }
    }

    std::vector<Command> commands;
    for (const auto& row : rows) {
        commands.push_back(row.second);
    }
    const std::vector<std::optional<Measure>> results = measure(commands, small.runs, bench_dir);
    const double base = results[2] ? results[2]->start_ms : 0;
    print_heading("Start-up with real windows on a virtual display, 0.3 MP picture unless the row names "
                  "another, until the first pass of the event loop has painted the windows (ms):",
                  {"what", "first window on screen", "start-up", "×one window",
                   "longest wait for the window manager's ping during the first display", "slider move",
                   "slider move, processor time", "peak memory (MB)"});
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::optional<Measure>& result = results[i];
        print_row({rows[i].first, result && result->on_screen_ms > 0 ? number(result->on_screen_ms) : "–",
                   result ? number(result->start_ms) : "failed", result ? ratio(result->start_ms, base) : "–",
                   result && result->ping_ms >= 0 ? number(result->ping_ms) : "–",
                   result && result->move_ms > 0 ? number(result->move_ms) : "–",
                   result && result->move_cpu_ms > 0 ? number(result->move_cpu_ms) : "–",
                   result ? number(result->peak_mb) : "–"});
    }
    if (against.empty()) {
        return;
    }
    print_heading("The same rows, now against built from " + revision + " (×before):",
                  {"what", "first window on screen", "start-up", "slider move", "slider move, processor time",
                   "peak memory"});
    for (const auto& [now, before] : against) {
        // A row that failed has nothing to compare.
        const Measure none;
        const Measure& a = results[now] ? *results[now] : none;
        const Measure& b = results[before] ? *results[before] : none;
        const auto times = [](double now_value, double before_value) {
            return now_value > 0 && before_value > 0 ? ratio(now_value, before_value) : std::string("–");
        };
        print_row({rows[now].first, times(a.on_screen_ms, b.on_screen_ms), times(a.start_ms, b.start_ms),
                   times(a.move_ms, b.move_ms), times(a.move_cpu_ms, b.move_cpu_ms),
                   times(a.peak_mb, b.peak_mb)});
    }
}

std::string first_line_of(const std::string& command)
{
    std::string line;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        if (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            line = buffer;
        }
        pclose(pipe);
    }
    return line.substr(0, line.find_last_not_of("\n ") + 1);
}

} // namespace
} // namespace bench

int main(int argc, char** argv)
{
    bool quick = false;
    std::string previous_dir;
    std::string revision;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else if (std::strcmp(argv[i], "--previous") == 0 && i + 2 < argc) {
            previous_dir = argv[++i];
            revision = argv[++i];
        } else {
            std::fprintf(stderr, "usage: bench_driver [--quick] [--previous BENCH_DIR REVISION]\n");
            return 2;
        }
    }
    using namespace bench;
    const std::vector<Picture> pictures =
        quick ? std::vector<Picture>{picture(640, 480, 3), picture(2000, 1500, 2)}
              : std::vector<Picture>{picture(640, 480, 11), picture(4000, 3000, 3), picture(8000, 6000, 3)};
    std::printf("Machine: %s, %ld cores. Times in ms, memory in MB; medians of %d runs (after a warm-up) "
                "at 0.3 MP, %d at the larger sizes, where the Debian tool and the library-per-move reference "
                "run once (a run over 45 s is stopped, 180 s for that reference).\n",
                first_line_of("sed -n 's/^model name[^:]*: //p' /proc/cpuinfo").c_str(),
                sysconf(_SC_NPROCESSORS_ONLN), pictures[0].runs, pictures.back().runs);
    program_table(pictures);
    scoring_table(pictures);
    once_table(pictures[1]);
    if (!previous_dir.empty()) {
        previous_table({pictures[0], pictures[1]}, previous_dir, revision);
    }
    window_table(pictures[0], {pictures.begin() + 1, pictures.end()}, previous_dir, revision);
    return 0;
}
