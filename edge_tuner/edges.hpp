// edges: the Canny detector's edges of a grey picture, for one threshold
// after another.
//
// Canny smooths nothing itself; it takes the picture's derivatives, then
// keeps the pixels whose gradient stands out by the thresholds. The
// derivatives do not depend on the thresholds, so they are worked out once
// for the picture, and a move of the slider only thresholds them again: the
// same edges as the library's Canny on the blurred grey picture, in a
// fraction of the time.
#pragma once

#include <opencv2/core.hpp>

namespace edges {

// What every threshold shares: the derivatives of the grey picture after a
// 3 x 3 mean filter.
struct Gradients {
    cv::Mat dx; // 16-bit signed, 3 x 3 Sobel across
    cv::Mat dy; // the same, down
};

Gradients prepare(const cv::Mat& grey);

// The edge map for a lower threshold (the upper is three times it): 255 on
// edge pixels, 0 elsewhere; what cv::Canny gives on the blurred picture.
void find(const Gradients& gradients, int lower_threshold, cv::Mat& edge_map);

// The picture's own colours on its edges, black elsewhere: what setting
// `output` to 0, then picture.copyTo(output, edge_map), gives, in one pass
// over stripes on every core.
void colour(const cv::Mat& picture, const cv::Mat& edge_map, cv::Mat& output);

} // namespace edges
