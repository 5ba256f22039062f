// The reference for patch_finder's measure switch: the same program with the
// library's matching called for every measure on every move, as the design
// before the shared correlation did. Linked in place of patch_finder's own
// scoring unit.
#include "scoring.hpp"

#include <opencv2/imgproc.hpp>

namespace scoring {

Basis prepare(const cv::Mat& picture, const cv::Mat& templ)
{
    Basis basis;
    basis.picture = picture;
    basis.templ = templ;
    return basis;
}

Located normalized_scores(const Basis& basis, int method, cv::Mat& scores)
{
    cv::matchTemplate(basis.picture, basis.templ, scores, method);
    cv::normalize(scores, scores, 0, 1, cv::NORM_MINMAX, -1);
    Located located;
    cv::minMaxLoc(scores, nullptr, nullptr, &located.smallest_at, &located.largest_at);
    return located;
}

} // namespace scoring
