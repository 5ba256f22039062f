// Runs the benchmark and prints its tables. Every figure is a median of
// several runs after a warm-up, and the rows compare, in the same run:
//   floor    reading the picture and nothing else;
//   work     the program's own code and library calls with no window layer;
//   program  the real program binary (window calls stubbed, so no display);
//   tool     a Debian tool doing the same operation, where there is one.
// A second table sets patch_finder's measure switch against the library's
// matching called on every move; a third times start-up and slider moves
// with real windows on a virtual display.
//   bench_driver [--quick]     --quick: smaller pictures and fewer runs, to try it
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "desktop.hpp"
#include "process.hpp"
#include "report.hpp"

namespace {

const std::string bench_dir = BENCH_DIR;
const std::string programs_dir = PROGRAMS_DIR;

// A run longer than its limit is stopped and shown as "> limit".
const double usual_limit_ms = 45000;

struct Sample {
    bool over_limit = false;
    double start_ms = 0;          // from launch to the first result
    std::vector<double> moves_ms; // each slider move
    double peak_mb = 0;           // peak resident memory
};

struct Measure {
    bool over_limit = false;
    double start_ms = 0;
    double move_ms = 0; // 0: no slider
    double peak_mb = 0;
};

double median(std::vector<double> values)
{
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Starts a command with extra environment settings and its output discarded,
// waits for it, and reads its report; nothing when it failed.
std::optional<Sample> run_once(const std::vector<std::string>& words, std::vector<std::string> settings,
                               bool has_report, double limit_ms)
{
    const std::string report = bench_dir + "/report.txt";
    std::filesystem::remove(report);
    settings.push_back("BENCH_REPORT=" + report);
    const long long launched = bench::now_ns();
    process::Ending ending;
    try {
        ending = process::wait(process::start(words, settings, "/dev/null", "/dev/null"),
                               process::Seconds(limit_ms / 1000));
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
    const long long ended = bench::now_ns();
    Sample sample;
    if (!ending.ended) {
        sample.over_limit = true;
        return sample;
    }
    if (ending.by_signal || ending.code != 0) {
        return std::nullopt;
    }
    sample.peak_mb = ending.peak_mb;
    sample.start_ms = double(ended - launched) / 1e6;
    if (has_report) {
        std::ifstream file(report);
        std::string word;
        long long value = 0;
        while (file >> word >> value) {
            if (word == "shown") {
                sample.start_ms = double(value - launched) / 1e6;
            } else if (word == "move") {
                sample.moves_ms.push_back(double(value) / 1e6);
            }
        }
        if (!file.eof()) {
            return std::nullopt;
        }
    }
    return sample;
}

struct Command {
    std::vector<std::string> words;
    std::vector<std::string> settings;
    bool has_report = true;
    bool once = false; // slow: one run, in the first round only
    double limit_ms = usual_limit_ms;
};

// Runs the commands in turn, round after round, so that a slow spell of the
// machine falls on all of them alike; one warm-up round first when asked.
// The median of the rounds for each, or nothing for one that failed.
std::vector<std::optional<Measure>> measure(const std::vector<Command>& commands, int rounds,
                                            bool warm_up = true)
{
    std::vector<std::vector<Sample>> samples(commands.size());
    std::vector<bool> failed(commands.size(), false);
    for (int round = warm_up ? -1 : 0; round < rounds; ++round) {
        for (size_t i = 0; i < commands.size(); ++i) {
            const bool done = commands[i].once && (!samples[i].empty() || round < 0);
            if (failed[i] || done) {
                continue;
            }
            const std::optional<Sample> sample = run_once(commands[i].words, commands[i].settings,
                                                          commands[i].has_report, commands[i].limit_ms);
            failed[i] = !sample;
            if (sample && (round >= 0 || sample->over_limit)) {
                samples[i].push_back(*sample);
            }
            failed[i] = failed[i] || (sample && sample->over_limit);
        }
    }
    std::vector<std::optional<Measure>> results;
    for (size_t i = 0; i < commands.size(); ++i) {
        if (!samples[i].empty() && samples[i].back().over_limit) {
            Measure over;
            over.over_limit = true;
            results.push_back(over);
            continue;
        }
        if (failed[i]) {
            results.emplace_back();
            continue;
        }
        std::vector<double> starts;
        std::vector<double> moves;
        std::vector<double> peaks;
        for (const Sample& sample : samples[i]) {
            starts.push_back(sample.start_ms);
            peaks.push_back(sample.peak_mb);
            moves.push_back(median(sample.moves_ms));
        }
        results.push_back(Measure{false, median(starts), median(moves), median(peaks)});
    }
    return results;
}

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, value >= 100 ? "%.0f" : value >= 10 ? "%.1f" : "%.2f", value);
    return text;
}

std::string ratio(double value, double base)
{
    if (base <= 0 || value <= 0) {
        return "–";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value / base);
    return text;
}

struct Program {
    std::string name;
    std::string moves;             // slider positions visited, "" for none
    std::vector<std::string> tool; // the Debian tool's arguments around the picture, if any
};

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
    while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) {
        line.pop_back();
    }
    return line;
}

} // namespace

int main(int argc, char** argv)
{
    const bool quick = argc == 2 && std::strcmp(argv[1], "--quick") == 0;
    struct Size {
        int cols;
        int rows;
        int runs;
    };
    const std::vector<Size> sizes = quick
                                        ? std::vector<Size>{{640, 480, 3}, {2000, 1500, 2}}
                                        : std::vector<Size>{{640, 480, 11}, {4000, 3000, 3}, {8000, 6000, 3}};
    const std::vector<Program> programs{
        {"circle_finder", "", {}},
        {"patch_finder", "3,5,1", {}},
        {"equalizer", "", {"-colorspace", "Gray", "-equalize"}},
        {"laplace_view", "", {"-colorspace", "Gray", "-morphology", "Convolve", "Laplacian:0"}},
        {"edge_tuner", "20,50,100,0", {"-colorspace", "Gray", "-canny", "0x1+10%+30%"}},
    };
    const std::string pictures = bench_dir + "/pictures";
    const std::string shim = "LD_PRELOAD=" + bench_dir + "/libbench_shim.so";

    std::printf(
        "Machine: %s, %ld cores. Times in ms, memory in MB; medians of %d runs (after a warm-up) "
        "at 0.3 MP, %d at the larger sizes, where the Debian tool and the library-per-move reference run "
        "once (a run over 45 s is stopped, 180 s for that reference).\n\n",
        first_line_of("sed -n 's/^model name[^:]*: //p' /proc/cpuinfo").c_str(),
        sysconf(_SC_NPROCESSORS_ONLN), sizes[0].runs, sizes.back().runs);
    std::printf(
        "| program | picture | floor: decode | work | program | ×work | move: work | move: program | ×work "
        "| memory: work | program | ×work | Debian tool | ×program |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const Size& size : sizes) {
        const std::string stem =
            pictures + "/bench-" + std::to_string(size.cols) + "x" + std::to_string(size.rows);
        if (!std::filesystem::exists(stem + ".jpg")) {
            const std::string make = std::string(MAKE_PICTURES) + " " + pictures + " " +
                                     std::to_string(size.cols) + "x" + std::to_string(size.rows);
            if (std::system(make.c_str()) != 0) {
                std::fprintf(stderr, "cannot draw the pictures\n");
                return 1;
            }
        }
        const std::string megapixels = number(size.cols * double(size.rows) / 1e6) + " MP";
        for (const Program& program : programs) {
            std::vector<std::string> arguments{stem + ".jpg"};
            if (program.name == "patch_finder") {
                arguments.push_back(stem + "-patch.png");
            }
            const std::vector<std::string> moves{"BENCH_MOVES=" + program.moves};
            std::vector<std::string> preloaded = moves;
            preloaded.push_back(shim);

            std::vector<Command> commands{
                {{bench_dir + "/bench_decode_floor", stem + ".jpg"}, {}},
                {{bench_dir + "/bench_work_" + program.name}, moves},
                {{programs_dir + "/" + program.name}, preloaded},
            };
            commands[1].words.insert(commands[1].words.end(), arguments.begin(), arguments.end());
            commands[2].words.insert(commands[2].words.end(), arguments.begin(), arguments.end());
            if (!program.tool.empty()) {
                // Many seconds a run on the larger pictures: one run there.
                // Called by its versioned name: a plain "convert" may be something else on PATH.
                Command tool{{"convert-im6.q16", stem + ".jpg"}, {}, false, size.cols > 640};
                tool.words.insert(tool.words.end(), program.tool.begin(), program.tool.end());
                tool.words.push_back("null:");
                commands.push_back(tool);
            }
            const std::vector<std::optional<Measure>> results = measure(commands, size.runs);
            const std::optional<Measure>& floor = results[0];
            const std::optional<Measure>& work = results[1];
            const std::optional<Measure>& real = results[2];
            const double tool_ms = results.size() > 3 && results[3] ? results[3]->start_ms : 0;
            const bool tool_over = results.size() > 3 && results[3] && results[3]->over_limit;
            const std::string tool_text = tool_over                           ? "> " + number(usual_limit_ms)
                                          : results.size() > 3 && !results[3] ? "failed"
                                          : tool_ms > 0                       ? number(tool_ms)
                                                                              : "–";
            if (!work || !real || work->over_limit || real->over_limit) {
                std::printf("| %s | %s | %s |\n", program.name.c_str(), megapixels.c_str(),
                            !work || !real ? "failed to run" : "over the time limit");
                continue;
            }
            const bool slider = !program.moves.empty();
            std::printf(
                "| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n",
                program.name.c_str(), megapixels.c_str(), floor ? number(floor->start_ms).c_str() : "–",
                number(work->start_ms).c_str(), number(real->start_ms).c_str(),
                ratio(real->start_ms, work->start_ms).c_str(), slider ? number(work->move_ms).c_str() : "–",
                slider ? number(real->move_ms).c_str() : "–",
                slider ? ratio(real->move_ms, work->move_ms).c_str() : "–", number(work->peak_mb).c_str(),
                number(real->peak_mb).c_str(), ratio(real->peak_mb, work->peak_mb).c_str(), tool_text.c_str(),
                tool_over ? "–" : ratio(tool_ms, real->start_ms).c_str());
            std::fflush(stdout);
        }
    }

    // patch_finder's measure switch against the library's matching on every move.
    std::printf("\npatch_finder switching the measure (every measure once, then back to 0), against the same "
                "program calling the library's matching for every measure on every move (\"library\"):\n\n");
    std::printf(
        "| picture | first display: library | scoring | ×library | move: library | scoring | ×library "
        "| peak memory: library | scoring | ×library |\n|---|---|---|---|---|---|---|---|---|---|\n");
    for (const Size& size : sizes) {
        const std::string stem =
            pictures + "/bench-" + std::to_string(size.cols) + "x" + std::to_string(size.rows);
        const std::vector<std::string> arguments{stem + ".jpg", stem + "-patch.png"};
        const bool slow = size.cols > 640;
        std::vector<Command> commands{
            {{bench_dir + "/bench_reference_patch_finder"}, {"BENCH_MOVES=1,2,3,4,5,0"}, true, slow},
            {{bench_dir + "/bench_work_patch_finder"}, {"BENCH_MOVES=1,2,3,4,5,0"}},
        };
        commands[0].limit_ms = 4 * usual_limit_ms;
        for (Command& command : commands) {
            command.words.insert(command.words.end(), arguments.begin(), arguments.end());
        }
        const std::vector<std::optional<Measure>> results = measure(commands, size.runs);
        const std::optional<Measure>& library = results[0];
        const std::optional<Measure>& scoring = results[1];
        const std::string megapixels = number(size.cols * double(size.rows) / 1e6) + " MP";
        if (!library || !scoring || library->over_limit || scoring->over_limit) {
            std::printf("| %s | failed to run or over the time limit |\n", megapixels.c_str());
            continue;
        }
        std::printf("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n", megapixels.c_str(),
                    number(library->start_ms).c_str(), number(scoring->start_ms).c_str(),
                    ratio(scoring->start_ms, library->start_ms).c_str(), number(library->move_ms).c_str(),
                    number(scoring->move_ms).c_str(), ratio(scoring->move_ms, library->move_ms).c_str(),
                    number(library->peak_mb).c_str(), number(scoring->peak_mb).c_str(),
                    ratio(scoring->peak_mb, library->peak_mb).c_str());
        std::fflush(stdout);
    }

    // Start-up with real windows, on the smallest picture, on the tests' private display.
    std::optional<desktop::Desktop> screen;
    try {
        screen.emplace();
    } catch (const std::runtime_error& error) {
        std::printf("\n(no virtual display, start-up with windows not measured: %s)\n", error.what());
        return 0;
    }
    const std::vector<std::string> on_display = screen->environment();
    const std::string small = pictures + "/bench-640x480";
    const int runs = sizes[0].runs;
    std::printf("\nStart-up with real windows on a virtual display, 0.3 MP picture unless the row names "
                "another, until the first pass of the event loop has painted the windows (ms):\n\n");
    std::printf("| what | start-up | ×one window | slider move |\n|---|---|---|---|\n");
    std::vector<Command> commands{
        {{bench_dir + "/bench_empty_codecs"}, {}, false},
        {{bench_dir + "/bench_empty_windows"}, {}, false},
        {{bench_dir + "/bench_window_floor", small + ".jpg"}, on_display},
    };
    for (const Program& program : programs) {
        Command command{{programs_dir + "/" + program.name, small + ".jpg"}, on_display};
        if (program.name == "patch_finder") {
            command.words.push_back(small + "-patch.png");
        }
        command.settings.push_back(shim);
        command.settings.push_back("BENCH_WINDOWS=1");
        command.settings.push_back("BENCH_MOVES=" + program.moves);
        commands.push_back(command);
    }
    // The live sliders on a photograph-sized picture, windows and all.
    const std::string large =
        pictures + "/bench-" + std::to_string(sizes[1].cols) + "x" + std::to_string(sizes[1].rows);
    commands.push_back({{programs_dir + "/edge_tuner", large + ".jpg"}, on_display});
    commands.back().settings.insert(commands.back().settings.end(),
                                    {shim, "BENCH_WINDOWS=1", "BENCH_MOVES=" + programs[4].moves});
    commands.push_back({{programs_dir + "/patch_finder", large + ".jpg", large + "-patch.png"}, on_display});
    commands.back().settings.insert(commands.back().settings.end(),
                                    {shim, "BENCH_WINDOWS=1", "BENCH_MOVES=1,2,3,4,5,0"});
    const std::vector<std::optional<Measure>> results = measure(commands, runs);
    const double base = results[2] ? results[2]->start_ms : 0;
    const std::vector<std::string> names{
        "empty program linked with the image-codec library (dynamic loading only)",
        "empty program linked with the codec and window libraries",
        "one window showing the decoded picture (the floor)",
        "circle_finder",
        "patch_finder",
        "equalizer",
        "laplace_view",
        "edge_tuner",
        "edge_tuner on the " + number(sizes[1].cols * double(sizes[1].rows) / 1e6) + " MP picture",
        "patch_finder on the " + number(sizes[1].cols * double(sizes[1].rows) / 1e6) + " MP picture"};
    for (size_t i = 0; i < results.size(); ++i) {
        const bool moved = results[i] && results[i]->move_ms > 0;
        std::printf("| %s | %s | %s | %s |\n", names[i].c_str(),
                    results[i] ? number(results[i]->start_ms).c_str() : "failed",
                    results[i] ? ratio(results[i]->start_ms, base).c_str() : "–",
                    moved ? number(results[i]->move_ms).c_str() : "–");
    }
    return 0;
}
