// edge_tuner: Canny edges in the picture's own colours, with a live threshold slider.
#include <exception>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/imgproc.hpp>

#include "common.hpp"
#include "edges.hpp"

namespace {

const std::string window = "Edge Map";

cv::Mat picture;
// What the detector needs of the grey picture, worked out once: a move only
// thresholds it again.
edges::Gradients gradients;
cv::Mat edge_map;
cv::Mat output;
int lower_threshold = 0;

// Every run starts again from the grey picture's gradients, so moving the
// slider back brings the denser edges back.
void find_edges()
{
    edges::find(gradients, lower_threshold, edge_map);
    output = cv::Scalar(0, 0, 0, 0);
    picture.copyTo(output, edge_map);
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
    gradients = edges::Gradients();
    edge_map = output = cv::Mat();
    lower_threshold = 0;

    try {
        if (!common::read_picture(argc, argv, 1, picture)) {
            return -1;
        }

        output.create(picture.size(), picture.type());
        cv::Mat grey;
        cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY, 0);

        common::make_window(window, picture.size());
        common::make_slider("Min Threshold:", window, &lower_threshold, 100, run_canny);
        // On screen at once, black until the edges are found.
        output = cv::Scalar(0, 0, 0, 0);
        common::show_while_working({{window, output}});
        // The gradients and what run_canny does, beside the live window,
        // but here a failure ends the program.
        common::Progress finding{"Finding the edges"};
        common::work_beside_windows(finding, [&] {
            gradients = edges::prepare(grey);
            find_edges();
        });
        common::show(window, output);
    } catch (const std::exception& failure) {
        return common::fail("edge_tuner", failure, picture.size());
    }

    common::wait_for_key();
    return 0;
}
