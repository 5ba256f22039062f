#include "edges.hpp"

#include <algorithm>

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

void colour(const cv::Mat& picture, const cv::Mat& edge_map, cv::Mat& output)
{
    output.create(picture.size(), picture.type());
    // Stripes of many rows: each one's two calls while it is in cache.
    const int stripes = std::max(1, std::min(picture.rows, cv::getNumThreads() * 4));
    cv::parallel_for_(
        cv::Range(0, picture.rows),
        [&](const cv::Range& rows) {
            cv::Mat stripe = output.rowRange(rows.start, rows.end);
            stripe = cv::Scalar::all(0);
            picture.rowRange(rows.start, rows.end).copyTo(stripe, edge_map.rowRange(rows.start, rows.end));
        },
        double(stripes));
}

} // namespace edges
