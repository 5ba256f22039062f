// HEIF pictures (HEIC, AVIF: what phones save), which the library's imread
// does not read, decoded with libheif into what imread gives of the rest.
#pragma once

#include <string>

#include <opencv2/core.hpp>

namespace heif_picture {

// Reads the primary image of the HEIF container at `path`, a regular file,
// with its rotation and mirror applied, as 8-bit blue-green-red: alpha
// dropped, deeper samples cut to their top 8 bits. False, with `picture`
// empty, for anything else and for a container that cannot be decoded, more
// than the library's pixel limit among them; running out of memory is thrown.
bool read(const std::string& path, cv::Mat& picture);

// Starts the library's codecs and libheif, once for the process, before the
// first read: their plug-in loaders say on standard error which plug-ins
// they could not load (under a memory limit, say), and what that means for
// a picture is said by the program, in one line. False when libheif could
// not start.
bool start();

} // namespace heif_picture
