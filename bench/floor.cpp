// The floors the programs are measured against.
//   bench_floor decode PICTURE    only read the picture
//   bench_floor window PICTURE    read it and show it in one window, painted
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/imgcodecs.hpp>

#include "report.hpp"

int main(int argc, char** argv)
{
    if (argc != 3) {
        return 2;
    }
    const std::string mode = argv[1];
    const cv::Mat picture = cv::imread(argv[2], 1);
    if (picture.empty()) {
        return 1;
    }
    if (mode == "window") {
        cv::namedWindow("floor", 1);
        cv::imshow("floor", picture);
        cv::waitKey(1);
    }
    bench::report(bench::now_ns(), {});
    return 0;
}
