#include "edges.hpp"

#include <opencv2/imgproc.hpp>

namespace edges {

Gradients prepare(const cv::Mat& grey)
{
    cv::Mat blurred;
    cv::blur(grey, blurred, cv::Size(3, 3), cv::Point(-1, -1), cv::BORDER_DEFAULT);
    // The derivatives Canny takes itself from a picture: 3 x 3 Sobel, edge
    // pixels repeated past the border.
    Gradients gradients;
    cv::Sobel(blurred, gradients.dx, CV_16S, 1, 0, 3, 1, 0, cv::BORDER_REPLICATE);
    cv::Sobel(blurred, gradients.dy, CV_16S, 0, 1, 3, 1, 0, cv::BORDER_REPLICATE);
    return gradients;
}

void find(const Gradients& gradients, int lower_threshold, cv::Mat& edge_map)
{
    cv::Canny(gradients.dx, gradients.dy, edge_map, double(lower_threshold), double(lower_threshold * 3),
              false);
}

} // namespace edges
