// The reference for edge_tuner's moves: the library's blur and Canny on the
// grey picture, then its clearing and masked copy, on every move, as the
// design before the candidates were kept did. Linked in place of
// edge_tuner's own edges unit.
#include "edges.hpp"

#include <opencv2/imgproc.hpp>

namespace edges {
namespace {

// Only kept here: blurred and detected on every move, one picture a process.
cv::Mat grey_picture;
cv::Mat edge_map;

} // namespace

Candidates prepare(const cv::Mat& grey)
{
    grey_picture = grey;
    return {};
}

void colour_edges(Candidates&, int lower_threshold, const cv::Mat& picture, cv::Mat& output)
{
    cv::blur(grey_picture, edge_map, cv::Size(3, 3), cv::Point(-1, -1), cv::BORDER_DEFAULT);
    cv::Canny(edge_map, edge_map, double(lower_threshold), double(lower_threshold * 3), 3, false);
    output.create(picture.size(), picture.type());
    output = cv::Scalar(0, 0, 0, 0);
    picture.copyTo(output, edge_map);
}

} // namespace edges
