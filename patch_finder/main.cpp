// patch_finder: frames the best placement of a template in a picture, with a
// slider choosing one of six matching measures.
#include <exception>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/imgproc.hpp>

#include "common.hpp"
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

void show_matching()
{
    // A fresh copy each run, so earlier frames never accumulate.
    cv::Mat display;
    picture.copyTo(display);

    // What cv::matchTemplate gives for the selected measure, to the bit.
    scoring::score(basis, selected_method, scores);
    cv::normalize(scores, scores, 0, 1, cv::NORM_MINMAX, -1, cv::Mat());

    double smallest = 0;
    double largest = 0;
    cv::Point smallest_at;
    cv::Point largest_at;
    cv::minMaxLoc(scores, &smallest, &largest, &smallest_at, &largest_at, cv::Mat());

    // The squared differences are best where smallest, the other measures where largest.
    const bool lower_is_better = selected_method == cv::TM_SQDIFF || selected_method == cv::TM_SQDIFF_NORMED;
    const cv::Point match = lower_is_better ? smallest_at : largest_at;
    const cv::Point corner(match.x + templ.cols, match.y + templ.rows);
    cv::rectangle(display, match, corner, cv::Scalar(0, 0, 0, 0), 2, cv::LINE_8, 0);
    cv::rectangle(scores, match, corner, cv::Scalar(0, 0, 0, 0), 2, cv::LINE_8, 0);

    cv::imshow(source_window, display);
    cv::imshow(result_window, scores);
}

void run_matching(int, void*)
{
    common::guard_move("patch_finder", show_matching, picture.size(), "the windows keep the last measure");
}

} // namespace

int main(int argc, char** argv)
{
    // Each run starts afresh, also a second one in the same process.
    scores = cv::Mat();
    basis = scoring::Basis();
    selected_method = 0;

    try {
        // Matching needs both pictures and a template that fits inside the picture.
        if (!common::read_picture(argc, argv, 1, picture) || !common::read_picture(argc, argv, 2, templ) ||
            templ.rows > picture.rows || templ.cols > picture.cols) {
            return -1;
        }

        basis = scoring::prepare(picture, templ);

        common::make_window(source_window);
        common::make_window(result_window);
        common::make_slider(slider_label, source_window, &selected_method, 5, run_matching);
        // What run_matching does, but here a failure ends the program.
        show_matching();
    } catch (const std::exception& failure) {
        return common::fail("patch_finder", failure, picture.size());
    }

    common::wait_for_key();
    return 0;
}
