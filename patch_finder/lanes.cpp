#include "lanes.hpp"

#include <algorithm>

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

// A whole number below 2^52 as a double: its bits under the exponent of
// 2^52 are that double plus 2^52.
SCORING_IN_LANES inline __m256d as_doubles(__m256i whole)
{
    const __m256d two_to_52 = _mm256_set1_pd(4503599627370496.);
    return _mm256_sub_pd(_mm256_or_pd(_mm256_castsi256_pd(whole), two_to_52), two_to_52);
}

// The sums over a window of `width` columns from `at`, four windows on, as
// doubles: from 64-bit sums along the row...
SCORING_IN_LANES inline __m256d window_sums(const std::uint64_t* prefix, int at, int width)
{
    return as_doubles(
        _mm256_sub_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(prefix + at + width)),
                         _mm256_loadu_si256(reinterpret_cast<const __m256i*>(prefix + at))));
}

// ...or from 32-bit ones, whose difference modulo 2^32 is the window's sum
// where that is below 2^32.
SCORING_IN_LANES inline __m256d window_sums(const std::uint32_t* prefix, int at, int width)
{
    return as_doubles(_mm256_cvtepu32_epi64(
        _mm_sub_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(prefix + at + width)),
                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(prefix + at)))));
}

// Sums along the row, eight columns at a time in 32 bits (modulo 2^32) or
// four in 64: each lane's value with its predecessors', plus `carry`, the
// sum of all columns before, which it moves on past these. The carry waits
// on one addition a step, not on the whole sum.
SCORING_IN_LANES inline void running_sums(__m256i values, __m256i& carry, std::uint32_t* into)
{
    values = _mm256_add_epi32(values, _mm256_slli_si256(values, 4));
    values = _mm256_add_epi32(values, _mm256_slli_si256(values, 8));
    const __m256i first_half = _mm256_permutevar8x32_epi32(values, _mm256_setr_epi32(0, 0, 0, 0, 3, 3, 3, 3));
    values = _mm256_add_epi32(values, _mm256_blend_epi32(_mm256_setzero_si256(), first_half, 0xF0));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(into), _mm256_add_epi32(values, carry));
    carry = _mm256_add_epi32(carry, _mm256_permutevar8x32_epi32(values, _mm256_set1_epi32(7)));
}

SCORING_IN_LANES inline void running_sums(__m256i values, __m256i& carry, std::uint64_t* into)
{
    values = _mm256_add_epi64(values, _mm256_slli_si256(values, 8));
    const __m256i first_half = _mm256_permute4x64_epi64(values, 0x55);
    values = _mm256_add_epi64(values, _mm256_blend_epi32(_mm256_setzero_si256(), first_half, 0xF0));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(into), _mm256_add_epi64(values, carry));
    carry = _mm256_add_epi64(carry, _mm256_permute4x64_epi64(values, 0xFF));
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

// Eight pixels' channels apart, widened to 32 bits: four pixels from each of
// two loads of 16 bytes, the second 12 bytes on.
SCORING_IN_LANES inline void channels_of(const uchar* pixels, __m256i (&channels)[3])
{
    const __m256i bytes = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + 12)), 1);
    for (int channel = 0; channel < 3; ++channel) {
        const char c = char(channel);
        const __m256i pick = _mm256_setr_epi8(c, -1, -1, -1, char(c + 3), -1, -1, -1, char(c + 6), -1, -1, -1,
                                              char(c + 9), -1, -1, -1, c, -1, -1, -1, char(c + 3), -1, -1, -1,
                                              char(c + 6), -1, -1, -1, char(c + 9), -1, -1, -1);
        channels[channel] = _mm256_shuffle_epi8(bytes, pick);
    }
}

SCORING_IN_LANES inline void add_to(std::uint32_t* sums, __m256i change)
{
    auto* const at = reinterpret_cast<__m256i*>(sums);
    _mm256_storeu_si256(at, _mm256_add_epi32(_mm256_loadu_si256(at), change));
}

template <bool Sums, bool Squares>
SCORING_IN_LANES void slide(LaneColumns& columns, const uchar* entering, const uchar* leaving)
{
    std::uint32_t* const sums[3] = {columns.sums[0].data(), columns.sums[1].data(), columns.sums[2].data()};
    std::uint32_t* const squares = columns.squares.data();
    size_t i = 0;
    // The second load of a group ends 28 bytes on: within the row.
    for (; i + 10 <= columns.cols; i += 8) {
        __m256i in[3];
        __m256i out[3];
        channels_of(entering + 3 * i, in);
        channels_of(leaving + 3 * i, out);
        __m256i squares_change = _mm256_setzero_si256();
        for (int channel = 0; channel < 3; ++channel) {
            const __m256i change = _mm256_sub_epi32(in[channel], out[channel]);
            if (Sums) {
                add_to(sums[channel] + i, change);
            }
            if (Squares) {
                // in² - out², one multiplication.
                squares_change = _mm256_add_epi32(
                    squares_change, _mm256_mullo_epi32(change, _mm256_add_epi32(in[channel], out[channel])));
            }
        }
        if (Squares) {
            add_to(squares + i, squares_change);
        }
    }
    for (; i < columns.cols; ++i) {
        for (int channel = 0; channel < 3; ++channel) {
            const std::uint32_t in = entering[3 * i + size_t(channel)];
            const std::uint32_t out = leaving[3 * i + size_t(channel)];
            if (Sums) {
                sums[channel][i] += in - out;
            }
            if (Squares) {
                squares[i] += in * in - out * out;
            }
        }
    }
}

template <int Method>
SCORING_IN_LANES void row_in_lanes(const Formula& formula, LaneColumns& columns, int templ_cols,
                                   const float* correlation, float* out, int placements, float& lowest,
                                   float& highest)
{
    constexpr bool with_sums = Method == cv::TM_CCOEFF || Method == cv::TM_CCOEFF_NORMED;
    constexpr bool with_squares = Method != cv::TM_CCOEFF;
    const size_t cols = columns.cols;
    std::uint32_t* const blue = columns.channel_prefixes.data();
    std::uint32_t* const green = blue + (cols + 1);
    std::uint32_t* const red = green + (cols + 1);
    std::uint64_t* const square = columns.prefixes.data();
    // Only the sums the measure takes.
    blue[0] = green[0] = red[0] = 0;
    square[0] = 0;
    if (with_sums) {
        std::uint32_t* const prefixes[3] = {blue, green, red};
        __m256i carries[3] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256()};
        size_t i = 0;
        for (; i + 8 <= cols; i += 8) {
            for (int channel = 0; channel < 3; ++channel) {
                const auto* const sums = reinterpret_cast<const __m256i*>(columns.sums[channel].data() + i);
                running_sums(_mm256_loadu_si256(sums), carries[channel], prefixes[channel] + i + 1);
            }
        }
        for (; i < cols; ++i) {
            for (int channel = 0; channel < 3; ++channel) {
                prefixes[channel][i + 1] = prefixes[channel][i] + columns.sums[channel][i];
            }
        }
    }
    if (with_squares) {
        const std::uint32_t* const squares = columns.squares.data();
        __m256i carry = _mm256_setzero_si256();
        size_t i = 0;
        for (; i + 4 <= cols; i += 4) {
            const auto* const four = reinterpret_cast<const __m128i*>(squares + i);
            running_sums(_mm256_cvtepu32_epi64(_mm_loadu_si128(four)), carry, square + i + 1);
        }
        for (; i < cols; ++i) {
            square[i + 1] = square[i] + squares[i];
        }
    }

    const auto one_placement = [&](int x) {
        const std::int64_t window[3] = {std::uint32_t(blue[x + templ_cols] - blue[x]),
                                        std::uint32_t(green[x + templ_cols] - green[x]),
                                        std::uint32_t(red[x + templ_cols] - red[x])};
        const std::int64_t window_squares = std::int64_t(square[x + templ_cols] - square[x]);
        const float score = derive<Method>(double(correlation[x]), window, window_squares, formula);
        out[x] = score;
        lowest = std::min(lowest, score);
        highest = std::max(highest, score);
    };
    int x = 0;
    __m128 low = _mm_set1_ps(lowest);
    __m128 high = _mm_set1_ps(highest);
    for (; x + 4 <= placements; x += 4) {
        __m256d window[3] = {_mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd()};
        if (with_sums) {
            window[0] = window_sums(blue, x, templ_cols);
            window[1] = window_sums(green, x, templ_cols);
            window[2] = window_sums(red, x, templ_cols);
        }
        const __m256d window_squares =
            with_squares ? window_sums(square, x, templ_cols) : _mm256_setzero_pd();
        const __m256d score = derive_lanes<Method>(_mm256_cvtps_pd(_mm_loadu_ps(correlation + x)), window,
                                                   window_squares, formula);
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
        one_placement(x);
    }
}

} // namespace

void slide_in_lanes(bool with_sums, bool with_squares, LaneColumns& columns, const unsigned char* entering,
                    const unsigned char* leaving)
{
    auto* const slider = !with_squares ? slide<true, false>
                         : with_sums   ? slide<true, true>
                                       : slide<false, true>;
    slider(columns, entering, leaving);
}

void score_row_in_lanes(int method, const Formula& formula, LaneColumns& columns, int templ_cols,
                        const float* correlation, float* out, int placements, float& lowest, float& highest)
{
    auto* const scorer = method == cv::TM_SQDIFF          ? row_in_lanes<cv::TM_SQDIFF>
                         : method == cv::TM_SQDIFF_NORMED ? row_in_lanes<cv::TM_SQDIFF_NORMED>
                         : method == cv::TM_CCORR_NORMED  ? row_in_lanes<cv::TM_CCORR_NORMED>
                         : method == cv::TM_CCOEFF        ? row_in_lanes<cv::TM_CCOEFF>
                                                          : row_in_lanes<cv::TM_CCOEFF_NORMED>;
    scorer(formula, columns, templ_cols, correlation, out, placements, lowest, highest);
}

} // namespace scoring

#endif

namespace scoring {

LaneColumns::LaneColumns(std::size_t cols)
    : cols(cols), sums{std::vector<std::uint32_t>(cols), std::vector<std::uint32_t>(cols),
                       std::vector<std::uint32_t>(cols)},
      squares(cols), channel_prefixes(3 * (cols + 1)), prefixes(cols + 1)
{
}

void LaneColumns::clear()
{
    for (std::vector<std::uint32_t>& channel : sums) {
        std::fill(channel.begin(), channel.end(), 0);
    }
    std::fill(squares.begin(), squares.end(), 0);
}

bool lanes_available()
{
#if SCORING_LANES
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

} // namespace scoring
