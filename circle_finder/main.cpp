// circle_finder: marks the circles that the gradient Hough transform finds.
#include <algorithm>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "common.hpp"

int main(int argc, char** argv)
{
    cv::Mat picture;
    try {
        if (!common::read_picture(argc, argv, 1, picture)) {
            return -1;
        }

        const std::string window = "Hough Circle Transform Demo";
        common::make_window(window, picture.size());
        // The picture itself on screen at once, marked once its circles are found.
        common::first_work(
            "Finding circles", {{window, picture}},
            [&](common::Progress&) {
                cv::Mat grey;
                cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY, 0);
                cv::GaussianBlur(grey, grey, cv::Size(9, 9), 2, 2, cv::BORDER_DEFAULT);
                // The library rejects a distance of 0, which pictures under 8 rows give.
                const int min_distance = std::max(grey.rows / 8, 1);
                std::vector<cv::Vec3f> circles;
                cv::HoughCircles(grey, circles, cv::HOUGH_GRADIENT, 1, min_distance, 200, 100, 0, 0);
                // As large on screen as at 1:1 in a window scaled down, so as not to vanish.
                const int marker = common::mark_thickness(3, common::shrink_of(window));
                for (const cv::Vec3f& found : circles) {
                    // cvRound goes half to even, as the markers' placement requires.
                    const cv::Point centre(cvRound(double(found[0])), cvRound(double(found[1])));
                    const int radius = cvRound(double(found[2]));
                    cv::circle(picture, centre, marker, cv::Scalar(0, 255, 0, 0), cv::FILLED, cv::LINE_8, 0);
                    cv::circle(picture, centre, radius, cv::Scalar(0, 0, 255, 0), marker, cv::LINE_8, 0);
                }
            },
            [&] { common::show(window, picture); });
    } catch (const std::exception& failure) {
        return common::fail("circle_finder", failure, picture.size());
    }

    common::wait_for_key();
    return 0;
}
