#include "lanes.hpp"

#if SCORING_LANES

#include <immintrin.h>

namespace scoring {
namespace {

#define SCORING_IN_LANES __attribute__((target("avx2")))

// What std::max(value, 0.) gives: the value unless below zero, -0 kept.
SCORING_IN_LANES inline __m256d not_below_zero(__m256d value)
{
    const __m256d zero = _mm256_setzero_pd();
    return _mm256_blendv_pd(value, zero, _mm256_cmp_pd(value, zero, _CMP_LT_OQ));
}

// The sums over a window of `width` columns from `at`, four windows on, as
// doubles: below 2^52, a whole number's bits under a double's exponent for
// 2^52 are that double plus 2^52.
SCORING_IN_LANES inline __m256d window_sums(const std::uint64_t* prefix, int at, int width)
{
    const __m256i sums =
        _mm256_sub_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(prefix + at + width)),
                         _mm256_loadu_si256(reinterpret_cast<const __m256i*>(prefix + at)));
    const __m256d two_to_52 = _mm256_set1_pd(4503599627370496.);
    return _mm256_sub_pd(_mm256_or_pd(_mm256_castsi256_pd(sums), two_to_52), two_to_52);
}

// derive, four placements at a time: the same operations in the same order
// on each lane (no fused multiply-adds, whose single rounding would differ),
// and the same choices, made by comparing and blending.
template <int Method>
SCORING_IN_LANES inline __m256d derive_lanes(__m256d score, const __m256d (&sums)[3], __m256d squares,
                                             const Formula& formula)
{
    constexpr bool coefficient = Method == cv::TM_CCOEFF || Method == cv::TM_CCOEFF_NORMED;
    constexpr bool difference = Method == cv::TM_SQDIFF || Method == cv::TM_SQDIFF_NORMED;
    constexpr bool normed =
        Method == cv::TM_SQDIFF_NORMED || Method == cv::TM_CCORR_NORMED || Method == cv::TM_CCOEFF_NORMED;
    const __m256d zero = _mm256_setzero_pd();
    __m256d window_mean2 = zero;
    if (coefficient) {
        for (int channel = 0; channel < 3; ++channel) {
            window_mean2 = _mm256_add_pd(window_mean2, _mm256_mul_pd(sums[channel], sums[channel]));
            score = _mm256_sub_pd(score, _mm256_mul_pd(sums[channel], _mm256_set1_pd(formula.mean[channel])));
        }
        window_mean2 = _mm256_mul_pd(window_mean2, _mm256_set1_pd(formula.inverse_area));
    }
    if (difference) {
        score = _mm256_add_pd(_mm256_sub_pd(squares, _mm256_mul_pd(_mm256_set1_pd(2), score)),
                              _mm256_set1_pd(formula.templ_sum2));
        score = not_below_zero(score);
    }
    if (normed) {
        const __m256d spread2 = not_below_zero(_mm256_sub_pd(squares, window_mean2));
        const __m256d floor = _mm256_set1_pd(library_lost_floor);
        const __m256d share = _mm256_mul_pd(_mm256_set1_pd(library_lost_share), squares);
        const __m256d lost_in_rounding =
            _mm256_blendv_pd(floor, share, _mm256_cmp_pd(share, floor, _CMP_LT_OQ));
        const __m256d divisor =
            _mm256_blendv_pd(_mm256_mul_pd(_mm256_sqrt_pd(spread2), _mm256_set1_pd(formula.templ_norm)), zero,
                             _mm256_cmp_pd(spread2, lost_in_rounding, _CMP_LE_OQ));
        const __m256d size = _mm256_andnot_pd(_mm256_set1_pd(-0.), score);
        const __m256d one = _mm256_set1_pd(1);
        const __m256d sign =
            _mm256_blendv_pd(_mm256_set1_pd(-1), one, _mm256_cmp_pd(score, zero, _CMP_GT_OQ));
        const __m256d no_match = Method == cv::TM_SQDIFF_NORMED ? one : zero;
        const __m256d past_one = _mm256_blendv_pd(
            no_match, sign,
            _mm256_cmp_pd(size, _mm256_mul_pd(divisor, _mm256_set1_pd(library_past_one)), _CMP_LT_OQ));
        score = _mm256_blendv_pd(past_one, _mm256_div_pd(score, divisor),
                                 _mm256_cmp_pd(size, divisor, _CMP_LT_OQ));
    }
    return score;
}

template <int Method>
SCORING_IN_LANES void row_in_lanes(const Formula& formula, const std::uint32_t* sums,
                                   const std::uint32_t* squares, size_t cols, std::uint64_t* prefixes,
                                   int templ_cols, const float* correlation, float* out, int placements,
                                   float& lowest, float& highest)
{
    std::uint64_t* const blue = prefixes;
    std::uint64_t* const green = blue + (cols + 1);
    std::uint64_t* const red = green + (cols + 1);
    std::uint64_t* const square = red + (cols + 1);
    blue[0] = green[0] = red[0] = square[0] = 0;
    for (size_t i = 0; i < cols; ++i, sums += 3, squares += 3) {
        blue[i + 1] = blue[i] + sums[0];
        green[i + 1] = green[i] + sums[1];
        red[i + 1] = red[i] + sums[2];
        square[i + 1] = square[i] + squares[0] + squares[1] + std::uint64_t(squares[2]);
    }

    __m128 low = _mm_set1_ps(lowest);
    __m128 high = _mm_set1_ps(highest);
    int x = 0;
    for (; x + 4 <= placements; x += 4) {
        const __m256d window[3] = {window_sums(blue, x, templ_cols), window_sums(green, x, templ_cols),
                                   window_sums(red, x, templ_cols)};
        const __m256d score = derive_lanes<Method>(_mm256_cvtps_pd(_mm_loadu_ps(correlation + x)), window,
                                                   window_sums(square, x, templ_cols), formula);
        const __m128 rounded = _mm256_cvtpd_ps(score);
        _mm_storeu_ps(out + x, rounded);
        low = _mm_min_ps(rounded, low);
        high = _mm_max_ps(rounded, high);
    }
    float lanes[2][4];
    _mm_storeu_ps(lanes[0], low);
    _mm_storeu_ps(lanes[1], high);
    for (int lane = 0; lane < 4; ++lane) {
        lowest = std::min(lowest, lanes[0][lane]);
        highest = std::max(highest, lanes[1][lane]);
    }
    for (; x < placements; ++x) {
        const std::int64_t window[3] = {std::int64_t(blue[x + templ_cols] - blue[x]),
                                        std::int64_t(green[x + templ_cols] - green[x]),
                                        std::int64_t(red[x + templ_cols] - red[x])};
        const std::int64_t window_squares = std::int64_t(square[x + templ_cols] - square[x]);
        const float score = derive<Method>(double(correlation[x]), window, window_squares, formula);
        out[x] = score;
        lowest = std::min(lowest, score);
        highest = std::max(highest, score);
    }
}

} // namespace

void score_row_in_lanes(int method, const Formula& formula, const std::uint32_t* sums,
                        const std::uint32_t* squares, std::size_t cols, std::uint64_t* prefixes,
                        int templ_cols, const float* correlation, float* out, int placements, float& lowest,
                        float& highest)
{
    auto* const scorer = method == cv::TM_SQDIFF          ? row_in_lanes<cv::TM_SQDIFF>
                         : method == cv::TM_SQDIFF_NORMED ? row_in_lanes<cv::TM_SQDIFF_NORMED>
                         : method == cv::TM_CCORR_NORMED  ? row_in_lanes<cv::TM_CCORR_NORMED>
                         : method == cv::TM_CCOEFF        ? row_in_lanes<cv::TM_CCOEFF>
                                                          : row_in_lanes<cv::TM_CCOEFF_NORMED>;
    scorer(formula, sums, squares, cols, prefixes, templ_cols, correlation, out, placements, lowest, highest);
}

} // namespace scoring

#endif

namespace scoring {

bool lanes_available()
{
#if SCORING_LANES
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

} // namespace scoring
