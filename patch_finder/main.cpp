// patch_finder: frames the best placement of a template in a picture, with a
// slider choosing one of six matching measures.
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

const std::string source_window = "Source Image";
const std::string result_window = "Result window";
const std::string slider_label = "Method: \n 0: SQDIFF \n 1: SQDIFF NORMED \n 2: TM CCORR \n"
                                 " 3: TM CCORR NORMED \n 4: TM COEFF \n 5: TM COEFF NORMED";

cv::Mat picture;
cv::Mat templ;
cv::Mat scores;
int selected_method = 0;

void run_matching(int, void*)
{
    // A fresh copy each run, so earlier frames never accumulate.
    cv::Mat display;
    picture.copyTo(display);

    const int score_rows = picture.rows - templ.rows + 1;
    const int score_cols = picture.cols - templ.cols + 1;
    scores.create(score_rows, score_cols, 5);

    cv::matchTemplate(picture, templ, scores, selected_method);
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

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        return -1;
    }

    try {
        picture = cv::imread(std::string(argv[1]), 1);
        templ = cv::imread(std::string(argv[2]), 1);
    } catch (const cv::Exception&) {
        // The library throws, rather than reading nothing, for a header that claims
        // a size it cannot hold: that file is unreadable like any other.
    }
    // Matching needs both pictures and a template that fits inside the picture.
    if (picture.data == nullptr || templ.data == nullptr || templ.rows > picture.rows ||
        templ.cols > picture.cols) {
        return -1;
    }

    cv::namedWindow(source_window, 1);
    cv::namedWindow(result_window, 1);
    // This library release warns on stderr about a slider bound to a variable;
    // the binding is what we want, so the warning is hushed for this one call.
    const auto log_level = cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
    cv::createTrackbar(slider_label, source_window, &selected_method, 5, run_matching, nullptr);
    cv::utils::logging::setLogLevel(log_level);
    run_matching(0, nullptr);

    // With this window backend waitKey(0) never returns once the user has
    // closed the windows, so wait in steps and stop when both are gone.
    while (cv::waitKey(50) < 0 && (cv::getWindowProperty(source_window, cv::WND_PROP_VISIBLE) > 0 ||
                                   cv::getWindowProperty(result_window, cv::WND_PROP_VISIBLE) > 0)) {}
    return 0;
}
