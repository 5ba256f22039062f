// A failure told in one line for the console.
#pragma once

#include <exception>
#include <string>

#include <opencv2/core.hpp>

namespace common {

// Why the work gave up, for a picture of `size` (empty while reading it):
// short of memory said as such, anything else as the library's first line.
std::string failure_reason(const std::exception& failure, cv::Size size);

} // namespace common
