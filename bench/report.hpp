// What the benchmark's measured processes tell the driver: the moment the
// first result was ready, and the time of each slider move with the
// processor time it took on every thread, written to the file named by
// BENCH_REPORT. Moments are CLOCK_MONOTONIC nanoseconds, the
// clock the driver reads when it starts the process.
#pragma once

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

inline long long now_ns()
{
    timespec moment{};
    clock_gettime(CLOCK_MONOTONIC, &moment);
    return moment.tv_sec * 1000000000LL + moment.tv_nsec;
}

// The processor time of the whole process, every thread's.
inline long long cpu_ns()
{
    timespec used{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    return used.tv_sec * 1000000000LL + used.tv_nsec;
}

struct Move {
    long long wall_ns;
    long long cpu_ns;
};

// Slider positions to visit, from BENCH_MOVES ("1,2,3"); none when unset.
inline std::vector<int> moves()
{
    std::vector<int> positions;
    const char* list = std::getenv("BENCH_MOVES");
    for (const char* at = list; at != nullptr && *at != '\0';) {
        char* end = nullptr;
        positions.push_back(int(std::strtol(at, &end, 10)));
        at = *end == ',' ? end + 1 : end;
    }
    return positions;
}

inline void report(long long shown_ns, const std::vector<Move>& moved)
{
    const char* path = std::getenv("BENCH_REPORT");
    std::FILE* file = path != nullptr ? std::fopen(path, "w") : nullptr;
    if (file == nullptr) {
        return;
    }
    std::fprintf(file, "shown %lld\n", shown_ns);
    for (const Move& each : moved) {
        std::fprintf(file, "move %lld\nmove_cpu %lld\n", each.wall_ns, each.cpu_ns);
    }
    std::fclose(file);
}

} // namespace bench
