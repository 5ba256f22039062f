// laplace_view: shows the absolute Laplacian of a lightly smoothed grey picture.
#include <opencv2/imgproc.hpp>

#include "common.hpp"

int main(int argc, char** argv)
{
    cv::Mat picture;
    try {
        if (!common::read_picture(argc, argv, 1, picture)) {
            return -1;
        }

        cv::GaussianBlur(picture, picture, cv::Size(3, 3), 0, 0, cv::BORDER_DEFAULT);
        // Red-green-blue order on a blue-green-red picture: kept on purpose.
        cv::Mat grey;
        cv::cvtColor(picture, grey, cv::COLOR_RGB2GRAY, 0);
        const std::string window = "Laplace Demo";
        common::make_window(window, picture.size());
        // On screen at once, dark until the response is ready.
        cv::Mat absolute_response;
        common::first_work(
            "Applying the Laplacian", {{window, cv::Mat()}},
            [&](common::Progress&) {
                cv::Mat response;
                cv::Laplacian(grey, response, CV_16S, 3, 1, 0, cv::BORDER_DEFAULT);
                cv::convertScaleAbs(response, absolute_response, 1, 0);
            },
            [&] { common::show(window, absolute_response); });
    } catch (const std::exception& failure) {
        return common::fail("laplace_view", failure, picture.size());
    }

    common::wait_for_key();
    return 0;
}
