// circle_finder: marks the circles that the gradient Hough transform finds.
#include <algorithm>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

// Why the library gave up, in one line for the console.
std::string failure_reason(const std::exception& failure, cv::Size size)
{
    const auto* library = dynamic_cast<const cv::Exception*>(&failure);
    const bool memory = library != nullptr ? library->code == cv::Error::StsNoMem
                                           : dynamic_cast<const std::bad_alloc*>(&failure) != nullptr;
    if (!memory) {
        const std::string said = library != nullptr ? library->err : failure.what();
        return "cannot process this picture: " + said.substr(0, said.find('\n'));
    }
    if (size.empty()) {
        return "not enough memory to read this picture";
    }
    return "not enough memory to process this " + std::to_string(size.width) + "x" +
           std::to_string(size.height) + " picture";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        return -1;
    }
    const std::string window = "Hough Circle Transform Demo";

    cv::Mat picture;
    try {
        try {
            picture = cv::imread(std::string(argv[1]), 1);
        } catch (const cv::Exception& error) {
            // The library throws, rather than reading nothing, for a header that
            // claims a size it cannot hold: that file is unreadable like any
            // other. Running out of memory is not.
            if (error.code == cv::Error::StsNoMem) {
                throw;
            }
        }
        if (picture.data == nullptr) {
            return -1;
        }

        cv::Mat grey;
        cv::cvtColor(picture, grey, 6, 0);
        cv::GaussianBlur(grey, grey, cv::Size(9, 9), 2, 2, 4);

        // The library rejects a distance of 0, which pictures under 8 rows give.
        const int min_distance = std::max(grey.rows / 8, 1);
        std::vector<cv::Vec3f> circles;
        cv::HoughCircles(grey, circles, 3, 1, min_distance, 200, 100, 0, 0);

        for (const cv::Vec3f& found : circles) {
            // cvRound goes half to even, as the markers' placement requires.
            const cv::Point centre(cvRound(double(found[0])), cvRound(double(found[1])));
            const int radius = cvRound(double(found[2]));
            cv::circle(picture, centre, 3, cv::Scalar(0, 255, 0, 0), -1, 8, 0);
            cv::circle(picture, centre, radius, cv::Scalar(0, 0, 255, 0), 3, 8, 0);
        }

        cv::namedWindow(window, 1);
        cv::imshow(window, picture);
    } catch (const std::exception& failure) {
        // Whatever the library throws before the first wait, running out of
        // memory above all, ends the program cleanly instead of aborting it.
        cv::destroyAllWindows();
        std::cerr << "circle_finder: " << failure_reason(failure, picture.size()) << std::endl;
        return -1;
    }

    // With this window backend waitKey(0) never returns once the user has
    // closed the window, so wait in steps and stop when it is gone.
    while (cv::waitKey(50) < 0 && cv::getWindowProperty(window, cv::WND_PROP_VISIBLE) > 0) {}
    return 0;
}
