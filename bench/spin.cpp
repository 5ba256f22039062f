// What this machine's cores give: the same arithmetic, in as many equal
// tasks as the correlation has on the benchmark's picture, on as many threads
// as asked:
//   bench_spin THREADS
// Its time is reported as a move.
#include <cstdlib>
#include <vector>

#include <opencv2/core.hpp>

#include "report.hpp"

namespace {

// A chain of dependent multiplications and additions: no memory traffic. Out
// of line, so that the compiler cannot run several tasks' chains in one
// vector when one thread has them all.
[[gnu::noinline]] double chain(int start)
{
    double value = start;
    for (int step = 0; step < 50'000'000; ++step) {
        value = value * 0.999999 + 1e-6;
    }
    return value;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        return 2;
    }
    cv::setNumThreads(std::atoi(argv[1]));
    constexpr int tasks = 12;
    std::vector<double> results(tasks);
    const long long start = bench::now_ns();
    cv::parallel_for_(cv::Range(0, tasks), [&](const cv::Range& range) {
        for (int task = range.start; task < range.end; ++task) {
            results[size_t(task)] = chain(task);
        }
    });
    const long long end = bench::now_ns();
    bench::report(end, {end - start});
    return results[0] > 0 ? 0 : 1;
}
