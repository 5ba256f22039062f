// lanes: a row of placements scored four at a time, where the processor has
// AVX2 (asked at run time): the same operations as formula.hpp's derive, in
// the same order on each lane, so the same scores to the bit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formula.hpp"
#include "scoring.hpp"

#if defined(__GNUC__) && defined(__x86_64__)
#define SCORING_LANES 1
#endif

namespace scoring {

#if SCORING_LANES
// The scores of one row of `placements` under a measure, 0 to 5 but not the
// plain correlation, into `out`, widening `lowest` and `highest` to theirs;
// from the row's column sums of values and of squares (3 per picture column,
// `cols` columns) and its correlation. The window sums are differences of
// sums along the row, kept in `prefixes` (4 x (cols + 1) values), exact as
// doubles while a window's sum of squares stays below 2^52.
void score_row_in_lanes(int method, const Formula& formula, const std::uint32_t* sums,
                        const std::uint32_t* squares, std::size_t cols, std::uint64_t* prefixes,
                        int templ_cols, const float* correlation, float* out, int placements, float& lowest,
                        float& highest);
#endif

} // namespace scoring
