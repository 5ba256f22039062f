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

void score(const Basis& basis, int method, cv::Mat& scores)
{
    cv::matchTemplate(basis.picture, basis.templ, scores, method);
}

} // namespace scoring
