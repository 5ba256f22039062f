// edge_tuner: Canny edges in the picture's own colours, with a live threshold slider.
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

// Every run starts again from the grey image, so moving the slider back
// brings the denser edges back.
void run_canny(int, void*)
{
    cv::blur(grey, edges, cv::Size(3, 3), cv::Point(-1, -1), 4);
    cv::Canny(edges, edges, double(lower_threshold), double(lower_threshold * 3), 3, false);
    output = cv::Scalar(0, 0, 0, 0);
    picture.copyTo(output, edges);
    cv::imshow(window, output);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        return -1;
    }

    try {
        picture = cv::imread(std::string(argv[1]), 1);
    } catch (const cv::Exception&) {
        // The library throws, rather than reading nothing, for a header that claims
        // a size it cannot hold: that file is unreadable like any other.
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
    run_canny(0, nullptr);

    // With this window backend waitKey(0) never returns once the user has
    // closed the window, so wait in steps and stop when it is gone.
    while (cv::waitKey(50) < 0 && cv::getWindowProperty(window, cv::WND_PROP_VISIBLE) > 0) {}
    return 0;
}
