#include "scoring.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#include "formula.hpp"
#include "lanes.hpp"

namespace scoring {
namespace {

// The column sums of squares are kept in 32 bits: exact for templates up to
// this many rows (255² × rows < 2^32).
constexpr int tallest_templ = 66051;

// The library's thresholds for its matching and its rescaling (with those in
// formula.hpp): a score equals the library's, ties and flat windows included,
// only with these.
// - A template whose variance is below this has none: its normalized
//   correlation coefficient is 1 everywhere.
constexpr double library_flat_variance = DBL_EPSILON;
// - A map whose range is below this is flat: min-max rescaling makes it 0.
constexpr double library_flat_range = DBL_EPSILON;

Formula formula_for(const Basis& basis, int method)
{
    Formula formula;
    formula.inverse_area = 1. / (double(basis.templ.rows) * basis.templ.cols);
    if (method == cv::TM_CCOEFF) {
        formula.mean = basis.templ_mean;
        return formula;
    }
    const cv::Scalar& mean = basis.spread_mean;
    const cv::Scalar& deviation = basis.templ_spread;
    // Per pixel, summed over the channels: the variance, and the mean square
    // (variance plus squared mean), in the library's order of additions.
    const double variance = deviation[0] * deviation[0] + deviation[1] * deviation[1] +
                            deviation[2] * deviation[2] + deviation[3] * deviation[3];
    const double mean_square =
        variance + mean[0] * mean[0] + mean[1] * mean[1] + mean[2] * mean[2] + mean[3] * mean[3];
    formula.flat_template = variance < library_flat_variance;
    if (method == cv::TM_CCOEFF_NORMED) {
        formula.mean = mean;
    }
    formula.templ_sum2 = mean_square / formula.inverse_area;
    const double norm_square = method == cv::TM_CCOEFF_NORMED ? variance : mean_square;
    formula.templ_norm = std::sqrt(norm_square) / std::sqrt(formula.inverse_area);
    return formula;
}

// Per picture column and channel, sums over the template's height of the
// values and of their squares. Unsigned, so that sliding them down a row
// stays exact (modulo 2^32, where the sums themselves fit). In lanes, they
// are kept apart per channel instead (lanes.hpp).
struct Columns {
    Columns(int cols, bool lanes)
        : sums(lanes ? 0 : 3 * size_t(cols)), squares(sums.size()), zeros(3 * size_t(cols)),
          in_lanes(lanes ? size_t(cols) : 0)
    {
    }
    std::vector<std::uint32_t> sums;
    std::vector<std::uint32_t> squares;
    std::vector<uchar> zeros; // a black row, to start the sums from
    LaneColumns in_lanes;
};

#if CV_SIMD128
// Adds first - second, widened to 32 bits, to eight sums, wrapping as they do.
inline void add_difference(std::uint32_t* sums, const cv::v_uint16x8& first, const cv::v_uint16x8& second)
{
    cv::v_uint32x4 first_low, first_high, second_low, second_high;
    cv::v_expand(first, first_low, first_high);
    cv::v_expand(second, second_low, second_high);
    cv::v_store(sums, cv::v_load(sums) + first_low - second_low);
    cv::v_store(sums + 4, cv::v_load(sums + 4) + first_high - second_high);
}
#endif

template <bool Sums, bool Squares>
void slide_down(Columns& columns, const uchar* entering, const uchar* leaving)
{
#if SCORING_LANES
    if (columns.in_lanes.cols > 0) {
        slide_in_lanes(Sums, Squares, columns.in_lanes, entering, leaving);
        return;
    }
#endif
    std::uint32_t* sums = columns.sums.data();
    std::uint32_t* squares = columns.squares.data();
    const size_t values = columns.sums.size();
    size_t i = 0;
#if CV_SIMD128
    // Sixteen values at a time: this runs for every row of the picture, and
    // compilers vectorize the plain loop below only at their highest levels.
    for (; i + 16 <= values; i += 16) {
        cv::v_uint16x8 in[2];
        cv::v_uint16x8 out[2];
        cv::v_expand(cv::v_load(entering + i), in[0], in[1]);
        cv::v_expand(cv::v_load(leaving + i), out[0], out[1]);
        for (size_t half = 0; half < 2; ++half) {
            if (Sums) {
                add_difference(sums + i + 8 * half, in[half], out[half]);
            }
            if (Squares) {
                // The square of an 8-bit value fits in 16 bits.
                add_difference(squares + i + 8 * half, cv::v_mul_wrap(in[half], in[half]),
                               cv::v_mul_wrap(out[half], out[half]));
            }
        }
    }
#endif
    for (; i < values; ++i) {
        const std::uint32_t in = entering[i];
        const std::uint32_t out = leaving[i];
        if (Sums) {
            sums[i] += in - out;
        }
        if (Squares) {
            squares[i] += in * in - out * out;
        }
    }
}

// The scores of the placements in the rows given. The window sums slide down
// the picture a row at a time, and along each row a column at a time.
template <int Method>
void score_rows(const Basis& basis, const Formula& formula, cv::Range rows, Columns& columns, cv::Mat& scores,
                Extremes& extremes)
{
    const bool lanes = columns.in_lanes.cols > 0;
    constexpr bool with_sums = Method == cv::TM_CCOEFF || Method == cv::TM_CCOEFF_NORMED;
    constexpr bool with_squares = Method != cv::TM_CCOEFF;
    const cv::Mat& picture = basis.picture;
    const int templ_rows = basis.templ.rows;
    const int templ_values = basis.templ.cols * 3;

    float lowest = std::numeric_limits<float>::infinity();
    float highest = -lowest;
    std::fill(columns.sums.begin(), columns.sums.end(), 0);
    std::fill(columns.squares.begin(), columns.squares.end(), 0);
    columns.in_lanes.clear();
    for (int y = rows.start; y < rows.start + templ_rows; ++y) {
        slide_down<with_sums, with_squares>(columns, picture.ptr(y), columns.zeros.data());
    }
    for (int row = rows.start; row < rows.end; ++row) {
        if (row > rows.start) {
            slide_down<with_sums, with_squares>(columns, picture.ptr(row + templ_rows - 1),
                                                picture.ptr(row - 1));
        }
        const float* correlation = basis.correlation.ptr<float>(row);
        float* out = scores.ptr<float>(row);
#if SCORING_LANES
        if (lanes) {
            score_row_in_lanes(Method, formula, columns.in_lanes, basis.templ.cols, correlation, out,
                               scores.cols, lowest, highest);
            continue;
        }
#endif
        const std::uint32_t* column_sums = columns.sums.data();
        const std::uint32_t* column_squares = columns.squares.data();
        std::int64_t sums[3] = {0, 0, 0};
        std::int64_t squares = 0;
        for (int i = 0; i < templ_values; ++i) {
            sums[i % 3] += column_sums[i];
            squares += column_squares[i];
        }
        for (int x = 0;; ++x) {
            const float score = derive<Method>(double(correlation[x]), sums, squares, formula);
            out[x] = score;
            lowest = std::min(lowest, score);
            highest = std::max(highest, score);
            if (x + 1 == scores.cols) {
                break;
            }
            const int entering = 3 * x + templ_values;
            for (int channel = 0; channel < 3; ++channel) {
                sums[channel] += std::int64_t(column_sums[entering + channel]) - column_sums[3 * x + channel];
                squares += std::int64_t(column_squares[entering + channel]) - column_squares[3 * x + channel];
            }
        }
    }
    extremes = {lowest, highest};
}

} // namespace

Basis prepare(const cv::Mat& picture, const cv::Mat& templ, Path path, common::Progress* progress)
{
    Basis basis;
    basis.picture = picture;
    basis.templ = templ;
    // The library takes the template's mean from cv::mean for the plain
    // correlation coefficient and from cv::meanStdDev for the normalized
    // measures; the two may differ in the last bit, so both are kept.
    basis.templ_mean = cv::mean(templ);
    cv::meanStdDev(templ, basis.spread_mean, basis.templ_spread);
    basis.correlation.create(picture.rows - templ.rows + 1, picture.cols - templ.cols + 1, CV_32F);
    basis.correlation_extremes = correlate(picture, templ, path, basis.correlation, progress);
    return basis;
}

Extremes raw_scores(const Basis& basis, int method, cv::Mat& scores)
{
    CV_Assert(method != cv::TM_CCORR && basis.templ.rows <= tallest_templ);
    scores.create(basis.correlation.size(), CV_32F);
    const Formula formula = formula_for(basis, method);
    if (method == cv::TM_CCOEFF_NORMED && formula.flat_template) {
        scores = cv::Scalar::all(1);
        return {1, 1};
    }

    // Each stripe of rows starts its sums afresh from a template's height of
    // rows: no more stripes than threads, none shorter than that height.
    const int stripes = std::max(1, std::min(cv::getNumThreads(), scores.rows / basis.templ.rows));
    // Made here, so that the threads allocate nothing.
    // Lanes hold a window's sums per channel in 32 bits, a column's squares too.
    const bool lanes = basis.lanes && lanes_available() && basis.templ.rows <= lanes_tallest_templ &&
                       double(basis.templ.rows) * basis.templ.cols <= lanes_largest_templ_area;
    std::vector<Columns> columns(size_t(stripes), Columns(basis.picture.cols, lanes));
    std::vector<Extremes> stripe_extremes(static_cast<size_t>(stripes));
    auto* const scorer = method == cv::TM_SQDIFF          ? score_rows<cv::TM_SQDIFF>
                         : method == cv::TM_SQDIFF_NORMED ? score_rows<cv::TM_SQDIFF_NORMED>
                         : method == cv::TM_CCORR_NORMED  ? score_rows<cv::TM_CCORR_NORMED>
                         : method == cv::TM_CCOEFF        ? score_rows<cv::TM_CCOEFF>
                                                          : score_rows<cv::TM_CCOEFF_NORMED>;
    cv::parallel_for_(cv::Range(0, stripes), [&](const cv::Range& range) {
        for (int stripe = range.start; stripe < range.end; ++stripe) {
            const cv::Range rows(scores.rows * stripe / stripes, scores.rows * (stripe + 1) / stripes);
            scorer(basis, formula, rows, columns[size_t(stripe)], scores, stripe_extremes[size_t(stripe)]);
        }
    });
    return fold(stripe_extremes);
}

namespace {

constexpr int block_values = 1 << 16;

// cv::normalize's min-max rescaling of `raw` into `scores`, from extremes
// known already, then cv::minMaxLoc on the result: a block of rows at a
// time, rescaled and searched while it is in the cache, blocks on all cores.
Located rescale_and_locate(const cv::Mat& raw, Extremes extremes, cv::Mat& scores)
{
    // The library's scale and shift for a float map, rounded to float as it
    // rounds them.
    const double range = double(extremes.highest) - double(extremes.lowest);
    const double scale = float(range > library_flat_range ? 1. / range : 0.);
    const double shift = 0.f - float(double(extremes.lowest) * scale);

    scores.create(raw.size(), CV_32F);
    // Ours, not the library's: about what stays in the cache. Any block gives
    // the same map and places.
    const int block_rows = std::max(1, block_values / raw.cols);
    const int blocks = (raw.rows + block_rows - 1) / block_rows;
    std::vector<double> smallest(static_cast<size_t>(blocks));
    std::vector<double> largest(static_cast<size_t>(blocks));
    std::vector<Located> places(static_cast<size_t>(blocks));
    cv::parallel_for_(cv::Range(0, blocks), [&](const cv::Range& range) {
        for (int block = range.start; block < range.end; ++block) {
            const cv::Range rows(block * block_rows, std::min((block + 1) * block_rows, raw.rows));
            cv::Mat rescaled = scores.rowRange(rows);
            raw.rowRange(rows).convertTo(rescaled, -1, scale, shift);
            Located& place = places[size_t(block)];
            cv::minMaxLoc(rescaled, &smallest[size_t(block)], &largest[size_t(block)], &place.smallest_at,
                          &place.largest_at);
            place.smallest_at.y += rows.start;
            place.largest_at.y += rows.start;
        }
    });
    // The first place wins between equals, as in one search over the map.
    Located located = places[0];
    for (size_t block = 1; block < places.size(); ++block) {
        if (smallest[block] < smallest[0]) {
            smallest[0] = smallest[block];
            located.smallest_at = places[block].smallest_at;
        }
        if (largest[block] > largest[0]) {
            largest[0] = largest[block];
            located.largest_at = places[block].largest_at;
        }
    }
    return located;
}

} // namespace

Located normalized_scores(const Basis& basis, int method, cv::Mat& scores)
{
    CV_Assert(method >= cv::TM_SQDIFF && method <= cv::TM_CCOEFF_NORMED);
    if (method == cv::TM_CCORR) {
        return rescale_and_locate(basis.correlation, basis.correlation_extremes, scores);
    }
    if (basis.templ.rows > tallest_templ) {
        // Beyond what the column sums hold: the library's own calls, for the
        // rare template this tall.
        return library_scores(basis.picture, basis.templ, method, scores);
    }
    const Extremes extremes = raw_scores(basis, method, scores);
    return rescale_and_locate(scores, extremes, scores);
}

} // namespace scoring
