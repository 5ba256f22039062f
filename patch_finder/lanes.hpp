// lanes: a row of placements scored four at a time, where the processor has
// AVX2 (asked at run time): the same operations as formula.hpp's derive, in
// the same order on each lane, so the same scores to the bit. The window sums
// come from column sums kept per channel, which slide down eight columns at
// a time and are summed along the row eight at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "formula.hpp"
#include "scoring.hpp"

#if defined(__GNUC__) && defined(__x86_64__)
#define SCORING_LANES 1
#endif

namespace scoring {

// The largest template the lanes take: its column sums of squares below
// 2^32 (3 x 255² x rows), and its window sums per channel (255 x area).
constexpr int lanes_tallest_templ = 22017;
constexpr double lanes_largest_templ_area = 16843009;

// Per picture column, over the template's height, the sums of each channel's
// values and of all their squares, each in an array of its own; and room for
// their sums along a row. Unsigned, so that sliding them down a row stays
// exact modulo 2^32, where the sums themselves fit: for templates of up to
// lanes_tallest_templ rows. Empty where the lanes are not taken.
struct LaneColumns {
    explicit LaneColumns(std::size_t cols);
    void clear();
    std::size_t cols;
    std::vector<std::uint32_t> sums[3];
    std::vector<std::uint32_t> squares;
    // Along a row: the sums of the first columns' per channel, modulo 2^32,
    // and of their squares.
    std::vector<std::uint32_t> channel_prefixes; // 3 x (cols + 1)
    std::vector<std::uint64_t> prefixes;         // cols + 1
};

#if SCORING_LANES
// Slides the column sums down a row: adds the entering row's pixels and takes
// away the leaving one's, eight at a time; the measure's sums only.
void slide_in_lanes(bool with_sums, bool with_squares, LaneColumns& columns, const unsigned char* entering,
                    const unsigned char* leaving);

// The scores of one row of `placements` under a measure, 0 to 5 but not the
// plain correlation, into `out`, widening `lowest` and `highest` to theirs;
// from the row's column sums and its correlation. The window sums are
// differences of sums along the row.
void score_row_in_lanes(int method, const Formula& formula, LaneColumns& columns, int templ_cols,
                        const float* correlation, float* out, int placements, float& lowest, float& highest);
#endif

} // namespace scoring
