// Every program, as a binary (its real code with headless window calls), on
// every kind of input a user can hand it: it must end with 0 when the picture
// can be read and 255 when not, never by a signal, never hang, print nothing
// but equalizer's usage line, and write nothing.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "pictures.hpp"
#include "process.hpp"
#include "programs.hpp"

namespace {

namespace fs = std::filesystem;

using suite::Program;

// The program as its headless binary.
std::string binary_of(const Program& program)
{
    return std::string(HEADLESS_DIR) + "/" + program.name + "_headless";
}

// A run's time limit: far above what any of these small inputs needs.
const process::Seconds limit(60);

// Rows of a grey-with-alpha or palette PNG, each after filter byte 0.
std::string png_rows(unsigned width, unsigned height, unsigned bytes_per_pixel)
{
    std::string raw;
    for (unsigned row = 0; row < height; ++row) {
        raw += '\0';
        for (unsigned byte = 0; byte < width * bytes_per_pixel; ++byte) {
            raw += char((row * 7 + byte * 3) % 4);
        }
    }
    return raw;
}

struct Input {
    std::string name;
    std::string path;
    bool well_formed; // a sound file: a run that shows it prints nothing at all
};

// Every input, made here, by name.
std::vector<Input> make_inputs(const pictures::Folder& folder)
{
    std::vector<Input> inputs;
    bool well_formed = false; // the damaged and odd inputs come first
    auto add = [&](const std::string& name, const std::string& path) {
        inputs.push_back({name, path, well_formed});
    };
    auto add_bytes = [&](const std::string& name, const std::string& bytes) {
        add(name, folder.write_bytes(name, bytes));
    };

    const cv::Mat colour = pictures::smooth_random(48, 64, CV_8UC3, 1);
    const std::string png = pictures::encoded(".png", colour);
    const std::string jpeg = pictures::encoded(".jpg", colour);

    add("missing.png", folder.path("missing.png"));
    fs::create_directory(folder.path("folder.png"));
    add("folder.png", folder.path("folder.png"));
    add_bytes("empty.png", "");
    std::mt19937 random(42);
    std::string noise(4096, '\0');
    for (char& byte : noise) {
        byte = char(random());
    }
    add_bytes("noise.png", noise);
    add_bytes("text.jpg", "Not a picture at all.\nJust words.\n");
    for (const size_t length : {size_t(8), size_t(33), size_t(60), png.size() / 2, png.size() - 12}) {
        add_bytes("png-cut-" + std::to_string(length) + ".png", png.substr(0, length));
    }
    for (const size_t length : {size_t(2), size_t(100), jpeg.size() / 2, jpeg.size() - 2}) {
        add_bytes("jpeg-cut-" + std::to_string(length) + ".jpg", jpeg.substr(0, length));
    }
    std::string bad_checksum = png;
    bad_checksum[29] = char(bad_checksum[29] ^ 0x5a); // inside the header chunk's checksum
    add_bytes("bad-checksum.png", bad_checksum);
    add_bytes("enormous.png", pictures::png_bytes(100000, 100000, 2, 8, std::string(301, '\0')));
    add_bytes("large-claim.png", pictures::png_bytes(30000, 30000, 2, 8, std::string(90001, '\0')));
    std::string enormous_bmp = pictures::encoded(".bmp", colour);
    enormous_bmp.replace(18, 8, std::string("\xff\xff\xff\x7f\xff\xff\xff\x7f", 8));
    add_bytes("enormous.bmp", enormous_bmp);

    // HEIF containers, damaged: cut, empty, claiming a size past the
    // library's limit, without their primary image, a grid without its
    // tiles, a sequence's brand with nothing in it, a codec not decoded here.
    const std::string heic = pictures::heif_bytes(colour);
    const std::string grid = pictures::heif_bytes(pictures::smooth_random(49, 65, CV_8UC3, 17));
    for (const size_t length : {size_t(12), size_t(40), heic.size() / 2, heic.size() - 10}) {
        add_bytes("heic-cut-" + std::to_string(length) + ".heic", heic.substr(0, length));
    }
    std::string scrambled = heic;
    for (size_t at = heic.size() / 2; at < heic.size(); at += 7) {
        scrambled[at] = char(scrambled[at] ^ 0x6b);
    }
    add_bytes("scrambled.heic", scrambled);
    add_bytes("empty-ftyp.heic", std::string("\0\0\0\x10"
                                             "ftypheic\0\0\0\0",
                                             16));
    add_bytes("empty-sequence.heic", std::string("\0\0\0\x18"
                                                 "ftypmsf1\0\0\0\0msf1heic",
                                                 24));
    // Every box of this type, its contents from `offset` on replaced (a
    // picture and its grid each have their size).
    const auto patched = [](std::string bytes, const std::string& type, size_t offset,
                            const std::string& with) {
        for (size_t at = bytes.find(type); at != std::string::npos; at = bytes.find(type, at + 1)) {
            bytes.replace(at + offset, with.size(), with);
        }
        return bytes;
    };
    add_bytes("enormous.heic", patched(heic, "ispe", 8, std::string("\0\x01\x86\xa0\0\x01\x86\xa0", 8)));
    add_bytes("no-primary.heic", patched(heic, "pitm", 8, "\x77\x77"));
    add_bytes("grid-without-tiles.heic", patched(grid, "dimg", 0, "xxxx"));
    add_bytes("unknown-codec.heic", patched(heic, "hvc1", 0, "vvc1"));

    fs::create_symlink(folder.path("nowhere.png"), folder.path("dangling.png"));
    add("dangling.png", folder.path("dangling.png"));

    well_formed = true;
    fs::create_directory(folder.path("a folder with spaces"));
    add("spaces and non-ASCII", folder.write("a folder with spaces/ünïcødé 图片.png", colour));
    const std::string target = folder.write("target.png", colour);
    fs::create_symlink(target, folder.path("link.png"));
    add("link.png", folder.path("link.png"));

    add("16-bit.png", folder.write("16-bit.png", pictures::smooth_random(48, 64, CV_16UC3, 2)));
    add("grey.png", folder.write("grey.png", pictures::smooth_random(48, 64, CV_8UC1, 3)));
    add_bytes("grey-alpha.png", pictures::png_bytes(64, 48, 4, 8, png_rows(64, 48, 2)));
    add_bytes("palette.png",
              pictures::png_bytes(64, 48, 3, 8, png_rows(64, 48, 1),
                                  std::string("\x10\x20\x30\xf0\xe0\xd0\x80\x00\xff\x00\xff\x80", 12)));
    add("colour-alpha.png", folder.write("colour-alpha.png", pictures::smooth_random(48, 64, CV_8UC4, 4)));
    const std::vector<cv::Mat> pages{colour, pictures::smooth_random(20, 30, CV_8UC3, 5)};
    cv::imwritemulti(folder.path("pages.tiff"), pages);
    add("pages.tiff", folder.path("pages.tiff"));
    for (const char* extension : {".bmp", ".webp", ".jp2", ".ppm", ".jpg"}) {
        if (cv::haveImageWriter(extension)) {
            add(std::string("picture") + extension, folder.write(std::string("picture") + extension, colour));
        }
    }
    add_bytes("picture.heic", pictures::heif_bytes(colour));
    add_bytes("picture.avif", pictures::heif_bytes(colour, true));
    cv::Mat deep;
    colour.convertTo(deep, CV_16UC3, 4);
    add_bytes("10-bit.heic", pictures::heif_bytes(deep));
    cv::Mat floating;
    colour.convertTo(floating, CV_32FC3, 1.0 / 255);
    if (cv::haveImageWriter(".exr")) {
        add("picture.exr", folder.write("picture.exr", floating));
    }
    for (const cv::Size size : {cv::Size(1, 1), cv::Size(40, 1), cv::Size(1, 40), cv::Size(30, 7),
                                cv::Size(30, 8), cv::Size(30, 15)}) {
        const std::string name = std::to_string(size.width) + "x" + std::to_string(size.height) + ".png";
        add(name, folder.write(name, pictures::smooth_random(size.height, size.width, CV_8UC3, 6)));
    }
    return inputs;
}

struct Case {
    std::string label;
    std::vector<std::string> arguments;
    bool well_formed = true;
};

// What a run must end with, from the library's own reading of the files.
int expected_status(const Program& program, const std::vector<std::string>& arguments)
{
    const size_t needed = program.pictures.size();
    if (arguments.size() < needed) {
        return 255;
    }
    for (size_t i = 0; i < needed; ++i) {
        if (!pictures::readable(arguments[i])) {
            return 255;
        }
    }
    if (needed == 2) {
        const cv::Mat picture = pictures::read_colour(arguments[0]);
        const cv::Mat templ = pictures::read_colour(arguments[1]);
        return templ.rows > picture.rows || templ.cols > picture.cols ? 255 : 0;
    }
    return 0;
}

std::vector<std::string> listing(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        names.push_back(entry.path().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Runs the program on every list of arguments, a few at a time, and checks
// the rule for each.
void check_runs(const Program& program, const std::vector<Case>& runs, const pictures::Folder& folder)
{
    const std::string workspace = folder.path("workspace");
    fs::create_directories(workspace);
    const std::vector<std::string> before = listing(folder.path("."));
    const size_t batch = 4;
    for (size_t first = 0; first < runs.size(); first += batch) {
        std::vector<process::Child> children;
        for (size_t i = first; i < std::min(first + batch, runs.size()); ++i) {
            std::vector<std::string> words{binary_of(program)};
            words.insert(words.end(), runs[i].arguments.begin(), runs[i].arguments.end());
            const std::string stem = folder.path("run-" + std::to_string(i));
            children.push_back(process::start(words, {}, stem + ".out", stem + ".err", workspace));
        }
        for (size_t i = first; i < first + children.size(); ++i) {
            const process::Ending ending = process::wait(children[i - first], limit);
            fs::remove(children[i - first].out_path);
            fs::remove(children[i - first].err_path);
            SCOPED_TRACE(program.name + " on " + runs[i].label);
            EXPECT_TRUE(ending.ended) << "hung";
            EXPECT_FALSE(ending.by_signal) << "ended by signal " << ending.code << "\n" << ending.err;
            const int expected = expected_status(program, runs[i].arguments);
            EXPECT_EQ(ending.code, expected) << ending.err;
            EXPECT_EQ(ending.out, ending.code == 255 ? suite::usage_output(program) : "");
            // A damaged file the library still reads may make it say so; a sound one may not.
            if (ending.code == 0 && runs[i].well_formed) {
                EXPECT_EQ(ending.err, "");
            }
        }
    }
    EXPECT_TRUE(fs::is_empty(workspace)) << "a program wrote a file";
    EXPECT_EQ(listing(folder.path(".")), before) << "a program changed the pictures' folder";
}

class BadInput : public ::testing::TestWithParam<Program> {
  protected:
    pictures::Folder folder;
};

TEST_P(BadInput, EveryInputEndsWithZeroOr255AndNothingElse)
{
    const Program& program = GetParam();
    const std::vector<Input> inputs = make_inputs(folder);
    std::vector<Case> runs{{"no argument", {}}};
    if (program.pictures.size() == 1) {
        for (const Input& input : inputs) {
            runs.push_back({input.name, {input.path}, input.well_formed});
        }
    } else {
        const std::string picture = folder.write("scene.png", pictures::smooth_random(100, 120, CV_8UC3, 7));
        const std::string templ = folder.write("templ.png", pictures::smooth_random(10, 12, CV_8UC3, 8));
        runs.push_back({"picture only", {picture}});
        for (const Input& input : inputs) {
            runs.push_back({input.name + " as picture", {input.path, templ}, input.well_formed});
            runs.push_back({input.name + " as template", {picture, input.path}, input.well_formed});
            runs.push_back({input.name + " as both", {input.path, input.path}, input.well_formed});
        }
        for (const cv::Size size : {cv::Size(121, 10), cv::Size(10, 101), cv::Size(121, 101),
                                    cv::Size(120, 100), cv::Size(1, 1), cv::Size(120, 1), cv::Size(1, 100)}) {
            const std::string name =
                "template " + std::to_string(size.width) + "x" + std::to_string(size.height);
            runs.push_back(
                {name,
                 {picture, folder.write(name + ".png",
                                        pictures::smooth_random(size.height, size.width, CV_8UC3, 9))}});
        }
    }
    check_runs(program, runs, folder);
    std::cout << "[   INFO   ] " << program.name << ": " << inputs.size() << " inputs, " << runs.size()
              << " runs\n";
}

// With its address space capped at so many megabytes above what it holds at
// start (a few, so that the library can still load its codecs' plug-ins), a
// program runs out of memory while reading, while processing, or not at all: each run shows the picture or
// refuses cleanly, with 255 and one line naming the program. A slider program refuses a move it has no memory
// for, one line each, and ends with 0 on the key.
TEST_P(BadInput, RunningOutOfMemoryIsACleanRefusal)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizers' shadow memory does not fit under an address-space cap";
#endif
    const Program& program = GetParam();
    cv::Mat picture = pictures::smooth_random(40, 60, CV_8UC3, 16);
    cv::resize(picture, picture, cv::Size(3000, 2000), 0, 0, cv::INTER_NEAREST);
    // As a PNG, and as a phone saves it: libheif's decoder has threads of its own.
    std::vector<std::vector<std::string>> runs;
    for (const std::string name : {"big.png", "big.heic"}) {
        runs.push_back({binary_of(program), name == "big.png"
                                                ? folder.write(name, picture)
                                                : folder.write_bytes(name, pictures::heif_bytes(picture))});
        if (program.pictures.size() == 2) {
            runs.back().push_back(folder.write("part.png", picture(cv::Rect(900, 600, 200, 150)).clone()));
        }
    }
    std::vector<std::string> caps;
    for (const int megabytes : {8, 16, 24, 32, 48, 64, 128, 1024}) {
        caps.push_back("HEADLESS_MEMORY_MB=" + std::to_string(megabytes));
    }
    if (program.slider_maximum > 0) {
        caps.push_back("HEADLESS_MOVE_MEMORY_MB=1");
    }
    int refused_while_processing = 0;
    int shown = 0;
    for (const std::vector<std::string>& words : runs) {
        for (const std::string& cap : caps) {
            SCOPED_TRACE(cap + " on " + words[1]);
            // Without a fixed threshold the C library keeps large freed blocks for
            // reuse, and a move may find the memory it needs already there.
            const process::Ending ending =
                process::wait(process::start(words, {cap, "MALLOC_MMAP_THRESHOLD_=131072"},
                                             folder.path("out"), folder.path("err")),
                              limit);
            EXPECT_TRUE(ending.ended && !ending.by_signal) << "signal " << ending.code << "\n" << ending.err;
            EXPECT_EQ(ending.out, "");
            std::istringstream lines(ending.err);
            int count = 0;
            int moves_refused = 0;
            for (std::string line; std::getline(lines, line); ++count) {
                EXPECT_EQ(line.rfind(program.name + ": ", 0), 0u) << line;
                moves_refused += line.find("; the window") != std::string::npos;
            }
            const bool moves = cap.rfind("HEADLESS_MOVE", 0) == 0;
            if (ending.code == 255 && !moves) {
                EXPECT_EQ(count, 1);
                refused_while_processing += ending.err.find("to process") != std::string::npos;
            } else {
                // A cap just high enough for the first display may still refuse
                // some moves, depending on how the worker threads share the work.
                EXPECT_EQ(ending.code, 0);
                EXPECT_EQ(moves_refused, count) << ending.err;
                // patch_finder and edge_tuner keep their buffers from the first
                // display: their moves need next to no memory, and none may be refused.
                const bool moves_allocate = program.name != "patch_finder" && program.name != "edge_tuner";
                EXPECT_TRUE(count > 0 || !moves || !moves_allocate) << "no move was refused under " << cap;
                shown += !moves;
            }
        }
    }
    EXPECT_GT(refused_while_processing, 0) << "no cap fell between reading and showing";
    EXPECT_GT(shown, 0) << "no cap was high enough to show the picture";
}

INSTANTIATE_TEST_SUITE_P(Suite, BadInput, ::testing::ValuesIn(suite::programs),
                         [](const ::testing::TestParamInfo<Program>& info) { return info.param.name; });

} // namespace
