#include "pictures.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <opencv2/imgcodecs.hpp>

namespace pictures {

Folder::Folder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "picture-tests-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    root_ = pattern;
}

Folder::~Folder()
{
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::string Folder::path(const std::string& name) const
{
    return root_ + "/" + name;
}

std::string Folder::write(const std::string& name, const cv::Mat& picture) const
{
    const std::string file = path(name);
    if (!cv::imwrite(file, picture)) {
        throw std::runtime_error("cannot write " + file);
    }
    return file;
}

std::string Folder::write_bytes(const std::string& name, const std::string& bytes) const
{
    const std::string file = path(name);
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
}

cv::Mat uniform(int rows, int cols, cv::Scalar colour)
{
    return cv::Mat(rows, cols, CV_8UC3, colour);
}

cv::Mat read_colour(const std::string& path)
{
    return cv::imread(path, cv::IMREAD_COLOR);
}

std::vector<std::string> unreadable(const Folder& folder)
{
    cv::Mat picture(60, 80, CV_8UC3);
    cv::randu(picture, 0, 256);
    std::vector<uchar> png;
    std::vector<uchar> jpeg;
    cv::imencode(".png", picture, png);
    cv::imencode(".jpg", picture, jpeg);

    std::filesystem::create_directory(folder.path("a-folder.png"));
    return {
        folder.path("missing.png"),
        folder.path("a-folder.png"),
        folder.write_bytes("empty.png", ""),
        folder.write_bytes("text.png", "this is not a picture\n"),
        folder.write_bytes("truncated.png", std::string(png.begin(), png.begin() + 60)),
        folder.write_bytes("truncated.jpg", std::string(jpeg.begin(), jpeg.begin() + 200)),
    };
}

std::vector<std::vector<std::string>> refused_arguments(const Folder& folder)
{
    std::vector<std::vector<std::string>> cases{{}};
    for (const std::string& path : unreadable(folder)) {
        cases.push_back({path});
    }
    return cases;
}

} // namespace pictures
