// patch_finder: frames the best placement of a template in a picture, with a
// slider choosing one of six matching measures.
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
cv::Mat display;
cv::Rect last_frame;
// The frame on the picture's copy, as its corner and thickness, and the one
// its window shows.
cv::Vec3i frame_drawn;
cv::Vec3i frame_shown;
// What all six measures share, worked out once: a move only derives its measure.
scoring::Basis basis;
int selected_method = 0;

// The measure's scores, its best match framed on them and on the picture's copy.
void frame_best_match()
{
    // The last frame painted over from the picture, so that frames never
    // accumulate: the whole picture is copied only once.
    if (display.empty()) {
        picture.copyTo(display);
    } else {
        picture(last_frame).copyTo(display(last_frame));
    }

    // cv::matchTemplate's scores for the measure, rescaled to 0..1 by
    // cv::normalize (min-max), and where cv::minMaxLoc finds its extremes.
    const scoring::Located located = scoring::normalized_scores(basis, selected_method, scores);

    // The squared differences are best where smallest, the other measures where largest.
    const bool lower_is_better = selected_method == cv::TM_SQDIFF || selected_method == cv::TM_SQDIFF_NORMED;
    const cv::Point match = lower_is_better ? located.smallest_at : located.largest_at;
    const cv::Point corner(match.x + templ.cols, match.y + templ.rows);
    // As thick on screen as at 1:1 in a window scaled down, so as not to vanish.
    const int source_frame = common::mark_thickness(2, common::shrink_of(source_window));
    const int result_frame = common::mark_thickness(2, common::shrink_of(result_window));
    cv::rectangle(display, match, corner, cv::Scalar(0, 0, 0, 0), source_frame, cv::LINE_8, 0);
    frame_drawn = cv::Vec3i(match.x, match.y, source_frame);
    // All that the frame's lines can touch, with a margin.
    const cv::Point margin(source_frame + 1, source_frame + 1);
    last_frame =
        cv::Rect(match - margin, corner + margin + cv::Point(1, 1)) & cv::Rect(cv::Point(), picture.size());
    cv::rectangle(scores, match, corner, cv::Scalar(0, 0, 0, 0), result_frame, cv::LINE_8, 0);
}

void show_frames()
{
    // The picture again only where its frame moved: showing it costs a pass
    // over the whole picture, and the measures mostly agree on the place.
    if (frame_drawn != frame_shown) {
        common::show(source_window, display);
        frame_shown = frame_drawn;
    }
    common::show(result_window, scores);
}

void run_matching(int, void*)
{
    const auto show_matching = [] {
        frame_best_match();
        show_frames();
    };
    common::guard_move("patch_finder", show_matching, picture.size(), "the windows keep the last measure");
}

} // namespace

int main(int argc, char** argv)
{
    // Each run starts afresh, also a second one in the same process.
    scores = display = cv::Mat();
    last_frame = cv::Rect();
    frame_shown = cv::Vec3i(-1, -1, -1);
    basis = scoring::Basis();
    selected_method = 0;

    try {
        // Matching needs both pictures and a template that fits inside the picture.
        if (!common::read_picture(argc, argv, 1, picture) || !common::read_picture(argc, argv, 2, templ) ||
            templ.rows > picture.rows || templ.cols > picture.cols) {
            return -1;
        }

        const cv::Size score_size(picture.cols - templ.cols + 1, picture.rows - templ.rows + 1);
        common::make_window(source_window, picture.size());
        common::make_window(result_window, score_size);
        common::make_slider(slider_label, source_window, &selected_method, 5, run_matching);
        // Up at once, the picture and a dark map until the scores are in: the
        // correlation and run_matching's work beside them, a failure fatal here.
        common::first_work(
            "Matching the template", {{source_window, picture}, {result_window, cv::Mat()}},
            [&](common::Progress& matching) {
                basis = scoring::prepare(picture, templ, scoring::native_path(), &matching);
                frame_best_match();
            },
            show_frames);
    } catch (const std::exception& failure) {
        return common::fail("patch_finder", failure, picture.size());
    }

    common::wait_for_key();
    return 0;
}
