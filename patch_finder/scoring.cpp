#include "scoring.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace scoring {
namespace {

// The column sums of squares are kept in 32 bits: exact for templates up to
// this many rows (255² × rows < 2^32).
constexpr int tallest_templ = 66051;

// A measure's constants, from the template's statistics.
struct Formula {
    double inverse_area = 0;
    cv::Scalar mean;            // subtracted per channel by the correlation coefficients
    double templ_sum2 = 0;      // the template's sum of squares
    double templ_norm = 0;      // what the normalized measures divide by, besides the window's spread
    bool flat_template = false; // a template without spread has no correlation coefficient
};

Formula formula_for(const Basis& basis, int method)
{
    Formula formula;
    formula.inverse_area = 1. / (double(basis.templ.rows) * basis.templ.cols);
    if (method == cv::TM_CCOEFF) {
        formula.mean = basis.templ_mean;
        return formula;
    }
    const cv::Scalar& mean = basis.spread_mean;
    const cv::Scalar& spread = basis.templ_spread;
    double norm =
        spread[0] * spread[0] + spread[1] * spread[1] + spread[2] * spread[2] + spread[3] * spread[3];
    formula.flat_template = norm < DBL_EPSILON;
    const double sum2 = norm + mean[0] * mean[0] + mean[1] * mean[1] + mean[2] * mean[2] + mean[3] * mean[3];
    if (method == cv::TM_CCOEFF_NORMED) {
        formula.mean = mean;
    } else {
        norm = sum2;
    }
    formula.templ_sum2 = sum2 / formula.inverse_area;
    formula.templ_norm = std::sqrt(norm) / std::sqrt(formula.inverse_area);
    return formula;
}

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
        score = std::max(window_sum2 - 2 * score + formula.templ_sum2, 0.);
    }
    if (normed) {
        const double spread2 = std::max(window_sum2 - window_mean2, 0.);
        // A window flat to within rounding has no spread to divide by.
        const double divisor = spread2 <= std::min(0.5, 10 * FLT_EPSILON * window_sum2)
                                   ? 0
                                   : std::sqrt(spread2) * formula.templ_norm;
        if (std::fabs(score) < divisor) {
            score /= divisor;
        } else if (std::fabs(score) < divisor * 1.125) {
            score = score > 0 ? 1 : -1;
        } else {
            score = Method == cv::TM_SQDIFF_NORMED ? 1 : 0;
        }
    }
    return float(score);
}

// Per picture column and channel, sums over the template's height of the
// values and of their squares. Unsigned, so that sliding them down a row
// stays exact (modulo 2^32, where the sums themselves fit).
struct Columns {
    explicit Columns(int values) : sums(size_t(values)), squares(size_t(values)), zeros(size_t(values)) {}
    std::vector<std::uint32_t> sums;
    std::vector<std::uint32_t> squares;
    std::vector<uchar> zeros; // a black row, to start the sums from
};

template <bool Sums, bool Squares>
void slide_down(Columns& columns, const uchar* entering, const uchar* leaving)
{
    std::uint32_t* sums = columns.sums.data();
    std::uint32_t* squares = columns.squares.data();
    for (size_t i = 0; i < columns.sums.size(); ++i) {
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
void score_rows(const Basis& basis, const Formula& formula, cv::Range rows, Columns& columns, cv::Mat& scores)
{
    constexpr bool with_sums = Method == cv::TM_CCOEFF || Method == cv::TM_CCOEFF_NORMED;
    constexpr bool with_squares = Method != cv::TM_CCOEFF;
    const cv::Mat& picture = basis.picture;
    const int templ_rows = basis.templ.rows;
    const int templ_values = basis.templ.cols * 3;

    std::fill(columns.sums.begin(), columns.sums.end(), 0);
    std::fill(columns.squares.begin(), columns.squares.end(), 0);
    for (int y = rows.start; y < rows.start + templ_rows; ++y) {
        slide_down<with_sums, with_squares>(columns, picture.ptr(y), columns.zeros.data());
    }
    for (int row = rows.start; row < rows.end; ++row) {
        if (row > rows.start) {
            slide_down<with_sums, with_squares>(columns, picture.ptr(row + templ_rows - 1),
                                                picture.ptr(row - 1));
        }
        const std::uint32_t* column_sums = columns.sums.data();
        const std::uint32_t* column_squares = columns.squares.data();
        std::int64_t sums[3] = {0, 0, 0};
        std::int64_t squares = 0;
        for (int i = 0; i < templ_values; ++i) {
            sums[i % 3] += column_sums[i];
            squares += column_squares[i];
        }
        const float* correlation = basis.correlation.ptr<float>(row);
        float* out = scores.ptr<float>(row);
        for (int x = 0;; ++x) {
            out[x] = derive<Method>(double(correlation[x]), sums, squares, formula);
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
}

using RowScorer = void (*)(const Basis&, const Formula&, cv::Range, Columns&, cv::Mat&);

} // namespace

Basis prepare(const cv::Mat& picture, const cv::Mat& templ)
{
    Basis basis;
    basis.picture = picture;
    basis.templ = templ;
    basis.templ_mean = cv::mean(templ);
    cv::meanStdDev(templ, basis.spread_mean, basis.templ_spread);

    // The library correlates a colour picture channel by channel and adds
    // the three results in channel order. One library call per channel,
    // added in the same order, gives the same sums to the bit, and the three
    // calls can run on separate cores.
    cv::Mat channel_correlations[3];
    {
        std::vector<cv::Mat> picture_channels;
        std::vector<cv::Mat> templ_channels;
        cv::split(picture, picture_channels);
        cv::split(templ, templ_channels);
        cv::parallel_for_(cv::Range(0, 3), [&](const cv::Range& channels) {
            for (int channel = channels.start; channel < channels.end; ++channel) {
                cv::matchTemplate(picture_channels[size_t(channel)], templ_channels[size_t(channel)],
                                  channel_correlations[channel], cv::TM_CCORR);
            }
        });
    }
    basis.correlation = channel_correlations[0];
    basis.correlation += channel_correlations[1];
    basis.correlation += channel_correlations[2];
    return basis;
}

void score(const Basis& basis, int method, cv::Mat& scores)
{
    CV_Assert(method >= cv::TM_SQDIFF && method <= cv::TM_CCOEFF_NORMED);
    if (method == cv::TM_CCORR) {
        basis.correlation.copyTo(scores);
        return;
    }
    if (basis.templ.rows > tallest_templ) {
        // Beyond what the column sums hold: the library's own call, for the
        // rare template this tall.
        cv::matchTemplate(basis.picture, basis.templ, scores, method);
        return;
    }
    scores.create(basis.correlation.size(), CV_32F);
    const Formula formula = formula_for(basis, method);
    if (method == cv::TM_CCOEFF_NORMED && formula.flat_template) {
        scores = cv::Scalar::all(1);
        return;
    }

    // Each stripe of rows starts its sums afresh from a template's height of
    // rows: no more stripes than threads, none shorter than that height.
    const int stripes = std::max(1, std::min(cv::getNumThreads(), scores.rows / basis.templ.rows));
    // Made here, so that the threads allocate nothing.
    std::vector<Columns> columns(size_t(stripes), Columns(basis.picture.cols * 3));
    static const RowScorer scorers[] = {
        score_rows<cv::TM_SQDIFF>,       score_rows<cv::TM_SQDIFF_NORMED>, nullptr,
        score_rows<cv::TM_CCORR_NORMED>, score_rows<cv::TM_CCOEFF>,        score_rows<cv::TM_CCOEFF_NORMED>};
    const RowScorer scorer = scorers[method];
    cv::parallel_for_(cv::Range(0, stripes), [&](const cv::Range& range) {
        for (int stripe = range.start; stripe < range.end; ++stripe) {
            const cv::Range rows(scores.rows * stripe / stripes, scores.rows * (stripe + 1) / stripes);
            scorer(basis, formula, rows, columns[size_t(stripe)], scores);
        }
    });
}

} // namespace scoring
