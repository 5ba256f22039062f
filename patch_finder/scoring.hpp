// scoring: the scores of all six matching measures from one cross-correlation.
//
// Every measure the library offers is the cross-correlation of the template
// with the picture's window at a placement, corrected by sums over that
// window (per channel the sum of its values and of their squares) and by the
// template's own mean and spread. The correlation is the costly part:
// Fourier transforms of the whole picture, seconds on a photograph. The sums
// and corrections cost a few operations per placement. So the correlation is
// worked out once for a picture and its template, and a change of measure
// only derives the new scores from it.
//
// The derivation follows the library's formulas in the library's order of
// operations, and the window sums are exact integers, as the library's are:
// the scores equal what cv::matchTemplate gives for the same measure, to the
// bit, ties and the special cases of flat windows included.
#pragma once

#include <opencv2/core.hpp>

#include "correlation.hpp"

namespace scoring {

// What all six measures share, worked out once.
struct Basis {
    cv::Mat picture;               // 8-bit, 3 channels; shared with the caller, only read
    cv::Mat templ;                 // the same, no larger than the picture
    cv::Mat correlation;           // the cross-correlation of every placement, 32-bit float
    Extremes correlation_extremes; // ...its lowest and highest
    cv::Scalar templ_mean;         // cv::mean of the template
    cv::Scalar spread_mean;        // cv::meanStdDev of the template: its mean...
    cv::Scalar templ_spread;       // ...and its standard deviation, per channel
    bool lanes = true;             // scores four placements at a time where the processor can
};

// Whether this processor scores in lanes (AVX2).
bool lanes_available();

// The correlation on the path given; the native one is what the program
// takes. Counts its tasks into `progress`, when given.
Basis prepare(const cv::Mat& picture, const cv::Mat& templ, Path path = native_path(),
              common::Progress* progress = nullptr);

// Where a map's smallest and largest values first stand, in row-major order.
struct Located {
    cv::Point smallest_at;
    cv::Point largest_at;
};

// The score of every placement of the template's top-left corner under one
// measure (0 to 5, numbered as cv::TemplateMatchModes), rescaled to 0..1:
// what cv::matchTemplate, then cv::normalize (min-max) give, as a 32-bit
// float map; and the places cv::minMaxLoc finds on it. The extremes are
// found while scoring, so that the rescaling and the search share one pass.
Located normalized_scores(const Basis& basis, int method, cv::Mat& scores);

// The raw scores of a measure other than the plain correlation (whose raw
// scores are basis.correlation), into `scores`, and their extremes: what
// cv::matchTemplate gives. For templates of up to 66051 rows, which the
// window sums hold exactly.
Extremes raw_scores(const Basis& basis, int method, cv::Mat& scores);

// The library's own way, the reference the above equal: cv::normalize
// (min-max, 0..1) of a raw map in place, then cv::minMaxLoc...
Located library_located(cv::Mat& scores);
// ...after cv::matchTemplate.
Located library_scores(const cv::Mat& picture, const cv::Mat& templ, int method, cv::Mat& scores);

} // namespace scoring
