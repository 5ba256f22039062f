// Seeded byte mutations of small, valid pictures, run through every program's
// real code (with the slider, where there is one, moved through its range):
// each run must show the picture when the library reads it and end with -1
// before any window when not.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

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

} // namespace
