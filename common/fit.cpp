#include "fit.hpp"

#include <algorithm>
#include <cmath>

namespace common {

Fit fit(cv::Size picture, cv::Size chrome, cv::Rect area, int slot, int slots)
{
    Fit result;
    if (picture.width + chrome.width <= area.width && picture.height + chrome.height <= area.height) {
        return result;
    }
    // The window's share of the area: side by side, left to right.
    const int left = area.x + area.width * slot / slots;
    const cv::Rect share(left, area.y, area.x + area.width * (slot + 1) / slots - left, area.height);
    const double scale = std::min({double(share.width - chrome.width) / picture.width,
                                   double(share.height - chrome.height) / picture.height, 1.0});
    result.fitted = true;
    result.picture =
        cv::Size(std::max(1, int(picture.width * scale)), std::max(1, int(picture.height * scale)));
    result.frame = cv::Rect(share.tl(), result.picture + chrome);
    result.shrink = std::max(double(picture.width) / result.picture.width,
                             double(picture.height) / result.picture.height);
    return result;
}

int mark_thickness(int thickness, double shrink)
{
    return shrink > 1 ? thickness * int(std::ceil(shrink)) : thickness;
}

} // namespace common
