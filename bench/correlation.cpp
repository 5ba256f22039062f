// Times patch_finder's correlation alone, on as many threads as asked:
//   bench_correlation PICTURE TEMPLATE THREADS
// The time of scoring::prepare is reported as a move.
#include <cstdlib>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "report.hpp"
#include "scoring.hpp"

int main(int argc, char** argv)
{
    if (argc != 4) {
        return 2;
    }
    const cv::Mat picture = cv::imread(argv[1], cv::IMREAD_COLOR);
    const cv::Mat templ = cv::imread(argv[2], cv::IMREAD_COLOR);
    if (picture.empty() || templ.empty()) {
        return 1;
    }
    cv::setNumThreads(std::atoi(argv[3]));
    const long long start = bench::now_ns();
    const scoring::Basis basis = scoring::prepare(picture, templ);
    const long long end = bench::now_ns();
    bench::report(end, {end - start});
    return basis.correlation.empty() ? 1 : 0;
}
