// Pictures larger than the screen: the rule that sizes a window, and every
// program's windows on a screen half the picture's size.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "fit.hpp"
#include "pictures.hpp"
#include "program_mains.hpp"
#include "programs.hpp"
#include "recorder.hpp"

namespace {

struct Case {
    cv::Size picture;
    cv::Size chrome;
    int least_width;
    cv::Rect area;
    int slot;
    int slots;
    bool fitted;
    cv::Rect frame; // fitted only
    cv::Size on_screen;
};

TEST(Fit, SizesTheWindowToTheScreen)
{
    const cv::Rect hd(0, 0, 1920, 1080);
    const cv::Rect below_panel(0, 30, 1920, 1050);
    const std::vector<Case> cases{
        // Fits, to the pixel: 1:1, placed by the window system.
        {{1920, 1007}, {0, 73}, 0, hd, 0, 1, false, {}, {}},
        {{800, 600}, {2, 98}, 0, hd, 1, 2, false, {}, {}},
        // One pixel too many either way: fitted, aspect kept, whole area.
        {{1921, 1007}, {0, 73}, 0, hd, 0, 1, true, {0, 0, 1920, 1079}, {1920, 1006}},
        {{1920, 1008}, {0, 73}, 0, hd, 0, 1, true, {0, 0, 1918, 1080}, {1918, 1007}},
        // A 12 MP photograph on a full-HD screen below a panel.
        {{4000, 3000}, {2, 98}, 0, below_panel, 0, 1, true, {0, 30, 1271, 1050}, {1269, 952}},
        // Two windows side by side, each in its half.
        {{4000, 3000}, {2, 98}, 0, hd, 0, 2, true, {0, 0, 960, 816}, {958, 718}},
        {{4000, 3000}, {2, 98}, 0, hd, 1, 2, true, {960, 0, 960, 816}, {958, 718}},
        // Tall and narrow: the height decides.
        {{500, 5000}, {0, 73}, 0, hd, 0, 1, true, {0, 0, 100, 1080}, {100, 1007}},
        // A small picture whose window's toolbar is wider than the screen:
        // fitted, at 1:1.
        {{400, 300}, {2, 98}, 1501, {0, 0, 1366, 768}, 0, 1, true, {0, 0, 402, 398}, {400, 300}},
        {{400, 300}, {2, 98}, 1366, {0, 0, 1366, 768}, 0, 1, false, {}, {}},
        // Screen smaller than the window's parts: at least a pixel of picture.
        {{4000, 3000}, {2, 98}, 0, {0, 0, 100, 50}, 0, 1, true, {0, 0, 3, 99}, {1, 1}},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(std::to_string(each.picture.width) + "x" + std::to_string(each.picture.height) +
                     " slot " + std::to_string(each.slot) + " of " + std::to_string(each.slots));
        const common::Fit fit =
            common::fit(each.picture, each.chrome, each.least_width, each.area, each.slot, each.slots);
        EXPECT_EQ(fit.fitted, each.fitted);
        if (!each.fitted) {
            EXPECT_EQ(fit.shrink, 1);
            continue;
        }
        EXPECT_EQ(fit.frame, each.frame);
        EXPECT_EQ(fit.picture, each.on_screen);
        EXPECT_GE(fit.shrink * fit.picture.width, each.picture.width);
        EXPECT_GE(fit.shrink * fit.picture.height, each.picture.height);
    }
    EXPECT_EQ(common::mark_thickness(2, 1), 2) << "1:1 draws as always";
    EXPECT_EQ(common::mark_thickness(2, 4.2), 10);
}

// Every program on a picture twice the screen's size, through the recorder's
// screen: each window is made again in the scaling mode with its slider,
// sized inside its share of the screen, and given the whole picture.
class Fitted : public ::testing::TestWithParam<suite::Program> {};

TEST_P(Fitted, EveryWindowIsRemadeSizedAndPlacedInItsShare)
{
    const suite::Program& program = GetParam();
    recorder::reset();
    const cv::Rect area(10, 20, 400, 300);
    const cv::Size chrome(2, 98);
    recorder::screen(area, chrome, cv::Size(2, 25));
    const pictures::Folder folder;
    cv::Mat picture = pictures::smooth_random(600, 800, CV_8UC3, 21);
    std::vector<std::string> arguments{folder.write("picture.png", picture)};
    if (program.pictures.size() == 2) {
        arguments.push_back(folder.write("template.png", picture(cv::Rect(500, 300, 60, 40)).clone()));
    }
    recorder::script({[] {
        if (!recorder::sliders().empty()) {
            recorder::move_slider(1);
        }
        recorder::press_key('q');
    }});
    const recorder::Outcome outcome = recorder::run(program_mains.at(program.name), arguments);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out + outcome.err, "");

    using recorder::Call;
    const int slots = int(program.windows.size());
    for (int slot = 0; slot < slots; ++slot) {
        const std::string& name = program.windows[size_t(slot)];
        SCOPED_TRACE(name);
        const recorder::Window& window = recorder::window(name);
        EXPECT_EQ(window.flags, cv::WINDOW_NORMAL | cv::WINDOW_KEEPRATIO);
        EXPECT_GE(window.shown.front().cols, 700) << "the window is given the whole picture";

        const std::vector<Call>& calls = recorder::calls();
        const auto at = [&](Call::Kind kind) {
            for (size_t i = 0; i < calls.size(); ++i) {
                if (calls[i].kind == kind && calls[i].window.rfind(name, 0) == 0) {
                    return int(i);
                }
            }
            return -1;
        };
        ASSERT_GE(at(Call::DestroyWindow), 0);
        EXPECT_LT(at(Call::DestroyWindow), at(Call::Imshow));
        EXPECT_LT(at(Call::Imshow), at(Call::ResizeWindow)) << "a size holds once the window shows something";
        int width = 0;
        int height = 0;
        int x = 0;
        int y = 0;
        ASSERT_EQ(std::sscanf(calls[size_t(at(Call::ResizeWindow))].window.c_str() + name.size(), " %dx%d",
                              &width, &height),
                  2);
        ASSERT_EQ(
            std::sscanf(calls[size_t(at(Call::MoveWindow))].window.c_str() + name.size(), " %d,%d", &x, &y),
            2);
        const cv::Rect share(area.x + area.width * slot / slots, area.y, area.width / slots, area.height);
        const cv::Rect frame(x, y, width + 2, height + 25);
        EXPECT_EQ(frame & share, frame) << "inside its share of the screen";
        EXPECT_TRUE(frame.width * 10 >= share.width * 9 || frame.height * 10 >= share.height * 9)
            << "as large as its share allows";
    }
    for (const recorder::Slider& slider : recorder::sliders()) {
        EXPECT_EQ(recorder::window(slider.window).flags, cv::WINDOW_NORMAL | cv::WINDOW_KEEPRATIO)
            << "the slider is made again on the remade window";
    }
}

INSTANTIATE_TEST_SUITE_P(Suite, Fitted, ::testing::ValuesIn(suite::programs),
                         [](const ::testing::TestParamInfo<suite::Program>& info) {
                             return info.param.name;
                         });

// Marks drawn on a fitted picture are as thick on screen as at 1:1: a
// frame of patch_finder's, picked every fourth pixel, keeps its outline.
TEST(FittedMarks, PatchFinderFrameSurvivesTheScale)
{
    recorder::reset();
    recorder::screen(cv::Rect(0, 0, 400, 300), cv::Size(0, 0), cv::Size(0, 0));
    const pictures::Folder folder;
    cv::Mat picture = pictures::uniform(600, 800, cv::Scalar(200, 180, 160));
    cv::circle(picture, cv::Point(420, 330), 30, cv::Scalar(20, 40, 220), cv::FILLED);
    const std::string picture_path = folder.write("picture.png", picture);
    const std::string template_path =
        folder.write("template.png", picture(cv::Rect(380, 290, 80, 80)).clone());
    ASSERT_EQ(recorder::run(program_mains.at("patch_finder"), {picture_path, template_path}).status, 0);

    const cv::Mat shown = recorder::last_shown("Source Image");
    ASSERT_EQ(shown.size(), picture.size());
    cv::Mat scaled;
    cv::resize(shown, scaled, cv::Size(), 0.25, 0.25, cv::INTER_NEAREST);
    cv::Mat black;
    cv::inRange(scaled, cv::Scalar::all(0), cv::Scalar::all(0), black);
    // The frame's outline is 4 x 80 picture pixels: 80 and more screen pixels.
    EXPECT_GE(cv::countNonZero(black), 80);
}

} // namespace
