// The library's own matching: what scoring equals, and what it falls back on.
#include <opencv2/imgproc.hpp>

#include "scoring.hpp"

namespace scoring {

Located library_located(cv::Mat& scores)
{
    cv::normalize(scores, scores, 0, 1, cv::NORM_MINMAX, -1);
    Located located;
    cv::minMaxLoc(scores, nullptr, nullptr, &located.smallest_at, &located.largest_at);
    return located;
}

Located library_scores(const cv::Mat& picture, const cv::Mat& templ, int method, cv::Mat& scores)
{
    cv::matchTemplate(picture, templ, scores, method);
    return library_located(scores);
}

} // namespace scoring
