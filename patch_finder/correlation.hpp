// correlation: the cross-correlation of a colour template with a colour
// picture at every placement, what cv::matchTemplate gives for TM_CCORR, to
// the bit. It is nearly all that matching a template costs.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "progress.hpp"

namespace scoring {

// The lowest and the highest value of a map.
struct Extremes {
    float lowest = 0;
    float highest = 0;
};

// The extremes of a map from those of its parts.
Extremes fold(const std::vector<Extremes>& parts);

// How the correlation is worked out.
enum class Path {
    tiles,          // on the library's own tiles, with its own transforms; every (tile, channel) a task
    whole_channels, // the library's matching on each channel whole, the channels side by side
};

// The tiles where this build's library tiles as they do here (the releases
// we build with), else whole channels.
Path native_path();

// The correlation of every placement of the template's top-left corner into
// `correlation`, which holds one value per placement; its extremes. Counts
// into `progress`, when given, the (tile, channel) tasks or the channels done.
Extremes correlate(const cv::Mat& picture, const cv::Mat& templ, Path path, cv::Mat& correlation,
                   common::Progress* progress = nullptr);

} // namespace scoring
