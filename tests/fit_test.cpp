// Windows on a screen: the rule that sizes and places them, and every
// program's windows through the recorder's screen.
#include <atomic>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "common.hpp"
#include "fit.hpp"
#include "pictures.hpp"
#include "program_mains.hpp"
#include "programs.hpp"
#include "recorder.hpp"

namespace {

struct Case {
    std::string what;
    std::vector<common::Shown> windows;
    cv::Rect area;
    std::vector<common::Fit> expected; // shrink checked by property
};

common::Fit at(int x, int y, cv::Size picture, bool placed = true)
{
    common::Fit fit;
    fit.placed = placed;
    fit.corner = cv::Point(x, y);
    fit.picture = picture;
    return fit;
}

TEST(Fit, SizesAndPlacesEveryWindow)
{
    const cv::Rect hd(0, 0, 1920, 1080);
    const cv::Size parts(2, 98);
    const common::Shown photo{{4000, 3000}, parts};
    const std::vector<Case> cases{
        {"a lone window that fits to the pixel: 1:1, where the window system puts it",
         {{{1920, 1007}, {0, 73}}},
         hd,
         {at(0, 0, {1920, 1007}, false)}},
        {"one pixel too wide: scaled into the whole area",
         {{{1921, 1007}, {0, 73}}},
         hd,
         {at(0, 0, {1920, 1006})}},
        {"one pixel too high", {{{1920, 1008}, {0, 73}}}, hd, {at(0, 0, {1918, 1007})}},
        {"two small windows: 1:1 side by side, not as wide as a toolbar",
         {{{384, 303}, parts}, {{384, 303}, {2, 73}}},
         {0, 30, 1920, 1050},
         {at(0, 30, {384, 303}), at(386, 30, {384, 303})}},
        {"two that each fit but not side by side: each 1:1 or scaled in its half",
         {{{1100, 700}, parts}, {{900, 600}, parts}},
         hd,
         {at(0, 0, {958, 609}), at(960, 0, {900, 600})}},
        {"a 12 MP photograph below a panel", {photo}, {0, 30, 1920, 1050}, {at(0, 30, {1269, 952})}},
        {"two photographs, each in its half",
         {photo, photo},
         hd,
         {at(0, 0, {958, 718}), at(960, 0, {958, 718})}},
        {"tall and narrow: the height decides", {{{500, 5000}, {0, 73}}}, hd, {at(0, 0, {100, 1007})}},
        {"a screen smaller than the window's parts: a pixel of picture",
         {photo},
         {0, 0, 100, 50},
         {at(0, 0, {1, 1})}},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.what);
        const std::vector<common::Fit> fits = common::fit(each.windows, each.area);
        ASSERT_EQ(fits.size(), each.expected.size());
        for (size_t i = 0; i < fits.size(); ++i) {
            EXPECT_EQ(fits[i].placed, each.expected[i].placed);
            if (fits[i].placed) {
                EXPECT_EQ(fits[i].corner, each.expected[i].corner);
            }
            EXPECT_EQ(fits[i].picture, each.expected[i].picture);
            const cv::Size picture = each.windows[i].picture;
            EXPECT_EQ(fits[i].shrink == 1, fits[i].picture == picture);
            EXPECT_GE(fits[i].shrink * fits[i].picture.width, picture.width);
            EXPECT_GE(fits[i].shrink * fits[i].picture.height, picture.height);
        }
    }
    EXPECT_EQ(common::mark_thickness(2, 1), 2) << "1:1 draws as always";
    EXPECT_EQ(common::mark_thickness(2, 4.2), 10);
}

// Where each call of a window's stands in what the program did.
std::vector<size_t> where(recorder::Call::Kind kind, const std::string& window = "")
{
    std::vector<size_t> found;
    const std::vector<recorder::Call>& calls = recorder::calls();
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].kind == kind && calls[i].window.rfind(window, 0) == 0) {
            found.push_back(i);
        }
    }
    return found;
}

// Runs a program through the recorder on a screen, on a picture of this size,
// moving the slider (if any) once.
recorder::Outcome run_on_screen(const suite::Program& program, cv::Rect area, cv::Size picture_size)
{
    recorder::reset();
    recorder::screen(area, cv::Size(2, 98));
    const pictures::Folder folder;
    cv::Mat picture = pictures::smooth_random(picture_size.height, picture_size.width, CV_8UC3, 21);
    std::vector<std::string> arguments{folder.write("picture.png", picture)};
    if (program.pictures.size() == 2) {
        const cv::Rect patch(picture.cols * 5 / 8, picture.rows / 2, picture.cols / 10, picture.rows / 10);
        arguments.push_back(folder.write("template.png", picture(patch).clone()));
    }
    recorder::script({[] {
        if (!recorder::sliders().empty()) {
            recorder::move_slider(1);
        }
        recorder::press_key('q');
    }});
    return recorder::run(program_mains.at(program.name), arguments);
}

class OnScreen : public ::testing::TestWithParam<suite::Program> {};

// Every window is made once in the mode it keeps and placed once, hugging a
// picture that fits; they are on screen, with the busy pointer, before the
// work starts, and show nothing wrong meanwhile.
TEST_P(OnScreen, EveryWindowIsMadeOncePlacedOnceAndUpBeforeTheWork)
{
    const suite::Program& program = GetParam();
    const recorder::Outcome outcome = run_on_screen(program, cv::Rect(0, 0, 1920, 1080), cv::Size(320, 240));
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out + outcome.err, "");
    // The table's titles and maximum are the program's own.
    std::vector<std::string> titles;
    for (const recorder::Window& window : recorder::windows()) {
        titles.push_back(window.name);
    }
    EXPECT_EQ(titles, program.windows);
    ASSERT_EQ(recorder::sliders().size(), program.slider_maximum > 0 ? 1U : 0U);
    if (program.slider_maximum > 0) {
        EXPECT_EQ(recorder::sliders().front().maximum, program.slider_maximum);
    }
    EXPECT_TRUE(where(recorder::Call::DestroyAllWindows).empty());

    const size_t first_wait = where(recorder::Call::WaitKey).front();
    const std::vector<size_t> catch_up = where(recorder::Call::CatchUp);
    for (const std::string& name : program.windows) {
        SCOPED_TRACE(name);
        const recorder::Window& window = recorder::window(name);
        EXPECT_EQ(window.flags, cv::WINDOW_NORMAL | cv::WINDOW_KEEPRATIO);
        ASSERT_EQ(where(recorder::Call::NamedWindow, name).size(), 1U);
        const std::vector<size_t> placed = where(recorder::Call::Place, name + " ");
        ASSERT_EQ(placed.size(), 1U) << "placed once";
        const cv::Size picture = window.shown.back().size();
        EXPECT_EQ(recorder::calls()[placed[0]].window.find(std::to_string(picture.width) + "x" +
                                                           std::to_string(picture.height)),
                  name.size() + 1)
            << "the picture 1:1";
        EXPECT_LT(where(recorder::Call::Imshow, name).front(), placed[0]) << "placed once it has a picture";
        ASSERT_EQ(catch_up.size(), 1U);
        EXPECT_LT(placed[0], catch_up[0]);
        ASSERT_GE(window.shown.size(), 2U);
        const cv::Mat neutral = window.shown.front();
        EXPECT_TRUE(cv::countNonZero(neutral.reshape(1)) == 0 || name == program.windows.front())
            << "dark until the result";
        EXPECT_LT(catch_up[0], where(recorder::Call::Imshow, name)[1]) << "on screen before the work";
    }
    const std::vector<size_t> busy = where(recorder::Call::Busy);
    const std::vector<size_t> told = where(recorder::Call::Tell);
    ASSERT_EQ(busy.size(), 2U);
    EXPECT_GT(busy[0], catch_up[0]);
    EXPECT_LT(busy[1], first_wait) << "the usual pointer, and live sliders, once the result is up";
    EXPECT_GT(busy[1], where(recorder::Call::Imshow).at(program.windows.size() * 2 - 1));
    // The status bar tells the work, its share only growing, until the result.
    ASSERT_GE(told.size(), 2U);
    EXPECT_GT(told.front(), busy[0]) << "the sliders held before the work";
    int share = 0;
    for (size_t i = 0; i + 1 < told.size(); ++i) {
        const std::string& text = recorder::calls()[told[i]].window;
        EXPECT_FALSE(text.empty());
        const size_t colon = text.find(": ");
        const int now = colon == std::string::npos ? 0 : std::stoi(text.substr(colon + 2));
        EXPECT_GE(now, share) << text;
        share = now;
    }
    EXPECT_EQ(recorder::calls()[told.back()].window, "") << "cleared with the result";
    EXPECT_GT(told.back(), where(recorder::Call::Imshow).at(program.windows.size() * 2 - 1));
    EXPECT_LT(told.back(), first_wait);
}

// Every program on a picture twice the screen's size: each window sized
// inside its share of the screen and given the whole picture.
TEST_P(OnScreen, LargePictureFitsEachWindowInItsShare)
{
    const suite::Program& program = GetParam();
    const cv::Rect area(10, 20, 400, 300);
    const recorder::Outcome outcome = run_on_screen(program, area, cv::Size(800, 600));
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out + outcome.err, "");

    const int slots = int(program.windows.size());
    for (int slot = 0; slot < slots; ++slot) {
        const std::string& name = program.windows[size_t(slot)];
        SCOPED_TRACE(name);
        EXPECT_GE(recorder::window(name).shown.back().cols, 700) << "the window is given the whole picture";
        const std::vector<size_t> placed = where(recorder::Call::Place, name + " ");
        ASSERT_EQ(placed.size(), 1U);
        cv::Rect frame;
        ASSERT_EQ(std::sscanf(recorder::calls()[placed[0]].window.c_str() + name.size(), " %dx%d at %d,%d",
                              &frame.width, &frame.height, &frame.x, &frame.y),
                  4);
        frame += cv::Size(2, 98);
        const cv::Rect share(area.x + area.width * slot / slots, area.y, area.width / slots, area.height);
        EXPECT_EQ(frame & share, frame) << "inside its share of the screen";
        EXPECT_TRUE(frame.width * 10 >= share.width * 9 || frame.height * 10 >= share.height * 9)
            << "as large as its share allows";
    }
}

INSTANTIATE_TEST_SUITE_P(Suite, OnScreen, ::testing::ValuesIn(suite::programs),
                         [](const ::testing::TestParamInfo<suite::Program>& info) {
                             return info.param.name;
                         });

// Marks drawn on a fitted picture are as thick on screen as at 1:1: a
// frame of patch_finder's, picked every fourth pixel, keeps its outline.
TEST(FittedMarks, PatchFinderFrameSurvivesTheScale)
{
    recorder::reset();
    recorder::screen(cv::Rect(0, 0, 400, 300), cv::Size(0, 0));
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

// The first work beside the windows, on its own thread, as the user acts
// meanwhile: each case a work of the test's, held until the step that
// releases it, in one window on a screen.
class FirstWork : public ::testing::Test {
  protected:
    void SetUp() override
    {
        recorder::reset();
        recorder::screen(cv::Rect(0, 0, 1920, 1080), cv::Size(2, 98));
        recorder::script({[] { recorder::press_key('q'); }});
        reached = released = 0;
    }
    // Makes the window, then runs the first work with these steps at its
    // attends; the work waits at each share for the step that sees it.
    void run(std::vector<recorder::Step> steps, const std::function<void()>& after_shares = nullptr)
    {
        common::make_window("Window", cv::Size(40, 30));
        recorder::while_working(std::move(steps));
        try {
            common::first_work(
                "Working", {{"Window", cv::Mat::zeros(30, 40, CV_8UC1)}},
                [&](common::Progress& progress) {
                    progress.total = shares;
                    for (int share = 1; share <= shares; ++share) {
                        progress.done = share;
                        reached = share;
                        while (released < share) {
                            std::this_thread::yield();
                        }
                    }
                    if (after_shares) {
                        after_shares();
                    }
                },
                [] { common::show("Window", cv::Mat(30, 40, CV_8UC1, cv::Scalar(255))); });
        } catch (...) {
            released = shares; // a failing step leaves no work waiting
            common::wait_for_key();
            throw;
        }
        common::wait_for_key();
    }
    // Step `share`: lets the work past the share before, and waits until it
    // reaches this one, which the status bar then tells.
    recorder::Step next_share(int share)
    {
        return [this, share] {
            released = share - 1;
            while (reached < share) {
                std::this_thread::yield();
            }
        };
    }
    recorder::Step release_all()
    {
        return [this] { released = shares; };
    }

    static constexpr int shares = 4;
    std::atomic<int> reached{0};
    std::atomic<int> released{0};
};

TEST_F(FirstWork, TellsEveryShareAsItGrowsThenTheResult)
{
    std::vector<recorder::Step> steps{[] {}};
    for (int share = 1; share <= shares; ++share) {
        steps.push_back(next_share(share));
    }
    steps.push_back(release_all());
    run(steps);
    std::vector<std::string> told;
    for (const size_t at : where(recorder::Call::Tell)) {
        told.push_back(recorder::calls()[at].window);
    }
    EXPECT_EQ(told, (std::vector<std::string>{"Working", "Working: 25 %", "Working: 50 %", "Working: 75 %",
                                              "Working: 100 %", ""}));
    EXPECT_EQ(cv::countNonZero(recorder::last_shown("Window")), 40 * 30) << "the result shown";
}

// What throws on either thread is thrown once the work has stopped, never
// std::terminate; a throw on the windows' thread closes the windows first.
TEST_F(FirstWork, AThrowOnEitherThreadIsThrownOnceTheWorkIsDone)
{
    EXPECT_THROW(run({[] {}, release_all()}, [] { throw std::bad_alloc(); }), std::bad_alloc);
    EXPECT_TRUE(where(recorder::Call::DestroyAllWindows).empty());
    SetUp();
    EXPECT_THROW(run({[] {},
                      [this] {
                          released = shares;
                          throw std::bad_alloc();
                      }}),
                 std::bad_alloc);
    EXPECT_EQ(where(recorder::Call::DestroyAllWindows).size(), 1U);
}

// The user done during the work (a key, every window closed) ends the
// program at once with 0, the work abandoned.
TEST_F(FirstWork, TheUserDoneEndsTheProgramAtOnce)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(run({[] {}, [] { recorder::press_key('q'); }}), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(run({[] { recorder::close_all_windows(); }}), ::testing::ExitedWithCode(0), "");
}

// patch_finder, its slider moved and one of its windows closed during the
// work: the move is refused, the slider set back, and the closed window
// stays closed; the program goes on in the other, with the result of a run
// left alone.
TEST(FirstWorkOfAProgram, AMoveIsRefusedAndAClosedWindowStaysClosed)
{
    const pictures::Folder folder;
    const cv::Mat picture = pictures::smooth_random(240, 320, CV_8UC3, 21);
    const std::vector<std::string> arguments{
        folder.write("picture.png", picture),
        folder.write("template.png", picture(cv::Rect(200, 120, 32, 24)).clone())};
    cv::Mat alone;
    for (const bool user_acts : {false, true}) {
        recorder::reset();
        recorder::screen(cv::Rect(0, 0, 1920, 1080), cv::Size(2, 98));
        if (user_acts) {
            recorder::while_working({[] {
                recorder::move_slider(3);
                recorder::close_window("Source Image");
            }});
        }
        recorder::script({[] { recorder::press_key('q'); }});
        const recorder::Outcome outcome = recorder::run(program_mains.at("patch_finder"), arguments);
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(outcome.out + outcome.err, "");
        if (!user_acts) {
            alone = recorder::last_shown("Result window").clone();
        }
    }
    EXPECT_EQ(*recorder::sliders().front().value, 0) << "set back where the work runs";
    EXPECT_EQ(recorder::window("Source Image").shown.size(), 1U) << "the closed window came back";
    EXPECT_EQ(cv::norm(recorder::last_shown("Result window"), alone, cv::NORM_INF), 0)
        << "the move was taken";
}

} // namespace
