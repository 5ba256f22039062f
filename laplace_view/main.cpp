// laplace_view: shows the absolute Laplacian of a lightly smoothed grey picture.
#include <exception>
#include <iostream>
#include <new>
#include <string>

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
    const std::string window = "Laplace Demo";

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
    } catch (const std::exception& failure) {
        // Whatever the library throws before the first wait, running out of
        // memory above all, ends the program cleanly instead of aborting it.
        cv::destroyAllWindows();
        std::cerr << "laplace_view: " << failure_reason(failure, picture.size()) << std::endl;
        return -1;
    }

    // With this window backend waitKey(0) never returns once the user has
    // closed the window, so wait in steps and stop when it is gone.
    while (cv::waitKey(50) < 0 && cv::getWindowProperty(window, cv::WND_PROP_VISIBLE) > 0) {}
    return 0;
}
