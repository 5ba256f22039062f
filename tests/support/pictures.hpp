// Pictures for the tests, drawn by the tests themselves into a private folder.
#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace pictures {

// A fresh folder under the system's temporary folder, removed with its contents.
class Folder {
  public:
    Folder();
    ~Folder();
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    std::string path(const std::string& name) const;
    // Writes a picture (the format follows the name's ending) and returns its path.
    std::string write(const std::string& name, const cv::Mat& picture) const;
    std::string write_bytes(const std::string& name, const std::string& bytes) const;

  private:
    std::string root_;
};

cv::Mat uniform(int rows, int cols, cv::Scalar colour);

// A PNG file's bytes, built by hand for the kinds the library's writer does
// not make (grey with alpha, palette) and for damaged headers. raw holds the
// rows as the format stores them, each after its filter byte; palette holds
// red, green, blue triples.
std::string png_bytes(unsigned width, unsigned height, int colour_type, int bit_depth, const std::string& raw,
                      const std::string& palette = "");

// Reads a picture back the way the programs do: 8-bit, 3 channels.
cv::Mat read_colour(const std::string& path);

// A HEIC (or AVIF) file's bytes, lossy, of a blue-green-red picture: with
// alpha when it has four channels, 10-bit when it is 16-bit (values below
// 1024); its orientation as EXIF numbers them (1: as is).
std::string heif_bytes(const cv::Mat& picture, bool avif = false, int orientation = 1);

// Whether the library reads the file as a picture (a header claiming an
// enormous size makes it throw: not readable either).
bool readable(const std::string& path);

// The bytes of a small picture in the format of the extension given.
std::string encoded(const std::string& extension, const cv::Mat& picture);

// A smoothed random picture of the given type, the same for the same seed.
cv::Mat smooth_random(int rows, int cols, int type, unsigned seed);

// Paths, made in the folder, that no program can read as a picture: a missing
// file, a folder, an empty file, a text file, a truncated PNG and a truncated JPEG.
std::vector<std::string> unreadable(const Folder& folder);

// Argument lists a one-picture program must refuse: none, and each unreadable path.
std::vector<std::vector<std::string>> refused_arguments(const Folder& folder);

} // namespace pictures
