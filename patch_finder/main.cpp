// patch_finder: frames the best placement of a template in a picture, with a
// slider choosing one of six matching measures.
#include <exception>
#include <iostream>
#include <new>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "scoring.hpp"

namespace {

const std::string source_window = "Source Image";
const std::string result_window = "Result window";
const std::string slider_label = "Method: \n 0: SQDIFF \n 1: SQDIFF NORMED \n 2: TM CCORR \n"
                                 " 3: TM CCORR NORMED \n 4: TM COEFF \n 5: TM COEFF NORMED";

cv::Mat picture;
cv::Mat templ;
cv::Mat scores;
// What all six measures share, worked out once: a move only derives its measure.
scoring::Basis basis;
int selected_method = 0;

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

void show_matching()
{
    // A fresh copy each run, so earlier frames never accumulate.
    cv::Mat display;
    picture.copyTo(display);

    // What cv::matchTemplate gives for the selected measure, to the bit.
    scoring::score(basis, selected_method, scores);
    cv::normalize(scores, scores, 0, 1, 32, -1, cv::Mat());

    double smallest = 0;
    double largest = 0;
    cv::Point smallest_at;
    cv::Point largest_at;
    cv::minMaxLoc(scores, &smallest, &largest, &smallest_at, &largest_at, cv::Mat());

    // The squared differences are best where smallest, the other measures where largest.
    const cv::Point match = (selected_method == 0 || selected_method == 1) ? smallest_at : largest_at;
    const cv::Point corner(match.x + templ.cols, match.y + templ.rows);
    cv::rectangle(display, match, corner, cv::Scalar(0, 0, 0, 0), 2, 8, 0);
    cv::rectangle(scores, match, corner, cv::Scalar(0, 0, 0, 0), 2, 8, 0);

    cv::imshow(source_window, display);
    cv::imshow(result_window, scores);
}

// The window toolkit calls this from its event loop, which cannot carry an
// exception: a move the library fails on is refused, and the windows keep
// what they showed.
void run_matching(int, void*)
{
    try {
        show_matching();
    } catch (const std::exception& failure) {
        std::cerr << "patch_finder: " << failure_reason(failure, picture.size())
                  << "; the windows keep the last measure" << std::endl;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        return -1;
    }

    try {
        try {
            picture = cv::imread(std::string(argv[1]), 1);
            templ = cv::imread(std::string(argv[2]), 1);
        } catch (const cv::Exception& error) {
            // The library throws, rather than reading nothing, for a header that
            // claims a size it cannot hold: that file is unreadable like any
            // other. Running out of memory is not.
            if (error.code == cv::Error::StsNoMem) {
                throw;
            }
        }
        // Matching needs both pictures and a template that fits inside the picture.
        if (picture.data == nullptr || templ.data == nullptr || templ.rows > picture.rows ||
            templ.cols > picture.cols) {
            return -1;
        }

        basis = scoring::prepare(picture, templ);

        cv::namedWindow(source_window, 1);
        cv::namedWindow(result_window, 1);
        // This library release warns on stderr about a slider bound to a variable;
        // the binding is what we want, so the warning is hushed for this one call.
        const auto log_level = cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
        cv::createTrackbar(slider_label, source_window, &selected_method, 5, run_matching, nullptr);
        cv::utils::logging::setLogLevel(log_level);
        // What run_matching does, but here a failure ends the program.
        show_matching();
    } catch (const std::exception& failure) {
        // Whatever the library throws before the first wait, running out of
        // memory above all, ends the program cleanly instead of aborting it.
        cv::destroyAllWindows();
        std::cerr << "patch_finder: " << failure_reason(failure, picture.size()) << std::endl;
        return -1;
    }

    // With this window backend waitKey(0) never returns once the user has
    // closed the windows, so wait in steps and stop when both are gone.
    while (cv::waitKey(50) < 0 && (cv::getWindowProperty(source_window, cv::WND_PROP_VISIBLE) > 0 ||
                                   cv::getWindowProperty(result_window, cv::WND_PROP_VISIBLE) > 0)) {}
    return 0;
}
