// The real programs in real windows on a private virtual display.
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "desktop.hpp"
#include "pictures.hpp"
#include "programs.hpp"

namespace {

using desktop::Seconds;

const Seconds start_limit(20);
const Seconds end_limit(10);

// One program as a user starts it: its binary, its pictures, its windows.
struct Case {
    std::string name;
    std::string executable;
    std::vector<std::string> pictures;
    std::vector<std::string> windows;
    bool slider;
};

// Test names and messages show the program's name only.
void PrintTo(const Case& program, std::ostream* out)
{
    *out << program.name;
}

// Every program of the suite, on its demo pictures; or only those with a slider.
std::vector<Case> cases(bool sliders_only = false)
{
    std::vector<Case> all;
    for (const suite::Program& program : suite::programs) {
        Case each{program.name,
                  std::string(PROGRAMS_DIR) + "/" + program.name,
                  {},
                  program.windows,
                  program.slider_maximum > 0};
        for (const std::string& picture : program.pictures) {
            each.pictures.push_back(std::string(PICTURES_DIR) + "/" + picture);
        }
        if (each.slider || !sliders_only) {
            all.push_back(each);
        }
    }
    return all;
}

std::string case_name(const ::testing::TestParamInfo<Case>& info)
{
    return info.param.name;
}

void expect_clean_exit(const process::Ending& ending)
{
    EXPECT_TRUE(ending.ended) << "still running after the wait ran out";
    EXPECT_FALSE(ending.by_signal) << "ended by signal " << ending.code;
    EXPECT_EQ(ending.code, 0);
    EXPECT_EQ(ending.out, "");
    EXPECT_EQ(ending.err, "");
}

class EveryProgram : public ::testing::TestWithParam<Case> {
  protected:
    // Starts the program and waits until all of its windows are up.
    std::vector<std::string> open_windows(process::Child& program)
    {
        program = screen.start(GetParam().executable, GetParam().pictures);
        std::vector<std::string> ids;
        for (const std::string& title : GetParam().windows) {
            ids.push_back(screen.find_window(title, start_limit));
            EXPECT_NE(ids.back(), "") << "no window titled '" << title << "'";
        }
        return ids;
    }

    desktop::Desktop screen;
};

TEST_P(EveryProgram, OpensItsWindowsAndEndsOnAKeyPress)
{
    process::Child program;
    const std::vector<std::string> ids = open_windows(program);
    ASSERT_FALSE(ids.back().empty());
    EXPECT_TRUE(process::running(program));

    screen.press_key(ids.back(), "q");
    expect_clean_exit(screen.wait(program, end_limit));
}

TEST_P(EveryProgram, EndsWhenAllItsWindowsAreClosed)
{
    process::Child program;
    const std::vector<std::string> ids = open_windows(program);
    ASSERT_FALSE(ids.back().empty());

    for (size_t i = 0; i + 1 < ids.size(); ++i) {
        screen.close(ids[i]);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_TRUE(process::running(program)) << "closing one window of several ended the program";
    }
    screen.close(ids.back());
    expect_clean_exit(screen.wait(program, end_limit));
}

TEST_P(EveryProgram, UnreadablePictureEndsWith255AndNoWindow)
{
    std::vector<std::string> missing(GetParam().pictures.size(), "/nonexistent/picture.png");
    process::Child program = screen.start(GetParam().executable, missing);
    const process::Ending ending = screen.wait(program, end_limit);

    EXPECT_TRUE(ending.ended);
    EXPECT_FALSE(ending.by_signal);
    EXPECT_EQ(ending.code, 255);
    EXPECT_EQ(ending.out, GetParam().name == "equalizer" ? "Usage: ./equalizer <path_to_image>\n" : "");
}

INSTANTIATE_TEST_SUITE_P(Suite, EveryProgram, ::testing::ValuesIn(cases()), case_name);

class SliderProgram : public EveryProgram {};

// The slider is dragged through its range by keyboard, back and forth; the
// program keeps running and its window changes with the position.
TEST_P(SliderProgram, FollowsTheSliderUntilAKeyPress)
{
    process::Child program;
    const std::vector<std::string> ids = open_windows(program);
    ASSERT_FALSE(ids.back().empty());
    const cv::Mat before = screen.screenshot(ids.back());

    screen.slide(ids.front(), {"Home", "End"});
    EXPECT_TRUE(process::running(program));
    const cv::Mat at_end = screen.screenshot(ids.back());
    screen.slide(ids.front(), {"Home"});
    const cv::Mat back_home = screen.screenshot(ids.back());
    std::vector<std::string> moves;
    for (int i = 0; i < 30; ++i) {
        moves.push_back(i % 2 == 0 ? "Right" : "Left");
    }
    screen.slide(ids.front(), moves);
    EXPECT_TRUE(process::running(program));

    ASSERT_FALSE(before.empty());
    ASSERT_FALSE(at_end.empty());
    EXPECT_GT(cv::norm(before, at_end, cv::NORM_INF), 0) << "the window did not follow the slider";
    EXPECT_EQ(cv::norm(before, back_home, cv::NORM_INF), 0) << "back at 0 the window differs from the start";

    screen.press_key(ids.front(), "q");
    expect_clean_exit(screen.wait(program, end_limit));
}

INSTANTIATE_TEST_SUITE_P(Suite, SliderProgram, ::testing::ValuesIn(cases(true)), case_name);

TEST(CircleFinderWindow, ShowsTheMarkersOnThePicture)
{
    desktop::Desktop screen;
    const Case circle_finder = cases().front();
    ASSERT_EQ(circle_finder.name, "circle_finder");
    process::Child program = screen.start(circle_finder.executable, circle_finder.pictures);
    const std::string id = screen.find_window("Hough Circle Transform Demo", start_limit);
    ASSERT_FALSE(id.empty());
    const cv::Mat shot = screen.screenshot(id);
    cv::Mat green;
    cv::Mat red;
    cv::inRange(shot, cv::Scalar(0, 255, 0), cv::Scalar(0, 255, 0), green);
    cv::inRange(shot, cv::Scalar(0, 0, 255), cv::Scalar(0, 0, 255), red);
    EXPECT_GT(cv::countNonZero(green), 5 * 20);
    EXPECT_GT(cv::countNonZero(red), 5 * 200);

    screen.press_key(id, "q");
    expect_clean_exit(screen.wait(program, end_limit));
}

// What `cmake --install` puts in a prefix works from there: each program
// shows its pictures and ends with 0 on a key, and refuses a missing file with 255.
TEST(Installed, EveryProgramRunsFromItsPrefix)
{
    const pictures::Folder prefix;
    const std::string log = prefix.path("install.log");
    const process::Ending installed = process::wait(
        process::start({CMAKE_COMMAND, "--install", BUILD_DIR, "--prefix", prefix.path("")}, {}, log, log),
        Seconds(60));
    ASSERT_TRUE(installed.ended && !installed.by_signal && installed.code == 0) << installed.out;

    desktop::Desktop screen;
    for (const Case& program : cases()) {
        SCOPED_TRACE(program.name);
        const std::string installed_program = prefix.path("bin/" + program.name);
        EXPECT_TRUE(std::filesystem::exists(prefix.path("share/man/man1/" + program.name + ".1")));

        std::vector<std::string> missing(program.pictures.size(), prefix.path("missing.png"));
        const process::Ending refused = screen.wait(screen.start(installed_program, missing), end_limit);
        EXPECT_TRUE(refused.ended && !refused.by_signal);
        EXPECT_EQ(refused.code, 255);

        const process::Child run = screen.start(installed_program, program.pictures);
        std::string window;
        for (const std::string& title : program.windows) {
            window = screen.find_window(title, start_limit);
            EXPECT_NE(window, "") << "no window titled '" << title << "'";
        }
        screen.press_key(window, "q");
        expect_clean_exit(screen.wait(run, end_limit));
    }
}

} // namespace
