// laplace_view: shows the absolute Laplacian of a lightly smoothed grey picture.
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

int main(int argc, char** argv)
{
    if (argc < 2) {
        return -1;
    }
    const std::string window = "Laplace Demo";

    cv::Mat picture;
    try {
        picture = cv::imread(std::string(argv[1]), 1);
    } catch (const cv::Exception&) {
        // The library throws, rather than reading nothing, for a header that claims
        // a size it cannot hold: that file is unreadable like any other.
    }
    if (picture.data == nullptr) {
        return -1;
    }

    cv::GaussianBlur(picture, picture, cv::Size(3, 3), 0, 0, 4);
    // Code 7 reads the picture as red-green-blue although it is blue-green-red:
    // blue gets red's weight and red gets blue's. Kept on purpose.
    cv::Mat grey;
    cv::cvtColor(picture, grey, 7, 0);

    cv::namedWindow(window, 1);
    cv::Mat response;
    cv::Laplacian(grey, response, 3, 3, 1, 0, 4);
    cv::Mat absolute_response;
    cv::convertScaleAbs(response, absolute_response, 1, 0);
    cv::imshow(window, absolute_response);

    // With this window backend waitKey(0) never returns once the user has
    // closed the window, so wait in steps and stop when it is gone.
    while (cv::waitKey(50) < 0 && cv::getWindowProperty(window, cv::WND_PROP_VISIBLE) > 0) {}
    return 0;
}
