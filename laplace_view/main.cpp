// laplace_view: shows the absolute Laplacian of a lightly smoothed grey picture.
#include <exception>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>
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
        // Red-green-blue order on a blue-green-red picture: blue gets red's
        // weight and red gets blue's. Kept on purpose.
        cv::Mat grey;
        cv::cvtColor(picture, grey, cv::COLOR_RGB2GRAY, 0);

        const std::string window = "Laplace Demo";
        common::make_window(window, picture.size());
        // On screen at once, dark until the response is ready.
        common::show_while_working({{window, cv::Mat::zeros(picture.size(), CV_8UC1)}});
        cv::Mat absolute_response;
        common::Progress applying{"Applying the Laplacian"};
        common::work_beside_windows(applying, [&] {
            cv::Mat response;
            cv::Laplacian(grey, response, CV_16S, 3, 1, 0, cv::BORDER_DEFAULT);
            cv::convertScaleAbs(response, absolute_response, 1, 0);
        });
        common::show(window, absolute_response);
    } catch (const std::exception& failure) {
        return common::fail("laplace_view", failure, picture.size());
    }

    common::wait_for_key();
    return 0;
}
