#include "correlation.hpp"

#include <algorithm>
#include <atomic>

#include <opencv2/core/hal/hal.hpp>
#include <opencv2/imgproc.hpp>

namespace scoring {

Extremes fold(const std::vector<Extremes>& parts)
{
    Extremes all = parts.front();
    for (const Extremes& part : parts) {
        all.lowest = std::min(all.lowest, part.lowest);
        all.highest = std::max(all.highest, part.highest);
    }
    return all;
}

// The library correlates a channel in tiles: a tile's picture values, with
// zeros up to a size its Fourier transform handles well, are transformed,
// multiplied by the template's transform and transformed back; a colour
// picture's channels are correlated tile by tile and added in channel order.
// Here the same transforms are made with the library's own transform, in the
// same order of operations, so the sums are the same to the bit; but the
// template's transforms are made once for all tiles, and every (tile,
// channel) pair is a task of its own, so that all cores have work. Checked on
// the releases we build with; elsewhere the library's tiling may differ.
Path native_path()
{
#if CV_VERSION_MAJOR == 4 && (CV_VERSION_MINOR == 6 || CV_VERSION_MINOR == 10)
    return Path::tiles;
#else
    return Path::whole_channels;
#endif
}

namespace {

// The library's tile size, from the template's size alone: so many template
// sides, but at least so many picture values with the template, no more than
// the map, stretched to the transform size it takes; a transform at least
// two values wide. A tile of any other size gives other sums.
constexpr double library_tile_sides = 4.5;
constexpr int library_least_tile = 256;
constexpr int library_least_transform_width = 2;

struct Tiling {
    cv::Size tile;      // score values a tile yields, but where the map ends first
    cv::Size transform; // the size of its transforms
    cv::Size count;     // tiles across and down
};

Tiling tiling_for(cv::Size map, cv::Size templ)
{
    const auto transform_side = [](int templ_side, int map_side) {
        const int asked =
            std::min(std::max(cvRound(templ_side * library_tile_sides), library_least_tile - templ_side + 1),
                     map_side);
        return cv::getOptimalDFTSize(asked + templ_side - 1);
    };
    Tiling tiling;
    tiling.transform =
        cv::Size(std::max(transform_side(templ.width, map.width), library_least_transform_width),
                 transform_side(templ.height, map.height));
    tiling.tile = cv::Size(std::min(tiling.transform.width - templ.width + 1, map.width),
                           std::min(tiling.transform.height - templ.height + 1, map.height));
    tiling.count = cv::Size((map.width + tiling.tile.width - 1) / tiling.tile.width,
                            (map.height + tiling.tile.height - 1) / tiling.tile.height);
    return tiling;
}

// One channel of a colour picture's region into the top-left corner of a
// float buffer, zeros around it.
void place_channel(const cv::Mat& picture, cv::Rect region, int channel, cv::Mat& buffer)
{
    for (int y = 0; y < region.height; ++y) {
        const uchar* in = picture.ptr(region.y + y) + 3 * region.x + channel;
        float* out = buffer.ptr<float>(y);
        for (int x = 0; x < region.width; ++x) {
            out[x] = in[3 * x];
        }
        std::fill(out + region.width, out + buffer.cols, 0.f);
    }
    buffer.rowRange(region.height, buffer.rows) = cv::Scalar::all(0);
}

// The correlation on the library's tiles (see native_path); its extremes.
Extremes correlate_in_tiles(const cv::Mat& picture, const cv::Mat& templ, cv::Mat& correlation,
                            common::Progress* progress)
{
    const Tiling tiling = tiling_for(correlation.size(), templ.size());
    const cv::Size size = tiling.transform;

    // Each channel of the template, zero-padded to the transform size and
    // transformed as the library transforms it (in place, told how many rows
    // are not zero), once for all tiles.
    cv::Mat templ_transforms[3];
    cv::parallel_for_(cv::Range(0, 3), [&](const cv::Range& channels) {
        for (int channel = channels.start; channel < channels.end; ++channel) {
            cv::Mat& transform = templ_transforms[channel];
            transform.create(size, CV_32F);
            place_channel(templ, cv::Rect(cv::Point(), templ.size()), channel, transform);
            cv::hal::DFT2D::create(size.width, size.height, CV_32F, 1, 1, CV_HAL_DFT_IS_INPLACE, templ.rows)
                ->apply(transform.data, transform.step, transform.data, transform.step);
        }
    });

    // A tile's first channel goes straight into the map, the others beside
    // it; whichever of its three tasks ends last adds them, in channel order.
    struct Tile {
        cv::Rect scores;
        cv::Mat later_channels[2];
        std::atomic<int> done{0};
    };
    std::vector<Tile> tiles(size_t(tiling.count.area()));
    std::vector<Extremes> tile_extremes(tiles.size());
    for (size_t index = 0; index < tiles.size(); ++index) {
        const cv::Point corner(int(index) % tiling.count.width * tiling.tile.width,
                               int(index) / tiling.count.width * tiling.tile.height);
        tiles[index].scores = cv::Rect(corner, tiling.tile) & cv::Rect(cv::Point(), correlation.size());
    }
    const int full_rows = tiling.tile.height + templ.rows - 1;
    if (progress != nullptr) {
        progress->total = long(3 * tiles.size());
    }
    cv::parallel_for_(cv::Range(0, int(3 * tiles.size())), [&](const cv::Range& tasks) {
        // Transformed in place, the forward transform of a full tile knowing
        // its rows past the picture's are zeros, the inverse making only the
        // rows kept. A transform keeps state while it works: each run of this
        // body makes its own.
        const int inplace = CV_HAL_DFT_IS_INPLACE;
        const cv::Ptr<cv::hal::DFT2D> forward =
            cv::hal::DFT2D::create(size.width, size.height, CV_32F, 1, 1, inplace, full_rows);
        const cv::Ptr<cv::hal::DFT2D> inverse =
            cv::hal::DFT2D::create(size.width, size.height, CV_32F, 1, 1,
                                   inplace | CV_HAL_DFT_INVERSE | CV_HAL_DFT_SCALE, tiling.tile.height);
        cv::Mat buffer(size, CV_32F);
        for (int task = tasks.start; task < tasks.end; ++task) {
            Tile& tile = tiles[size_t(task / 3)];
            const int channel = task % 3;
            const cv::Rect region(tile.scores.tl(), tile.scores.size() + templ.size() - cv::Size(1, 1));
            place_channel(picture, region, channel, buffer);
            if (region.height == full_rows) {
                forward->apply(buffer.data, buffer.step, buffer.data, buffer.step);
            } else {
                // The library's call for the last, shorter row of tiles.
                cv::dft(buffer, buffer, 0, region.height);
            }
            // Times the template's conjugate transform, as the library multiplies.
            cv::mulSpectrums(buffer, templ_transforms[channel], buffer, 0, true);
            inverse->apply(buffer.data, buffer.step, buffer.data, buffer.step);
            const cv::Mat scores = buffer(cv::Rect(cv::Point(), tile.scores.size()));
            if (channel == 0) {
                scores.copyTo(correlation(tile.scores));
            } else {
                scores.copyTo(tile.later_channels[channel - 1]);
            }
            if (++tile.done == 3) {
                // Float additions in the library's order: the first channel,
                // then the second, then the third.
                cv::Mat in_map = correlation(tile.scores);
                in_map += tile.later_channels[0];
                in_map += tile.later_channels[1];
                tile.later_channels[0].release();
                tile.later_channels[1].release();
                double lowest = 0;
                double highest = 0;
                cv::minMaxIdx(in_map, &lowest, &highest);
                tile_extremes[size_t(task / 3)] = {float(lowest), float(highest)};
            }
            if (progress != nullptr) {
                ++progress->done;
            }
        }
    });
    return fold(tile_extremes);
}

// The correlation with the library's matching on each channel whole, the
// channels side by side on the threads, then added in channel order, as the
// library adds them; its extremes.
Extremes correlate_by_channel(const cv::Mat& picture, const cv::Mat& templ, cv::Mat& correlation,
                              common::Progress* progress)
{
    std::vector<cv::Mat> picture_channels;
    std::vector<cv::Mat> templ_channels;
    cv::split(picture, picture_channels);
    cv::split(templ, templ_channels);
    cv::Mat later_channels[2];
    if (progress != nullptr) {
        progress->total = 3;
    }
    cv::parallel_for_(cv::Range(0, 3), [&](const cv::Range& channels) {
        for (int channel = channels.start; channel < channels.end; ++channel) {
            cv::matchTemplate(picture_channels[size_t(channel)], templ_channels[size_t(channel)],
                              channel == 0 ? correlation : later_channels[channel - 1], cv::TM_CCORR);
            if (progress != nullptr) {
                ++progress->done;
            }
        }
    });
    correlation += later_channels[0];
    correlation += later_channels[1];
    double lowest = 0;
    double highest = 0;
    cv::minMaxIdx(correlation, &lowest, &highest);
    return {float(lowest), float(highest)};
}

} // namespace

Extremes correlate(const cv::Mat& picture, const cv::Mat& templ, Path path, cv::Mat& correlation,
                   common::Progress* progress)
{
    return path == Path::tiles ? correlate_in_tiles(picture, templ, correlation, progress)
                               : correlate_by_channel(picture, templ, correlation, progress);
}

} // namespace scoring
