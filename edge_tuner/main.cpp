// edge_tuner: Canny edges in the picture's own colours, with a live threshold slider.
#include <opencv2/imgproc.hpp>

#include "common.hpp"
#include "edges.hpp"

namespace {

const std::string window = "Edge Map";

cv::Mat picture;
// The grey picture's candidate edges, worked out once: a move only joins
// those above its threshold.
edges::Candidates candidates;
cv::Mat output;
int lower_threshold = 0;

// Every run starts again from the grey picture's candidates, so moving the
// slider back brings the denser edges back.
void find_edges()
{
    edges::colour_edges(candidates, lower_threshold, picture, output);
}

void show_edges()
{
    find_edges();
    common::show(window, output);
}

void run_canny(int, void*)
{
    common::guard_move("edge_tuner", show_edges, picture.size(), "the window keeps the last edges");
}

} // namespace

int main(int argc, char** argv)
{
    // Each run starts afresh, also a second one in the same process.
    candidates = edges::Candidates();
    output = cv::Mat();
    lower_threshold = 0;

    try {
        if (!common::read_picture(argc, argv, 1, picture)) {
            return -1;
        }

        cv::Mat grey;
        cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY, 0);
        common::make_window(window, picture.size());
        common::make_slider("Min Threshold:", window, &lower_threshold, 100, run_canny);
        // Up at once, black until the candidates and what run_canny does are
        // done beside it, but here a failure ends the program.
        output = cv::Mat::zeros(picture.size(), picture.type());
        common::first_work(
            "Finding the edges", {{window, output}},
            [&](common::Progress&) {
                candidates = edges::prepare(grey);
                find_edges();
            },
            [] { common::show(window, output); });
    } catch (const std::exception& failure) {
        return common::fail("edge_tuner", failure, picture.size());
    }

    common::wait_for_key();
    return 0;
}
