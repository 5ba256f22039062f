// Draws the suite's demo pictures into the folder given, or with a size
// (WIDTHxHEIGHT) a benchmark picture and its template instead. Everything is
// computed from fixed values, so every run writes the same files.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "heif_files.hpp"

namespace {

// A soft diagonal gradient, so that no picture is flat behind its shapes.
cv::Mat gradient(int rows, int cols, cv::Scalar from, cv::Scalar to)
{
    cv::Mat picture(rows, cols, CV_8UC3);
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            const double t = double(x + y) / double(rows + cols - 2);
            const cv::Scalar colour = from * (1 - t) + to * t;
            picture.at<cv::Vec3b>(y, x) =
                cv::Vec3b(cv::saturate_cast<uchar>(colour[0]), cv::saturate_cast<uchar>(colour[1]),
                          cv::saturate_cast<uchar>(colour[2]));
        }
    }
    return picture;
}

// Coins on a table: several well-separated discs with clear rims.
cv::Mat circles()
{
    cv::Mat picture = gradient(480, 640, cv::Scalar(60, 50, 40), cv::Scalar(90, 80, 70));
    const struct {
        cv::Point centre;
        int radius;
        cv::Scalar colour;
    } coins[] = {
        {{130, 140}, 70, {40, 200, 240}},  {{330, 120}, 55, {230, 230, 230}},
        {{510, 170}, 80, {60, 160, 220}},  {{180, 350}, 60, {200, 210, 120}},
        {{420, 360}, 75, {150, 200, 250}},
    };
    for (const auto& coin : coins) {
        cv::circle(picture, coin.centre, coin.radius, coin.colour, cv::FILLED, cv::LINE_AA);
        cv::circle(picture, coin.centre, coin.radius / 2, coin.colour * 0.8, 2, cv::LINE_AA);
    }
    return picture;
}

// A busy scene of rectangles, discs and lines in many colours and contrasts;
// the shapes grow with the width, so larger scenes look the same.
cv::Mat scene(int rows, int cols, unsigned seed)
{
    cv::Mat picture = gradient(rows, cols, cv::Scalar(200, 170, 140), cv::Scalar(70, 110, 150));
    cv::RNG rng(seed);
    const int scale = std::max(cols / 640, 1);
    for (int i = 0; i < 60; ++i) {
        const cv::Point a(rng.uniform(0, cols), rng.uniform(0, rows));
        const cv::Point b(a.x + rng.uniform(-90, 90) * scale, a.y + rng.uniform(-90, 90) * scale);
        const cv::Scalar colour(rng.uniform(0, 256), rng.uniform(0, 256), rng.uniform(0, 256));
        switch (i % 3) {
        case 0:
            cv::rectangle(picture, a, b, colour, cv::FILLED, cv::LINE_8);
            break;
        case 1:
            cv::circle(picture, a, rng.uniform(8, 50) * scale, colour, cv::FILLED, cv::LINE_AA);
            break;
        default:
            cv::line(picture, a, b, colour, rng.uniform(1, 6) * scale, cv::LINE_AA);
            break;
        }
    }
    return picture;
}

// A dim, low-contrast version of a scene: grey levels squeezed into 80..130.
cv::Mat dim(const cv::Mat& picture)
{
    cv::Mat squeezed;
    picture.convertTo(squeezed, -1, 50.0 / 255.0, 80);
    return squeezed;
}

bool write(const std::string& folder, const std::string& name, const cv::Mat& picture)
{
    const std::string path = folder + "/" + name;
    // As a phone saves a photograph, which the library cannot write.
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".heic") == 0) {
        try {
            std::ofstream file(path, std::ios::binary);
            file << heif_files::encode(picture);
            if (file.flush()) {
                return true;
            }
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "make_pictures: cannot write %s: %s\n", path.c_str(), failure.what());
            return false;
        }
        std::fprintf(stderr, "make_pictures: cannot write %s\n", path.c_str());
        return false;
    }
    if (!cv::imwrite(path, picture)) {
        std::fprintf(stderr, "make_pictures: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

// A benchmark picture of the size given, as a photograph would come (JPEG),
// and a template of a hundredth of its area cut from its middle.
bool write_bench_pair(const std::string& folder, int cols, int rows)
{
    const cv::Mat picture = scene(rows, cols, 7);
    const cv::Rect middle(cols * 9 / 20, rows * 9 / 20, cols / 10, rows / 10);
    const std::string name = "bench-" + std::to_string(cols) + "x" + std::to_string(rows);
    return write(folder, name + ".jpg", picture) && write(folder, name + "-patch.png", picture(middle));
}

} // namespace

int main(int argc, char** argv)
{
    int cols = 0;
    int rows = 0;
    if (argc < 2 || argc > 3 || (argc == 3 && std::sscanf(argv[2], "%dx%d", &cols, &rows) != 2) ||
        (argc == 3 && (cols < 10 || rows < 10))) {
        std::fprintf(stderr, "usage: make_pictures FOLDER [WIDTHxHEIGHT]\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (argc == 3) {
        return write_bench_pair(folder, cols, rows) ? 0 : 1;
    }

    const cv::Mat shapes = scene(480, 640, 20261208);
    // The template is cut from the picture, so it has one exact match.
    const cv::Mat patch = shapes(cv::Rect(380, 210, 80, 60)).clone();

    const bool ok = write(folder, "coins.png", circles()) && write(folder, "shapes.png", shapes) &&
                    write(folder, "shapes.heic", shapes) && write(folder, "patch.png", patch) &&
                    write(folder, "dim.png", dim(shapes));
    return ok ? 0 : 1;
}
