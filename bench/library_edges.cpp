// The reference for edge_tuner's moves: the library's Canny on the blurred
// grey picture on every move, as the design before the gradients were kept
// did. Linked in place of edge_tuner's own edges unit.
#include "edges.hpp"

#include <opencv2/imgproc.hpp>

namespace edges {

Gradients prepare(const cv::Mat& grey)
{
    Gradients kept;
    kept.dx = grey; // only kept here: blurred and derived on every move
    return kept;
}

void find(const Gradients& gradients, int lower_threshold, cv::Mat& edge_map)
{
    cv::blur(gradients.dx, edge_map, cv::Size(3, 3), cv::Point(-1, -1), cv::BORDER_DEFAULT);
    cv::Canny(edge_map, edge_map, double(lower_threshold), double(lower_threshold * 3), 3, false);
}

void colour(const cv::Mat& picture, const cv::Mat& edge_map, cv::Mat& output)
{
    output.create(picture.size(), picture.type());
    output = cv::Scalar(0, 0, 0, 0);
    picture.copyTo(output, edge_map);
}

} // namespace edges
