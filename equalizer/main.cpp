// equalizer: shows a picture in grey beside its histogram-equalized version.
#include <iostream>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

int main(int argc, char** argv)
{
    const std::string source_window = "Source image";
    const std::string equalized_window = "Equalized Image";

    cv::Mat picture;
    try {
        if (argc >= 2) {
            picture = cv::imread(std::string(argv[1]), 1);
        }
    } catch (const cv::Exception&) {
        // The library throws, rather than reading nothing, for a header that claims
        // a size it cannot hold: that file is unreadable like any other.
    }
    if (picture.data == nullptr) {
        std::cout << "Usage: ./equalizer <path_to_image>" << std::endl;
        return -1;
    }

    cv::cvtColor(picture, picture, 6, 0);
    cv::Mat equalized;
    cv::equalizeHist(picture, equalized);

    cv::namedWindow(source_window, 1);
    cv::namedWindow(equalized_window, 1);
    cv::imshow(source_window, picture);
    cv::imshow(equalized_window, equalized);

    // With this window backend waitKey(0) never returns once the user has
    // closed the windows, so wait in steps and stop when both are gone.
    while (cv::waitKey(50) < 0 && (cv::getWindowProperty(source_window, cv::WND_PROP_VISIBLE) > 0 ||
                                   cv::getWindowProperty(equalized_window, cv::WND_PROP_VISIBLE) > 0)) {}
    return 0;
}
