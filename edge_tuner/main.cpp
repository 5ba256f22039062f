// edge_tuner: Canny edges in the picture's own colours, with a live threshold slider.
#include <exception>
#include <iostream>
#include <new>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

const std::string window = "Edge Map";

cv::Mat picture;
cv::Mat grey;
cv::Mat edges;
cv::Mat output;
int lower_threshold = 0;

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

// Every run starts again from the grey image, so moving the slider back
// brings the denser edges back.
void show_edges()
{
    cv::blur(grey, edges, cv::Size(3, 3), cv::Point(-1, -1), 4);
    cv::Canny(edges, edges, double(lower_threshold), double(lower_threshold * 3), 3, false);
    output = cv::Scalar(0, 0, 0, 0);
    picture.copyTo(output, edges);
    cv::imshow(window, output);
}

// The window toolkit calls this from its event loop, which cannot carry an
// exception: a move the library fails on is refused, and the window keeps
// what it showed.
void run_canny(int, void*)
{
    try {
        show_edges();
    } catch (const std::exception& failure) {
        std::cerr << "edge_tuner: " << failure_reason(failure, picture.size())
                  << "; the window keeps the last edges" << std::endl;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        return -1;
    }

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

        output.create(picture.size(), picture.type());
        cv::cvtColor(picture, grey, 6, 0);

        cv::namedWindow(window, 1);
        // This library release warns on stderr about a slider bound to a variable;
        // the binding is what we want, so the warning is hushed for this one call.
        const auto log_level = cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
        cv::createTrackbar("Min Threshold:", window, &lower_threshold, 100, run_canny, nullptr);
        cv::utils::logging::setLogLevel(log_level);
        // What run_canny does, but here a failure ends the program.
        show_edges();
    } catch (const std::exception& failure) {
        // Whatever the library throws before the first wait, running out of
        // memory above all, ends the program cleanly instead of aborting it.
        cv::destroyAllWindows();
        std::cerr << "edge_tuner: " << failure_reason(failure, picture.size()) << std::endl;
        return -1;
    }

    // With this window backend waitKey(0) never returns once the user has
    // closed the window, so wait in steps and stop when it is gone.
    while (cv::waitKey(50) < 0 && cv::getWindowProperty(window, cv::WND_PROP_VISIBLE) > 0) {}
    return 0;
}
