#include "fit.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace common {

Fit fit(cv::Size picture, cv::Size chrome, int least_width, cv::Rect area, int slot, int slots)
{
    Fit result;
    if (std::max(picture.width + chrome.width, least_width) <= area.width &&
        picture.height + chrome.height <= area.height) {
        return result;
    }
    // The window's share of the area: side by side, left to right.
    const int left = area.x + area.width * slot / slots;
    const cv::Rect share(left, area.y, area.x + area.width * (slot + 1) / slots - left, area.height);
    // The largest picture with its aspect kept that leaves room for the
    // window's parts, in whole pixels; never larger than the picture.
    const std::int64_t room_width = std::clamp(share.width - chrome.width, 1, picture.width);
    const std::int64_t room_height = std::clamp(share.height - chrome.height, 1, picture.height);
    const bool width_bound = picture.width * room_height >= picture.height * room_width;
    const std::int64_t width = width_bound ? room_width : picture.width * room_height / picture.height;
    const std::int64_t height = width_bound ? picture.height * room_width / picture.width : room_height;
    result.fitted = true;
    result.picture = cv::Size(int(std::max<std::int64_t>(width, 1)), int(std::max<std::int64_t>(height, 1)));
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
