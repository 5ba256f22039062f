// The desktop entries offer only picture types the programs read.
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "heif_picture.hpp"
#include "pictures.hpp"

namespace {

// How to make a file of each type with the library: its extension and the
// picture type its encoder takes.
const std::map<std::string, std::pair<std::string, int>> made_as{
    {"image/png", {".png", CV_8UC3}},
    {"image/jpeg", {".jpg", CV_8UC3}},
    {"image/bmp", {".bmp", CV_8UC3}},
    {"image/tiff", {".tiff", CV_8UC3}},
    {"image/webp", {".webp", CV_8UC3}},
    {"image/x-portable-anymap", {".pnm", CV_8UC3}},
    {"image/x-portable-bitmap", {".pbm", CV_8UC1}},
    {"image/x-portable-graymap", {".pgm", CV_8UC1}},
    {"image/x-portable-pixmap", {".ppm", CV_8UC3}},
    {"image/x-sun-raster", {".ras", CV_8UC3}},
    {"image/vnd.radiance", {".hdr", CV_8UC3}},
    {"image/jp2", {".jp2", CV_8UC3}},
    // Written with libheif, read by the programs' own HEIF reader.
    {"image/heif", {".heif", CV_8UC3}},
    {"image/heic", {".heic", CV_8UC3}},
    {"image/avif", {".avif", CV_8UC3}},
};

TEST(DesktopEntries, EveryPictureTypeOfferedIsOneTheProgramsRead)
{
    const pictures::Folder folder;
    int entries = 0;
    for (const auto& file : std::filesystem::directory_iterator(DESKTOP_DIR)) {
        SCOPED_TRACE(file.path().filename().string());
        ++entries;
        std::ifstream entry(file.path());
        std::string types;
        for (std::string line; std::getline(entry, line);) {
            if (line.rfind("MimeType=", 0) == 0) {
                types = line.substr(9);
            }
        }
        std::istringstream each(types);
        int offered = 0;
        for (std::string type; std::getline(each, type, ';');) {
            SCOPED_TRACE(type);
            ++offered;
            const auto how = made_as.find(type);
            ASSERT_NE(how, made_as.end()) << "no way to try this type";
            cv::Mat picture = pictures::smooth_random(200, 300, how->second.second, 5);
            if (type == "image/x-portable-bitmap") {
                picture = picture > 128; // two levels, as the format holds
            }
            const std::string path = folder.path("picture" + how->second.first);
            cv::Mat read;
            if (type.rfind("image/h", 0) == 0 || type == "image/avif") {
                folder.write_bytes("picture" + how->second.first,
                                   pictures::heif_bytes(picture, type == "image/avif"));
                heif_picture::read(path, read);
            } else {
                ASSERT_TRUE(cv::imwrite(path, picture));
                read = cv::imread(path, cv::IMREAD_COLOR);
            }
            EXPECT_EQ(read.size(), picture.size()) << "the library does not read it";
        }
        EXPECT_GT(offered, 0);
    }
    EXPECT_GT(entries, 0);
}

} // namespace
