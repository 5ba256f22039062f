// The floors the programs are measured against:
//   bench_decode_floor PICTURE    only reads the picture, linked as the work is
//   bench_window_floor PICTURE [--scores]
//                                 reads it and shows it in one window, painted;
//                                 with --scores also a map of scores of its
//                                 size in a second window, as patch_finder's.
//                                 With BENCH_MOVES, each move shows them again:
//                                 what a move costs the window library alone.
//                                 With BENCH_FIT=WxH, the windows are fitted
//                                 into that area, as the programs fit theirs.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#ifdef BENCH_WINDOW
#include <opencv2/highgui.hpp>
#include <opencv2/imgproc.hpp>
#endif

#include "report.hpp"

int main(int argc, char** argv)
{
    const bool scores = argc == 3 && std::strcmp(argv[2], "--scores") == 0;
    if (argc != 2 && !scores) {
        return 2;
    }
    const cv::Mat picture = cv::imread(argv[1], 1);
    if (picture.empty()) {
        return 1;
    }
    std::vector<bench::Move> moved;
#ifdef BENCH_WINDOW
    std::vector<std::pair<std::string, cv::Mat>> windows{{"floor", picture}};
    if (scores) {
        cv::Mat grey;
        cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
        grey.convertTo(windows.emplace_back("scores", cv::Mat()).second, CV_32F, 1. / 255);
    }
    int width = 0;
    int height = 0;
    const char* fit = std::getenv("BENCH_FIT");
    const bool fitted = fit != nullptr && std::sscanf(fit, "%dx%d", &width, &height) == 2;
    for (const auto& [name, image] : windows) {
        cv::namedWindow(name, fitted ? cv::WINDOW_NORMAL | cv::WINDOW_KEEPRATIO : cv::WINDOW_AUTOSIZE);
        if (fitted) {
            const double shrink = std::min({1., double(width) / image.cols, double(height) / image.rows});
            cv::resizeWindow(name, int(image.cols * shrink), int(image.rows * shrink));
        }
        cv::imshow(name, image);
    }
    cv::waitKey(1);
    const long long shown = bench::now_ns();
    const size_t moves = bench::moves().size();
    for (size_t move = 0; move < moves; ++move) {
        const bench::Move start{bench::now_ns(), bench::cpu_ns()};
        for (const auto& [name, image] : windows) {
            cv::imshow(name, image);
        }
        cv::waitKey(1);
        moved.push_back({bench::now_ns() - start.wall_ns, bench::cpu_ns() - start.cpu_ns});
    }
#else
    const long long shown = bench::now_ns();
#endif
    bench::report(shown, moved);
    return 0;
}
