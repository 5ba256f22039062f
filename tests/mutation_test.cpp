// Seeded byte mutations of small, valid pictures, run through every program's
// real code (with the slider, where there is one, moved through its range):
// each run must show the picture when the library (for HEIF, libheif's own
// tool) reads it and end with -1 before any window when not. And HEIF
// pictures, shown exactly as that tool decodes them.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "pictures.hpp"
#include "program_mains.hpp"
#include "programs.hpp"
#include "recorder.hpp"

namespace {

const int mutants_per_program = 300;

std::string mutated(std::string bytes, std::mt19937& random)
{
    switch (random() % 4) {
    case 0: // a few bytes changed
        for (unsigned n = 1 + random() % 8; n > 0; --n) {
            bytes[random() % bytes.size()] = char(random());
        }
        break;
    case 1: // cut short
        bytes.resize(random() % bytes.size());
        break;
    case 2: { // a stretch zeroed
        const size_t at = random() % bytes.size();
        const size_t length = std::min<size_t>(bytes.size() - at, 1 + random() % 64);
        bytes.replace(at, length, length, '\0');
        break;
    }
    default: { // a stretch repeated
        const size_t at = random() % bytes.size();
        bytes.insert(at, bytes.substr(at, 1 + random() % 64));
        break;
    }
    }
    return bytes;
}

class Mutation : public ::testing::TestWithParam<suite::Program> {
  protected:
    pictures::Folder folder;
};

TEST_P(Mutation, MutatedPicturesAreShownOrRefusedNeverWorse)
{
    const suite::Program& program = GetParam();
    const cv::Mat seed_picture = pictures::smooth_random(32, 40, CV_8UC3, 10);
    std::vector<std::string> seeds;
    for (const char* extension : {".png", ".jpg", ".bmp", ".tiff", ".webp"}) {
        if (cv::haveImageWriter(extension)) {
            seeds.push_back(pictures::encoded(extension, seed_picture));
        }
    }
    seeds.push_back(pictures::heif_bytes(seed_picture));
    seeds.push_back(pictures::heif_bytes(seed_picture, true));
    const std::string templ = folder.write("templ.png", pictures::smooth_random(4, 5, CV_8UC3, 11));

    std::mt19937 random(20261208);
    int shown = 0;
    for (int i = 0; i < mutants_per_program; ++i) {
        const std::string path = folder.write_bytes("mutant-" + std::to_string(i),
                                                    mutated(seeds[size_t(i) % seeds.size()], random));
        SCOPED_TRACE(program.name + " on mutant " + std::to_string(i));
        std::vector<std::string> arguments{path};
        if (program.pictures.size() == 2) {
            arguments.push_back(templ);
        }
        const bool can_read = pictures::readable(path);

        recorder::reset();
        recorder::script({recorder::use_every_slider_then_press_a_key});
        const recorder::Outcome outcome = recorder::run(program_mains.at(program.name), arguments);
        if (can_read) {
            ++shown;
            EXPECT_EQ(outcome.status, 0);
            EXPECT_EQ(outcome.out, "");
        } else {
            EXPECT_EQ(outcome.status, -1);
            EXPECT_EQ(outcome.out, suite::usage_output(program));
            EXPECT_TRUE(recorder::calls().empty());
        }
    }
    std::cout << "[   INFO   ] " << program.name << ": " << mutants_per_program << " mutants, " << shown
              << " of them readable\n";
}

INSTANTIATE_TEST_SUITE_P(Suite, Mutation, ::testing::ValuesIn(suite::programs),
                         [](const ::testing::TestParamInfo<suite::Program>& info) {
                             return info.param.name;
                         });

// Every program on HEIF pictures shows what it shows on the PNG libheif's
// own tool decodes them to: channel order, rotation and mirror, 10-bit
// samples and alpha read as the tool reads them, whatever the file's name.
TEST_P(Mutation, HeifPicturesAreShownAsLibheifsToolDecodesThem)
{
    const suite::Program& program = GetParam();
    const cv::Mat colour = pictures::smooth_random(48, 64, CV_8UC3, 12);
    cv::Mat deep;
    colour.convertTo(deep, CV_16UC3, 4.01);
    deep.at<cv::Vec3w>(5, 7) = cv::Vec3w(3, 1021, 514); // low bits a shift keeps apart from a scale
    cv::Mat with_alpha;
    cv::cvtColor(colour, with_alpha, cv::COLOR_BGR2BGRA);
    with_alpha(cv::Rect(0, 0, 20, 48)).setTo(cv::Scalar(0, 0, 255, 0));
    const struct {
        std::string name;
        std::string bytes;
    } files[] = {
        // No 10-bit AVIF: Debian 12's AV1 encoder fails an assertion on it.
        {"8-bit.heic", pictures::heif_bytes(colour)},
        {"10-bit.heic", pictures::heif_bytes(deep)},
        {"alpha.heic", pictures::heif_bytes(with_alpha)},
        {"rotated.heic", pictures::heif_bytes(colour, false, 6)},
        {"mirrored.heic", pictures::heif_bytes(colour, false, 2)},
        {"odd-size-grid.heic", pictures::heif_bytes(pictures::smooth_random(49, 65, CV_8UC3, 13))},
        {"named.jpg", pictures::heif_bytes(colour)},
        {"8-bit.avif", pictures::heif_bytes(colour, true)},
        {"rotated-mirrored.avif", pictures::heif_bytes(colour, true, 5)},
    };
    const std::string templ =
        folder.write_bytes("templ.heic", pictures::heif_bytes(colour(cv::Rect(30, 20, 12, 10))));
    const std::string templ_decoded = folder.write("templ-decoded.png", pictures::read_colour(templ));
    for (const auto& file : files) {
        SCOPED_TRACE(program.name + " on " + file.name);
        const std::string path = folder.write_bytes(file.name, file.bytes);
        const cv::Mat decoded = pictures::read_colour(path);
        ASSERT_FALSE(decoded.empty()) << "libheif's tool cannot decode it";
        const std::string decoded_path = folder.write(file.name + ".png", decoded);
        std::vector<std::vector<cv::Mat>> shown;
        for (const std::string& picture : {path, decoded_path}) {
            std::vector<std::string> arguments{picture};
            if (program.pictures.size() == 2) {
                arguments.push_back(picture == path ? templ : templ_decoded);
            }
            recorder::reset();
            const recorder::Outcome outcome = recorder::run(program_mains.at(program.name), arguments);
            EXPECT_EQ(outcome.status, 0);
            EXPECT_EQ(outcome.out + outcome.err, "");
            shown.emplace_back();
            for (const recorder::Window& window : recorder::windows()) {
                shown.back().insert(shown.back().end(), window.shown.begin(), window.shown.end());
            }
        }
        ASSERT_EQ(shown[0].size(), shown[1].size());
        for (size_t i = 0; i < shown[0].size(); ++i) {
            EXPECT_EQ(shown[0][i].size(), shown[1][i].size());
            EXPECT_TRUE(shown[0][i].size() == shown[1][i].size() &&
                        cv::norm(shown[0][i], shown[1][i], cv::NORM_INF) == 0)
                << "image " << i << " differs";
        }
    }
}

} // namespace
