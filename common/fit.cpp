#include "fit.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace common {
namespace {

bool fits(const Shown& window, cv::Size room)
{
    return window.picture.width + window.chrome.width <= room.width &&
           window.picture.height + window.chrome.height <= room.height;
}

// The largest picture with its aspect kept that leaves room for the
// window's parts in `share`, in whole pixels; never larger than the picture.
Fit scaled_into(const Shown& window, cv::Rect share)
{
    const cv::Size picture = window.picture;
    const std::int64_t room_width = std::clamp(share.width - window.chrome.width, 1, picture.width);
    const std::int64_t room_height = std::clamp(share.height - window.chrome.height, 1, picture.height);
    const bool width_bound = picture.width * room_height >= picture.height * room_width;
    const std::int64_t width = width_bound ? room_width : picture.width * room_height / picture.height;
    const std::int64_t height = width_bound ? picture.height * room_width / picture.width : room_height;
    Fit result;
    result.placed = true;
    result.corner = share.tl();
    result.picture = cv::Size(int(std::max<std::int64_t>(width, 1)), int(std::max<std::int64_t>(height, 1)));
    result.shrink = std::max(double(picture.width) / result.picture.width,
                             double(picture.height) / result.picture.height);
    return result;
}

} // namespace

std::vector<Fit> fit(const std::vector<Shown>& windows, cv::Rect area)
{
    const int count = int(windows.size());
    std::vector<Fit> fits_of(windows.size());
    int row_width = 0;
    bool in_a_row = true;
    for (const Shown& window : windows) {
        row_width += window.picture.width + window.chrome.width;
        in_a_row = in_a_row && fits(window, area.size());
    }
    if (in_a_row && row_width <= area.width) {
        // All 1:1, side by side; a lone window goes where the window system puts it.
        int left = area.x;
        for (int slot = 0; slot < count; ++slot) {
            Fit& each = fits_of[size_t(slot)];
            each.placed = count > 1;
            each.corner = cv::Point(left, area.y);
            each.picture = windows[size_t(slot)].picture;
            left += windows[size_t(slot)].picture.width + windows[size_t(slot)].chrome.width;
        }
        return fits_of;
    }
    for (int slot = 0; slot < count; ++slot) {
        const int left = area.x + area.width * slot / count;
        const cv::Rect share(left, area.y, area.x + area.width * (slot + 1) / count - left, area.height);
        const Shown& window = windows[size_t(slot)];
        Fit& each = fits_of[size_t(slot)];
        if (fits(window, share.size())) {
            each.placed = true;
            each.corner = share.tl();
            each.picture = window.picture;
        } else {
            each = scaled_into(window, share);
        }
    }
    return fits_of;
}

int mark_thickness(int thickness, double shrink)
{
    return shrink > 1 ? thickness * int(std::ceil(shrink)) : thickness;
}

} // namespace common
