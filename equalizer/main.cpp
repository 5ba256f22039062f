// equalizer: shows a picture in grey beside its histogram-equalized version.
#include <iostream>

#include <opencv2/imgproc.hpp>

#include "common.hpp"

int main(int argc, char** argv)
{
    cv::Mat picture;
    try {
        if (!common::read_picture(argc, argv, 1, picture)) {
            std::cout << "Usage: ./equalizer <path_to_image>" << std::endl;
            return -1;
        }

        cv::cvtColor(picture, picture, cv::COLOR_BGR2GRAY, 0);
        const std::string source_window = "Source image";
        const std::string equalized_window = "Equalized Image";
        common::make_window(source_window, picture.size());
        common::make_window(equalized_window, picture.size());
        // The grey picture on screen at once, beside a dark one until equalized.
        cv::Mat equalized;
        common::first_work(
            "Equalizing the histogram", {{source_window, picture}, {equalized_window, cv::Mat()}},
            [&](common::Progress&) { cv::equalizeHist(picture, equalized); },
            [&] {
                common::show(source_window, picture);
                common::show(equalized_window, equalized);
            });
    } catch (const std::exception& failure) {
        // The usage line is for a picture that cannot be read, not this.
        return common::fail("equalizer", failure, picture.size());
    }

    common::wait_for_key();
    return 0;
}
