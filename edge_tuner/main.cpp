// edge_tuner: Canny edges in the picture's own colours, with a live threshold slider.
#include <exception>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/imgproc.hpp>

#include "common.hpp"

namespace {

const std::string window = "Edge Map";

cv::Mat picture;
cv::Mat grey;
cv::Mat edges;
cv::Mat output;
int lower_threshold = 0;

// Every run starts again from the grey image, so moving the slider back
// brings the denser edges back.
void show_edges()
{
    cv::blur(grey, edges, cv::Size(3, 3), cv::Point(-1, -1), cv::BORDER_DEFAULT);
    cv::Canny(edges, edges, double(lower_threshold), double(lower_threshold * 3), 3, false);
    output = cv::Scalar(0, 0, 0, 0);
    picture.copyTo(output, edges);
    cv::imshow(window, output);
}

void run_canny(int, void*)
{
    common::guard_move("edge_tuner", show_edges, picture.size(), "the window keeps the last edges");
}

} // namespace

int main(int argc, char** argv)
{
    // Each run starts afresh, also a second one in the same process.
    grey = edges = output = cv::Mat();
    lower_threshold = 0;

    try {
        if (!common::read_picture(argc, argv, 1, picture)) {
            return -1;
        }

        output.create(picture.size(), picture.type());
        cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY, 0);

        common::make_window(window);
        common::make_slider("Min Threshold:", window, &lower_threshold, 100, run_canny);
        // What run_canny does, but here a failure ends the program.
        show_edges();
    } catch (const std::exception& failure) {
        return common::fail("edge_tuner", failure, picture.size());
    }

    common::wait_for_key();
    return 0;
}
