// equalizer: shows a picture in grey beside its histogram-equalized version.
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
    const std::string source_window = "Source image";
    const std::string equalized_window = "Equalized Image";

    cv::Mat picture;
    try {
        try {
            if (argc >= 2) {
                picture = cv::imread(std::string(argv[1]), 1);
            }
        } catch (const cv::Exception& error) {
            // The library throws, rather than reading nothing, for a header that
            // claims a size it cannot hold: that file is unreadable like any
            // other. Running out of memory is not.
            if (error.code == cv::Error::StsNoMem) {
                throw;
            }
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
    } catch (const std::exception& failure) {
        // Whatever the library throws before the first wait, running out of
        // memory above all, ends the program cleanly instead of aborting it.
        // The usage line is for a picture that cannot be read, not this.
        cv::destroyAllWindows();
        std::cerr << "equalizer: " << failure_reason(failure, picture.size()) << std::endl;
        return -1;
    }

    // With this window backend waitKey(0) never returns once the user has
    // closed the windows, so wait in steps and stop when both are gone.
    while (cv::waitKey(50) < 0 && (cv::getWindowProperty(source_window, cv::WND_PROP_VISIBLE) > 0 ||
                                   cv::getWindowProperty(equalized_window, cv::WND_PROP_VISIBLE) > 0)) {}
    return 0;
}
