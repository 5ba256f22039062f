// formula: one placement's score under a matching measure, from its
// correlation and its window's sums, in the library's order of operations.
// Shared by the plain loop (scoring.cpp) and the lanes (lanes.cpp).
#pragma once

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>

#include <opencv2/imgproc.hpp>

namespace scoring {

// The library's thresholds for a normalized score:
// - A window's spread below this share of its sum of squares, or below the
//   floor, is lost in rounding: a flat window has nothing to divide by.
constexpr double library_lost_share = 10 * FLT_EPSILON;
constexpr double library_lost_floor = 0.5;
// - A normalized score up to this far past 1 in magnitude is a perfect match
//   carried past 1 by rounding; beyond it, no match at all.
constexpr double library_past_one = 1.125;

// A measure's constants, from the template's statistics.
struct Formula {
    double inverse_area = 0;
    cv::Scalar mean;            // subtracted per channel by the correlation coefficients
    double templ_sum2 = 0;      // the template's sum of squares
    double templ_norm = 0;      // what the normalized measures divide by, besides the window's spread
    bool flat_template = false; // a template without spread has no correlation coefficient
};

// One placement's score from its correlation and its window's sums.
template <int Method>
inline float derive(double score, const std::int64_t (&sums)[3], std::int64_t squares, const Formula& formula)
{
    constexpr bool coefficient = Method == cv::TM_CCOEFF || Method == cv::TM_CCOEFF_NORMED;
    constexpr bool difference = Method == cv::TM_SQDIFF || Method == cv::TM_SQDIFF_NORMED;
    constexpr bool normed =
        Method == cv::TM_SQDIFF_NORMED || Method == cv::TM_CCORR_NORMED || Method == cv::TM_CCOEFF_NORMED;
    double window_mean2 = 0;
    if (coefficient) {
        for (int channel = 0; channel < 3; ++channel) {
            const double sum = double(sums[channel]);
            window_mean2 += sum * sum;
            score -= sum * formula.mean[channel];
        }
        window_mean2 *= formula.inverse_area;
    }
    const double window_sum2 = double(squares);
    if (difference) {
        // Rounding may take a perfect match's difference below zero.
        score = std::max(window_sum2 - 2 * score + formula.templ_sum2, 0.);
    }
    if (normed) {
        // Rounding may take a flat window's spread below zero.
        const double spread2 = std::max(window_sum2 - window_mean2, 0.);
        const double lost_in_rounding = std::min(library_lost_floor, library_lost_share * window_sum2);
        const double divisor = spread2 <= lost_in_rounding ? 0 : std::sqrt(spread2) * formula.templ_norm;
        // With nothing to divide by, the placement counts as no match at all.
        if (std::fabs(score) < divisor) {
            score /= divisor;
        } else if (std::fabs(score) < divisor * library_past_one) {
            score = score > 0 ? 1 : -1;
        } else {
            score = Method == cv::TM_SQDIFF_NORMED ? 1 : 0;
        }
    }
    return float(score);
}

} // namespace scoring
