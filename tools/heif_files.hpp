// HEIF files of our own pictures, for the demo and the tests: what a phone
// saves, written with libheif.
#pragma once

#include <string>

#include <opencv2/core.hpp>

namespace heif_files {

// A HEIC (or AVIF) file's bytes, lossy, of a blue-green-red picture: with
// alpha when it has four channels, 10-bit when it is 16-bit (values below
// 1024); its orientation as EXIF numbers them (1: as is). Throws when
// libheif cannot write it.
std::string encode(const cv::Mat& picture, bool avif = false, int orientation = 1);

} // namespace heif_files
