#include "runs.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "process.hpp"
#include "report.hpp"

namespace bench {
namespace {

double median(std::vector<double> values)
{
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// From the launch to the first window mapped, in a watch's lines.
double first_mapped_ms(const std::string& watched, long long launched_ns)
{
    std::istringstream lines(watched);
    long long ms = 0;
    std::string id;
    std::string state;
    std::string place;
    while (lines >> ms >> id >> state && std::getline(lines, place)) {
        if (state == "mapped") {
            return double(ms) - double(launched_ns) / 1e6;
        }
    }
    return 0;
}

// One run of a command, its output discarded; nothing when it failed.
std::optional<Measure> run_once(const Command& command, const std::string& folder)
{
    const std::string report = folder + "/report.txt";
    std::filesystem::remove(report);
    std::vector<std::string> settings = command.settings;
    settings.push_back("BENCH_REPORT=" + report);
    const process::Seconds limit(command.limit_ms / 1000);
    std::optional<process::Child> watcher;
    std::optional<process::Child> pinger;
    if (command.display != nullptr) {
        watcher = command.display->watch(command.first_window, limit);
        pinger = command.display->ping(command.first_window, limit);
    }
    const long long launched = now_ns();
    process::Ending ending;
    try {
        ending = process::wait(process::start(command.words, settings, "/dev/null", "/dev/null"), limit);
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
    const double on_screen_ms =
        watcher ? first_mapped_ms(command.display->wait(*watcher, process::Seconds(0)).out, launched) : 0;
    // It ends once the window is gone.
    const std::vector<desktop::Ping> pings =
        pinger ? desktop::pings_in(command.display->wait(*pinger, process::Seconds(5)).out)
               : std::vector<desktop::Ping>{};
    if (!ending.ended) {
        return Measure{true, 0, 0, -1, 0, 0};
    }
    if (ending.by_signal || ending.code != 0) {
        return std::nullopt;
    }
    Measure sample{false, double(now_ns() - launched) / 1e6, on_screen_ms, -1, 0, ending.peak_mb};
    std::ifstream file(report);
    std::string word;
    long long value = 0;
    std::vector<double> moves;
    std::vector<double> move_cpus;
    while (command.has_report && file >> word >> value) {
        if (word == "shown") {
            sample.start_ms = double(value - launched) / 1e6;
        } else if (word == "move") {
            moves.push_back(double(value) / 1e6);
        } else if (word == "move_cpu") {
            move_cpus.push_back(double(value) / 1e6);
        }
    }
    sample.move_ms = median(moves);
    sample.move_cpu_ms = median(move_cpus);
    if (pinger) {
        sample.ping_ms = 0;
        for (const desktop::Ping& ping : pings) {
            if (ping.sent.count() * 1e9 < double(launched) + sample.start_ms * 1e6) {
                sample.ping_ms = std::max(sample.ping_ms, ping.waited.count() * 1000);
            }
        }
    }
    return !command.has_report || file.eof() ? std::optional<Measure>(sample) : std::nullopt;
}

} // namespace

std::vector<std::optional<Measure>> measure(const std::vector<Command>& commands, int rounds,
                                            const std::string& folder)
{
    std::vector<std::vector<Measure>> samples(commands.size());
    std::vector<bool> failed(commands.size(), false);
    for (int round = -1; round < rounds; ++round) {
        for (size_t i = 0; i < commands.size(); ++i) {
            const bool done = commands[i].once && (!samples[i].empty() || round < 0);
            if (failed[i] || done) {
                continue;
            }
            const std::optional<Measure> sample = run_once(commands[i], folder);
            if (sample && (round >= 0 || sample->over_limit)) {
                samples[i].push_back(*sample);
            }
            failed[i] = !sample || sample->over_limit;
        }
    }
    std::vector<std::optional<Measure>> results;
    for (size_t i = 0; i < commands.size(); ++i) {
        const std::vector<Measure>& runs = samples[i];
        if (failed[i]) {
            const bool over = !runs.empty() && runs.back().over_limit;
            results.push_back(over ? std::optional<Measure>(runs.back()) : std::nullopt);
            continue;
        }
        std::vector<double> starts;
        std::vector<double> on_screen;
        std::vector<double> pings;
        std::vector<double> moves;
        std::vector<double> peaks;
        std::vector<double> move_cpus;
        for (const Measure& run : runs) {
            starts.push_back(run.start_ms);
            on_screen.push_back(run.on_screen_ms);
            pings.push_back(run.ping_ms);
            moves.push_back(run.move_ms);
            peaks.push_back(run.peak_mb);
            move_cpus.push_back(run.move_cpu_ms);
        }
        results.push_back(Measure{false, median(starts), median(on_screen), median(pings), median(moves),
                                  median(peaks), median(move_cpus)});
    }
    return results;
}

} // namespace bench
