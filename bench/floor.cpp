// The floors the programs are measured against:
//   bench_decode_floor PICTURE    only reads the picture, linked as the work is
//   bench_window_floor PICTURE    reads it and shows it in one window, painted
//   bench_one_pass PICTURE        reads it, then times one copy of it: a pass
//                                 over the picture, reported as a move
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#ifdef BENCH_WINDOW
#include <opencv2/highgui.hpp>
#endif

#include <vector>

#include "report.hpp"

int main(int argc, char** argv)
{
    if (argc != 2) {
        return 2;
    }
    const cv::Mat picture = cv::imread(argv[1], 1);
    if (picture.empty()) {
        return 1;
    }
#ifdef BENCH_WINDOW
    cv::namedWindow("floor", 1);
    cv::imshow("floor", picture);
    cv::waitKey(1);
#endif
#ifdef BENCH_PASS
    std::vector<long long> passes;
    cv::Mat copy;
    for (int pass = 0; pass < 5; ++pass) {
        const long long start = bench::now_ns();
        picture.copyTo(copy);
        passes.push_back(bench::now_ns() - start);
    }
    bench::report(bench::now_ns(), passes);
    return 0;
#endif
    bench::report(bench::now_ns(), {});
    return 0;
}
