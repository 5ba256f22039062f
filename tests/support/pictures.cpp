#include "pictures.hpp"
#include "heif_files.hpp"
#include "process.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <unistd.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

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
    cv::Mat picture = cv::imread(path, cv::IMREAD_COLOR);
    if (!picture.empty() || !std::filesystem::is_regular_file(path)) {
        return picture;
    }
    // What libheif's own tool makes of it, through a PNG (16-bit for a
    // deeper picture).
    static int converted = 0;
    const std::string png =
        (std::filesystem::temp_directory_path() /
         ("heif-reference-" + std::to_string(getpid()) + "-" + std::to_string(converted++) + ".png"))
            .string();
    const process::Ending ending = process::wait(
        process::start({"heif-convert", path, png}, {}, "/dev/null", "/dev/null"), process::Seconds(60));
    if (ending.ended && !ending.by_signal && ending.code == 0) {
        picture = cv::imread(png, cv::IMREAD_COLOR);
    }
    std::error_code ignored;
    std::filesystem::remove(png, ignored);
    return picture;
}

bool readable(const std::string& path)
{
    try {
        return !read_colour(path).empty();
    } catch (const cv::Exception&) {
        return false;
    }
}

std::string heif_bytes(const cv::Mat& picture, bool avif, int orientation)
{
    return heif_files::encode(picture, avif, orientation);
}

std::string encoded(const std::string& extension, const cv::Mat& picture)
{
    std::vector<uchar> bytes;
    cv::imencode(extension, picture, bytes);
    return std::string(bytes.begin(), bytes.end());
}

cv::Mat smooth_random(int rows, int cols, int type, unsigned seed)
{
    cv::Mat picture(rows, cols, type);
    cv::RNG(seed).fill(picture, cv::RNG::UNIFORM, 0, CV_MAT_DEPTH(type) == CV_16U ? 65536 : 256);
    cv::GaussianBlur(picture, picture, cv::Size(5, 5), 1.5);
    return picture;
}

namespace {

std::uint32_t crc32(const std::string& bytes)
{
    std::uint32_t crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= std::uint8_t(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

std::string big_endian(std::uint32_t value)
{
    return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

std::string chunk(const std::string& type, const std::string& data)
{
    return big_endian(std::uint32_t(data.size())) + type + data + big_endian(crc32(type + data));
}

// A zlib stream of stored (uncompressed) blocks.
std::string zlib_stored(const std::string& data)
{
    std::string stream = "\x78\x01";
    size_t offset = 0;
    do {
        const size_t length = std::min<size_t>(data.size() - offset, 65535);
        const bool last = offset + length == data.size();
        stream += char(last ? 1 : 0);
        stream += char(length & 0xff);
        stream += char(length >> 8);
        stream += char(~length & 0xff);
        stream += char((~length >> 8) & 0xff);
        stream += data.substr(offset, length);
        offset += length;
    } while (offset < data.size());
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (const char byte : data) {
        a = (a + std::uint8_t(byte)) % 65521;
        b = (b + a) % 65521;
    }
    return stream + big_endian((b << 16) | a);
}

} // namespace

std::string png_bytes(unsigned width, unsigned height, int colour_type, int bit_depth, const std::string& raw,
                      const std::string& palette)
{
    const std::string header =
        big_endian(width) + big_endian(height) + char(bit_depth) + char(colour_type) + std::string(3, '\0');
    std::string file = "\x89PNG\r\n\x1a\n" + chunk("IHDR", header);
    if (!palette.empty()) {
        file += chunk("PLTE", palette);
    }
    return file + chunk("IDAT", zlib_stored(raw)) + chunk("IEND", "");
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
