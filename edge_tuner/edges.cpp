#include "edges.hpp"

#include <algorithm>
#include <cstdlib>
#include <numeric>

#include <opencv2/imgproc.hpp>

namespace edges {
namespace {

// A candidate's marks: above the lower threshold, joined to a pixel above
// the upper one (an edge), and in its colours in the output.
constexpr std::uint8_t weak = 1;
constexpr std::uint8_t edge = 2;
constexpr std::uint8_t painted = 4;

// Rows of the picture per task: a few per core, so that no core waits long.
int stripes_of(int rows)
{
    return std::max(1, std::min(rows, cv::getNumThreads() * 4));
}

cv::Range stripe_rows(int rows, int stripes, int stripe)
{
    return {int(std::int64_t(rows) * stripe / stripes), int(std::int64_t(rows) * (stripe + 1) / stripes)};
}

// Marks as edges the weak candidates joined to those on the stack, with
// neighbours in the eight directions, among the marks from `begin` to `end`.
void join(std::vector<std::uint8_t>& marks, std::vector<std::size_t>& stack, std::size_t stride,
          std::size_t begin, std::size_t end)
{
    const std::ptrdiff_t s = std::ptrdiff_t(stride);
    const std::ptrdiff_t neighbours[] = {-s - 1, -s, -s + 1, -1, 1, s - 1, s, s + 1};
    while (!stack.empty()) {
        const std::size_t at = stack.back();
        stack.pop_back();
        for (const std::ptrdiff_t step : neighbours) {
            const std::size_t next = std::size_t(std::ptrdiff_t(at) + step);
            if (next >= begin && next < end && (marks[next] & (weak | edge)) == weak) {
                marks[next] |= edge;
                stack.push_back(next);
            }
        }
    }
}

} // namespace

Candidates prepare(const cv::Mat& grey)
{
    cv::Mat dx;
    cv::Mat dy;
    {
        cv::Mat blurred;
        cv::blur(grey, blurred, cv::Size(3, 3), cv::Point(-1, -1), cv::BORDER_DEFAULT);
        // The derivatives Canny takes itself from a picture: 3 x 3 Sobel, edge
        // pixels repeated past the border; each on one thread, so side by side.
        cv::parallel_for_(cv::Range(0, 2), [&](const cv::Range& which) {
            for (int across = which.start; across < which.end; ++across) {
                cv::Sobel(blurred, across == 0 ? dx : dy, CV_16S, 1 - across, across, 3, 1, 0,
                          cv::BORDER_REPLICATE);
            }
        });
    }
    // At threshold 0 every candidate is an edge: the library's own choice of
    // the pixels whose gradient is largest along its direction.
    cv::Mat all;
    cv::Canny(dx, dy, all, 0, 0, false);

    Candidates candidates;
    candidates.rows = grey.rows;
    candidates.cols = grey.cols;
    candidates.row_starts.assign(std::size_t(grey.rows) + 1, 0);
    cv::parallel_for_(cv::Range(0, grey.rows), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            candidates.row_starts[std::size_t(y) + 1] = std::size_t(cv::countNonZero(all.row(y)));
        }
    });
    std::partial_sum(candidates.row_starts.begin(), candidates.row_starts.end(),
                     candidates.row_starts.begin());
    candidates.columns.resize(candidates.row_starts.back());
    candidates.strengths.resize(candidates.row_starts.back());
    cv::parallel_for_(cv::Range(0, grey.rows), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const uchar* is_candidate = all.ptr(y);
            const short* across = dx.ptr<short>(y);
            const short* down = dy.ptr<short>(y);
            std::size_t next = candidates.row_starts[std::size_t(y)];
            for (int x = 0; x < grey.cols; ++x) {
                if (is_candidate[x] != 0) {
                    candidates.columns[next] = std::uint32_t(x);
                    candidates.strengths[next] = std::uint16_t(std::abs(across[x]) + std::abs(down[x]));
                    ++next;
                }
            }
        }
    });
    // Not kept: the marks take their place.
    dx.release();
    dy.release();
    all.release();
    candidates.marks.assign((std::size_t(grey.rows) + 2) * (std::size_t(grey.cols) + 2), 0);
    return candidates;
}

void colour_edges(Candidates& candidates, int lower_threshold, const cv::Mat& picture, cv::Mat& output)
{
    CV_Assert(picture.type() == CV_8UC3 && picture.rows == candidates.rows &&
              picture.cols == candidates.cols);
    std::vector<std::uint8_t>& marks = candidates.marks;
    if (output.size() != picture.size() || output.type() != picture.type()) {
        output.create(picture.size(), picture.type());
        output = cv::Scalar::all(0);
        std::fill(marks.begin(), marks.end(), 0);
    }
    const int low = lower_threshold;
    const int high = lower_threshold * 3;
    const std::size_t stride = std::size_t(candidates.cols) + 2;
    const auto mark_of = [&](int y, std::size_t candidate) {
        return (std::size_t(y) + 1) * stride + candidates.columns[candidate] + 1;
    };
    const int stripes = stripes_of(candidates.rows);
    candidates.stacks.resize(std::size_t(stripes) + 1);

    // Each stripe marks its candidates at the threshold and joins its own
    // edges; only the stripe's rows are touched, so stripes run side by side.
    cv::parallel_for_(cv::Range(0, stripes), [&](const cv::Range& range) {
        for (int stripe = range.start; stripe < range.end; ++stripe) {
            const cv::Range rows = stripe_rows(candidates.rows, stripes, stripe);
            std::vector<std::size_t>& stack = candidates.stacks[std::size_t(stripe)];
            for (int y = rows.start; y < rows.end; ++y) {
                for (std::size_t c = candidates.row_starts[std::size_t(y)];
                     c < candidates.row_starts[std::size_t(y) + 1]; ++c) {
                    const std::size_t at = mark_of(y, c);
                    const int strength = candidates.strengths[c];
                    const std::uint8_t kept = marks[at] & painted;
                    if (strength > high) {
                        marks[at] = kept | weak | edge;
                        stack.push_back(at);
                    } else {
                        marks[at] = strength > low ? kept | weak : kept;
                    }
                }
            }
            join(marks, stack, stride, (std::size_t(rows.start) + 1) * stride,
                 (std::size_t(rows.end) + 1) * stride);
        }
    });

    // Then the edges that cross from one stripe into the next, from those on
    // each stripe's first and last rows.
    std::vector<std::size_t>& stack = candidates.stacks.back();
    for (int stripe = 0; stripe < stripes; ++stripe) {
        const cv::Range rows = stripe_rows(candidates.rows, stripes, stripe);
        for (const int y : {rows.start, rows.end - 1}) {
            for (std::size_t c = candidates.row_starts[std::size_t(y)];
                 c < candidates.row_starts[std::size_t(y) + 1]; ++c) {
                if ((marks[mark_of(y, c)] & edge) != 0) {
                    stack.push_back(mark_of(y, c));
                }
            }
        }
    }
    join(marks, stack, stride, 0, marks.size());

    // The colours only where a pixel became an edge or stopped being one.
    cv::parallel_for_(cv::Range(0, stripes), [&](const cv::Range& range) {
        for (int stripe = range.start; stripe < range.end; ++stripe) {
            const cv::Range rows = stripe_rows(candidates.rows, stripes, stripe);
            for (int y = rows.start; y < rows.end; ++y) {
                const uchar* colours = picture.ptr(y);
                uchar* shown = output.ptr(y);
                for (std::size_t c = candidates.row_starts[std::size_t(y)];
                     c < candidates.row_starts[std::size_t(y) + 1]; ++c) {
                    std::uint8_t& mark = marks[mark_of(y, c)];
                    const bool is_edge = (mark & edge) != 0;
                    if (is_edge == ((mark & painted) != 0)) {
                        continue;
                    }
                    const std::size_t x = 3 * std::size_t(candidates.columns[c]);
                    for (std::size_t channel = 0; channel < 3; ++channel) {
                        shown[x + channel] = is_edge ? colours[x + channel] : 0;
                    }
                    mark ^= painted;
                }
            }
        }
    });
}

} // namespace edges
