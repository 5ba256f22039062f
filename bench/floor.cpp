// The floors the programs are measured against:
//   bench_decode_floor PICTURE    only reads the picture, linked as the work is
//   bench_window_floor PICTURE    reads it and shows it in one window, painted
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#ifdef BENCH_WINDOW
#include <opencv2/highgui.hpp>
#endif

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
    bench::report(bench::now_ns(), {});
    return 0;
}
