// edges: the Canny detector's edges of a grey picture, for one threshold
// after another, in the picture's colours.
//
// Canny smooths nothing itself; it takes the picture's derivatives, keeps
// the pixels whose gradient is largest along its own direction, and of those
// the ones above the lower threshold that are joined to one above the upper.
// Only the last step depends on the thresholds. So the picture's candidates
// (the pixels Canny keeps at threshold 0) and their gradients' strengths are
// worked out once, and a move only joins the candidates above its threshold:
// the same edges as the library's Canny on the blurred grey picture, for a
// fraction of the pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

namespace edges {

// What every threshold shares, and a move's own marks.
struct Candidates {
    int rows = 0;
    int cols = 0;
    // Row by row: where each row's candidates begin (and, last, where they
    // end), their columns, and their gradients' L1 magnitudes.
    std::vector<std::size_t> row_starts;
    std::vector<std::uint32_t> columns;
    std::vector<std::uint16_t> strengths;
    // Per pixel of the picture with a border of one: what a candidate is at
    // the last threshold, and whether the output shows its colours.
    std::vector<std::uint8_t> marks;
    std::vector<std::vector<std::size_t>> stacks; // a move's own, kept to allocate nothing
};

// The candidates of the grey picture after a 3 x 3 mean filter.
Candidates prepare(const cv::Mat& grey);

// The picture's own colours on its edges for a lower threshold (the upper is
// three times it), black elsewhere: what setting `output` to 0, then
// picture.copyTo(output, edge_map) gives, with edge_map what cv::Canny gives
// on the blurred picture. `output` holds what the last call gave, or is
// empty or black; only its pixels that change are written.
void colour_edges(Candidates& candidates, int lower_threshold, const cv::Mat& picture, cv::Mat& output);

} // namespace edges
