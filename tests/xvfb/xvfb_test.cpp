// The real programs in real windows on a private virtual display.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "desktop.hpp"
#include "pictures.hpp"
#include "programs.hpp"

namespace {

using desktop::Seconds;

// Deadlines, not waits: far above what an idle machine needs, for one that
// is not (the sanitizers, other tests and their encoders side by side).
const Seconds start_limit(60);
const Seconds end_limit(10);
const Seconds work_limit(90);

// One program as a user starts it: its binary, its pictures, its windows.
struct Case {
    std::string name;
    std::string executable;
    std::vector<std::string> pictures;
    std::vector<std::string> windows;
    bool slider;
    std::string usage; // what it prints with no picture to show
    desktop::Kind kind;
};

// Test names and messages show the program's name only.
void PrintTo(const Case& program, std::ostream* out)
{
    *out << program.name;
}

// Every program of the suite, on its demo pictures, on a desktop of the kind
// given; or only those with a slider.
std::vector<Case> cases(bool sliders_only = false, desktop::Kind kind = desktop::Kind::x)
{
    std::vector<Case> all;
    for (const suite::Program& program : suite::programs) {
        Case each{program.name,
                  std::string(PROGRAMS_DIR) + "/" + program.name,
                  {},
                  program.windows,
                  program.slider_maximum > 0,
                  suite::usage_output(program),
                  kind};
        for (const std::string& picture : program.pictures) {
            each.pictures.push_back(std::string(PICTURES_DIR) + "/" + picture);
        }
        if (each.slider || !sliders_only) {
            all.push_back(each);
        }
    }
    return all;
}

Case case_named(const std::string& name)
{
    for (const Case& each : cases()) {
        if (each.name == name) {
            return each;
        }
    }
    throw std::logic_error("no program named " + name);
}

// What only X lets a test do: watch windows change, move the pointer, keep
// windows apart. A Wayland compositor places windows by its own policy.
bool on_x(const Case& program)
{
    return program.kind != desktop::Kind::wayland;
}

// The case's kind of desktop, with a window manager where it is X.
desktop::Kind managed(const Case& program)
{
    return on_x(program) ? desktop::Kind::x_with_manager : desktop::Kind::wayland;
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

bool same_picture(const cv::Mat& one, const cv::Mat& other)
{
    return one.size() == other.size() && cv::norm(one, other, cv::NORM_INF) == 0;
}

// A move may take a while on a loaded machine (sanitizers, tests side by
// side): takes the window again until it is (or is not) the same as the
// reference, or the wait runs out.
cv::Mat shot_when(desktop::Desktop& screen, const std::string& id, const cv::Mat& reference, bool same)
{
    const auto deadline = std::chrono::steady_clock::now() + end_limit;
    cv::Mat shot = screen.screenshot(id);
    while (!shot.empty() && same_picture(shot, reference) != same &&
           std::chrono::steady_clock::now() < deadline) {
        shot = screen.screenshot(id);
    }
    return shot;
}

// Whether a program still runs, or how it ended.
std::string how_it_stands(desktop::Desktop& screen, const process::Child& program)
{
    if (process::running(program)) {
        return "the program still runs";
    }
    const process::Ending ending = screen.wait(program, Seconds(0));
    return std::string("the program ended ") + (ending.by_signal ? "by signal " : "with status ") +
           std::to_string(ending.code) + ", saying: " + ending.err;
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
            EXPECT_NE(ids.back(), "")
                << "no window titled '" << title << "'; " << how_it_stands(screen, program);
        }
        return ids;
    }

    desktop::Desktop screen{cv::Size(2560, 1600), GetParam().kind};
};

// The libraries of a GL driver (or of EGL, which loads one), which the
// windows never draw with.
std::vector<std::string> gl_drivers_mapped(const process::Child& program)
{
    std::ifstream maps("/proc/" + std::to_string(program.pid) + "/maps");
    std::set<std::string> found;
    for (std::string line; std::getline(maps, line);) {
        for (const char* driver : {"mesa", "LLVM", "/dri/", "gallium", "swrast", "libEGL", "libGLX_"}) {
            if (line.find(driver) != std::string::npos) {
                found.insert(line.substr(line.rfind(' ') + 1));
            }
        }
    }
    return {found.begin(), found.end()};
}

TEST_P(EveryProgram, OpensItsWindowsAndEndsOnAKeyPress)
{
    process::Child program;
    const std::vector<std::string> ids = open_windows(program);
    ASSERT_FALSE(ids.back().empty());
    EXPECT_TRUE(process::running(program));
    EXPECT_EQ(gl_drivers_mapped(program), std::vector<std::string>()) << "a GL driver is loaded";

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
    const std::optional<process::Child> watcher =
        on_x(GetParam()) ? std::optional(screen.watch(GetParam().windows.front(), end_limit)) : std::nullopt;
    process::Child program = screen.start(GetParam().executable, missing);
    const process::Ending ending = screen.wait(program, end_limit);

    EXPECT_TRUE(ending.ended);
    EXPECT_FALSE(ending.by_signal);
    EXPECT_EQ(ending.code, 255);
    EXPECT_EQ(ending.out, GetParam().usage);
    if (watcher) {
        EXPECT_EQ(screen.wait(*watcher, Seconds(0)).out, "") << "a window was made";
    }
}

// A display named but not there, where the toolkit would abort: one line
// and 255, as for a picture that cannot be shown.
TEST_P(EveryProgram, AnUnreachableDisplayEndsWith255AndOneLine)
{
    if (!on_x(GetParam())) {
        GTEST_SKIP() << "the toolkit asks a Wayland display itself";
    }
    process::Child program = screen.start(GetParam().executable, GetParam().pictures, {"DISPLAY=:65000"});
    const process::Ending ending = screen.wait(program, end_limit);
    EXPECT_TRUE(ending.ended);
    EXPECT_FALSE(ending.by_signal);
    EXPECT_EQ(ending.code, 255);
    EXPECT_EQ(ending.out, "");
    EXPECT_EQ(ending.err, GetParam().name + ": cannot reach the display :65000\n");
}

INSTANTIATE_TEST_SUITE_P(Suite, EveryProgram, ::testing::ValuesIn(cases()), case_name);
INSTANTIATE_TEST_SUITE_P(Wayland, EveryProgram, ::testing::ValuesIn(cases(false, desktop::Kind::wayland)),
                         case_name);

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
    const cv::Mat at_end = shot_when(screen, ids.back(), before, false);
    screen.slide(ids.front(), {"Home"});
    const cv::Mat back_home = shot_when(screen, ids.back(), before, true);
    std::vector<std::string> moves;
    for (int i = 0; i < 30; ++i) {
        moves.push_back(i % 2 == 0 ? "Right" : "Left");
    }
    screen.slide(ids.front(), moves);
    EXPECT_TRUE(process::running(program));

    ASSERT_FALSE(before.empty());
    ASSERT_FALSE(at_end.empty());
    EXPECT_FALSE(same_picture(before, at_end)) << "the window did not follow the slider";
    EXPECT_TRUE(same_picture(before, back_home)) << "back at 0 the window differs from the start";

    screen.press_key(ids.front(), "q");
    expect_clean_exit(screen.wait(program, end_limit));
}

INSTANTIATE_TEST_SUITE_P(Suite, SliderProgram, ::testing::ValuesIn(cases(true)), case_name);

TEST(CircleFinderWindow, ShowsTheMarkersOnThePicture)
{
    desktop::Desktop screen;
    const Case circle_finder = case_named("circle_finder");
    process::Child program = screen.start(circle_finder.executable, circle_finder.pictures);
    const std::string id = screen.find_window(circle_finder.windows.front(), start_limit);
    ASSERT_FALSE(id.empty()) << how_it_stands(screen, program);
    // The picture alone is up while the circles are looked for.
    EXPECT_TRUE(process::wait_idle(program, start_limit));
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

// ---- Pictures larger than the screen, with a window manager -----------------

const cv::Size small_screen(800, 600);
// Pure colours, one in each corner of the picture: all four on screen means
// the whole picture is.
const std::vector<cv::Scalar> corner_colours{cv::Scalar(0, 0, 255), cv::Scalar(0, 255, 0),
                                             cv::Scalar(255, 0, 0), cv::Scalar(0, 255, 255)};

// Twice the screen, a coloured square in each corner, a ground never black.
cv::Mat cornered_picture()
{
    cv::Mat picture = pictures::smooth_random(small_screen.height * 2, small_screen.width * 2, CV_8UC3, 22);
    picture = picture / 2 + cv::Scalar::all(64);
    const int side = 200;
    const std::vector<cv::Point> corners{{0, 0},
                                         {picture.cols - side, 0},
                                         {0, picture.rows - side},
                                         {picture.cols - side, picture.rows - side}};
    for (size_t i = 0; i < corners.size(); ++i) {
        picture(cv::Rect(corners[i], cv::Size(side, side))).setTo(corner_colours[i]);
    }
    cv::circle(picture, cv::Point(picture.cols / 2, picture.rows / 2), 90, cv::Scalar(30, 160, 90),
               cv::FILLED);
    return picture;
}

int pixels_of(const cv::Mat& shot, cv::Scalar colour)
{
    cv::Mat found;
    cv::inRange(shot, colour, colour, found);
    return cv::countNonZero(found);
}

// What became of each window titled so since the watch began: one line per
// change, "MILLISECONDS ID mapped|unmapped X Y WIDTH HEIGHT" (the frame).
struct Watch {
    process::Child watcher;
    std::vector<std::string> lines() const
    {
        std::istringstream text(process::read_file(watcher.out_path));
        std::vector<std::string> all;
        for (std::string line; std::getline(text, line);) {
            all.push_back(line);
        }
        return all;
    }
};

Watch watch(desktop::Desktop& screen, const std::string& title)
{
    return {screen.watch(title, Seconds(60))};
}

// A window made once and first mapped where and as large as it stays: one
// window, one "mapped" line, nothing before it but its making off screen.
void expect_made_once_where_it_stays(const Watch& seen, const std::string& final_state)
{
    std::set<std::string> ids;
    int mapped = 0;
    for (const std::string& line : seen.lines()) {
        std::istringstream words(line);
        std::string ms, id, state;
        words >> ms >> id >> state;
        ids.insert(id);
        if (state == "mapped") {
            ++mapped;
            EXPECT_EQ(line.substr(line.find(" mapped") + 1), final_state) << "first mapped elsewhere";
        } else {
            EXPECT_EQ(mapped, 0) << "unmapped after it was on screen: " << line;
        }
    }
    EXPECT_EQ(ids.size(), 1U) << "the window was made again";
    EXPECT_EQ(mapped, 1) << "mapped more than once, or changed after";
}

class LargePicture : public ::testing::TestWithParam<Case> {
  protected:
    desktop::Desktop screen{small_screen, managed(GetParam())};
    pictures::Folder folder;
};

// Every window inside the screen, the whole picture in it (where it shows
// the picture's colours), patch_finder's frame visible, a slider that works
// with the mouse, and a key that ends it cleanly.
TEST_P(LargePicture, EveryWindowFitsTheScreenAndShowsTheWholePicture)
{
    const cv::Mat picture = cornered_picture();
    std::vector<std::string> arguments{folder.write("large.png", picture)};
    if (GetParam().pictures.size() == 2) {
        const cv::Rect centre(picture.cols / 2 - 100, picture.rows / 2 - 100, 200, 200);
        arguments.push_back(folder.write("centre.png", picture(centre).clone()));
    }
    std::vector<Watch> watches;
    for (const std::string& title : GetParam().windows) {
        if (on_x(GetParam())) {
            watches.push_back(watch(screen, title));
        }
    }
    process::Child program = screen.start(GetParam().executable, arguments);
    EXPECT_TRUE(process::wait_idle(program, start_limit));
    std::vector<std::string> ids;
    for (const std::string& title : GetParam().windows) {
        ids.push_back(screen.find_window(title, start_limit));
        ASSERT_NE(ids.back(), "") << "no window titled '" << title << "'";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    for (size_t i = 0; i < ids.size(); ++i) {
        const std::string& title = GetParam().windows[i];
        SCOPED_TRACE(title);
        const cv::Rect frame = screen.frame(ids[i]);
        EXPECT_EQ(frame & cv::Rect(cv::Point(), small_screen), frame) << "the window leaves the screen";
        EXPECT_GT(frame.area(), 0);
        if (on_x(GetParam())) {
            expect_made_once_where_it_stays(
                watches[i], "mapped " + std::to_string(frame.x) + " " + std::to_string(frame.y) + " " +
                                std::to_string(frame.width) + " " + std::to_string(frame.height));
        }
        const cv::Mat shot = screen.screenshot(ids[i]);
        ASSERT_FALSE(shot.empty());
        // The windows that show the picture itself, with marks on it.
        const bool marked =
            i == 0 && (GetParam().name == "circle_finder" || GetParam().name == "patch_finder");
        if (marked) {
            for (const cv::Scalar& colour : corner_colours) {
                EXPECT_GT(pixels_of(shot, colour), 100) << "a corner of the picture is not on screen";
            }
        }
        if (marked && GetParam().name == "patch_finder") {
            EXPECT_GT(pixels_of(shot, cv::Scalar::all(0)), 100) << "the frame vanished";
        }
    }
    if (GetParam().slider && on_x(GetParam())) {
        const cv::Mat before = screen.screenshot(ids.back());
        screen.slide(ids.front(), {"End"});
        EXPECT_FALSE(same_picture(before, shot_when(screen, ids.back(), before, false)))
            << "the window did not follow the slider";
    }
    screen.press_key(ids.front(), "q");
    expect_clean_exit(screen.wait(program, end_limit));
}

INSTANTIATE_TEST_SUITE_P(Suite, LargePicture, ::testing::ValuesIn(cases()), case_name);
INSTANTIATE_TEST_SUITE_P(Wayland, LargePicture, ::testing::ValuesIn(cases(false, desktop::Kind::wayland)),
                         case_name);

class SmallPicture : public ::testing::TestWithParam<Case> {
  protected:
    desktop::Desktop desk{cv::Size(1920, 1080), managed(GetParam())};
    pictures::Folder folder;
};

// A picture that fits: each window is as wide as its picture (its toolbar
// folds), the windows of a program side by side, and the picture 1:1.
TEST_P(SmallPicture, WindowsHugTheirPicturesSideBySide)
{
    // Straight edges only, so that no circle is marked on it.
    cv::Mat picture(300, 384, CV_8UC3);
    for (int column = 0; column < picture.cols; ++column) {
        picture.col(column).setTo(cv::Scalar(column % 256, 90, 255 - column % 256));
    }
    cv::rectangle(picture, cv::Rect(50, 40, 120, 90), cv::Scalar(250, 250, 250), cv::FILLED);
    std::vector<std::string> arguments{folder.write("fits.png", picture)};
    const cv::Size patch(60, 40);
    if (GetParam().pictures.size() == 2) {
        arguments.push_back(folder.write("patch.png", picture(cv::Rect(cv::Point(40, 30), patch)).clone()));
    }
    process::Child program = desk.start(GetParam().executable, arguments);
    std::vector<cv::Rect> frames;
    std::string id;
    for (const std::string& title : GetParam().windows) {
        SCOPED_TRACE(title);
        id = desk.find_window(title, start_limit);
        ASSERT_FALSE(id.empty());
        const bool scores = GetParam().name == "patch_finder" && title == GetParam().windows.back();
        const int picture_width = scores ? picture.cols - patch.width + 1 : picture.cols;
        EXPECT_EQ(desk.size(id).width, picture_width) << "the window is wider or narrower than its picture";
        frames.push_back(desk.frame(id));
        EXPECT_EQ(frames.back() & cv::Rect(0, 0, 1920, 1080), frames.back())
            << "the window leaves the screen";
        for (size_t other = 0; other + 1 < frames.size() && on_x(GetParam()); ++other) {
            EXPECT_TRUE((frames[other] & frames.back()).empty()) << "the windows overlap";
        }
    }
    if (GetParam().name == "circle_finder") {
        EXPECT_TRUE(process::wait_idle(program, start_limit));
        const cv::Mat shot = desk.screenshot(id);
        ASSERT_GE(shot.cols, picture.cols);
        ASSERT_GE(shot.rows, picture.rows);
        cv::Mat differences;
        cv::matchTemplate(shot, picture, differences, cv::TM_SQDIFF);
        cv::Point best;
        cv::minMaxLoc(differences, nullptr, nullptr, &best);
        EXPECT_EQ(cv::norm(shot(cv::Rect(best, picture.size())), picture, cv::NORM_INF), 0)
            << "the picture is not on screen 1:1";
    }
    desk.press_key(id, "q");
    expect_clean_exit(desk.wait(program, end_limit));
}

INSTANTIATE_TEST_SUITE_P(Suite, SmallPicture, ::testing::ValuesIn(cases()), case_name);
INSTANTIATE_TEST_SUITE_P(Wayland, SmallPicture, ::testing::ValuesIn(cases(false, desktop::Kind::wayland)),
                         case_name);

// A program on a 12 MP photograph, its windows up at once, before the work
// (patch_finder unless another is named). The work goes at the test's pace (support/hold_work.cpp): held
// until the test lets it on, a step at a time or to its end, which a loaded machine with the sanitizers may
// take long to reach.
class LongWork : public ::testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        folder = std::make_unique<pictures::Folder>();
        cv::Mat picture = pictures::smooth_random(3000, 4000, CV_8UC3, 23);
        // A white disc in a black ring, for circle_finder to find.
        cv::circle(picture, cv::Point(1000, 1000), 320, cv::Scalar::all(0), cv::FILLED);
        cv::circle(picture, cv::Point(1000, 1000), 300, cv::Scalar::all(255), cv::FILLED);
        arguments = {folder->write("large.bmp", picture),
                     folder->write("patch.bmp", picture(cv::Rect(2500, 2000, 100, 100)).clone())};
    }
    static void TearDownTestSuite() { folder.reset(); }
    void TearDown() override { let_the_work_run(); }

    // Starts it, its work held; the ids of its windows once up.
    std::vector<std::string> start(const std::vector<std::string>& settings = {},
                                   const std::string& name = "patch_finder")
    {
        let_the_work_run();
        const std::string pipe = folder->path("hold-" + std::to_string(starts++));
        EXPECT_EQ(mkfifo(pipe.c_str(), 0600), 0);
        // Read and write: opening it never waits for the program's end.
        hold = open(pipe.c_str(), O_RDWR | O_CLOEXEC);
        std::vector<std::string> held = {"LD_PRELOAD=" HOLD_WORK, "HOLD_WORK_PIPE=" + pipe,
                                         "ASAN_OPTIONS=verify_asan_link_order=0"};
        held.insert(held.end(), settings.begin(), settings.end());
        running = case_named(name);
        program = desk.start(running.executable,
                             {arguments.begin(), arguments.begin() + long(running.pictures.size())}, held);
        std::vector<std::string> ids;
        for (const std::string& title : running.windows) {
            ids.push_back(desk.find_window(title, start_limit));
        }
        return ids;
    }
    // Lets the work on by this many products of spectra.
    void let_the_work_on(int steps)
    {
        const std::string bytes(size_t(steps), 'x');
        EXPECT_EQ(write(hold, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    void let_the_work_run()
    {
        if (hold >= 0) {
            ::close(hold);
            hold = -1;
        }
    }
    // Whether the program has taken every event sent to it so far: the
    // window manager's ping comes after them and is answered.
    bool still_running_once_it_took_all()
    {
        const std::string pinged = desk.wait(desk.ping(running.windows.back(), Seconds(0.3)), end_limit).out;
        const std::vector<desktop::Ping> pings = desktop::pings_in(pinged);
        return !pings.empty() && pings.front().waited.count() < 0.25 && process::running(program);
    }

    // What the window's status bar shows, less its size grip, and whether it
    // holds any text.
    cv::Mat status_bar(const std::string& id)
    {
        const cv::Mat shot = desk.screenshot(id, false);
        return shot.rows < 18 ? cv::Mat() : shot(cv::Rect(0, shot.rows - 18, shot.cols - 30, 18)).clone();
    }
    // The slider and its label, just above the status bar.
    cv::Mat slider_rows(const std::string& id)
    {
        const cv::Mat shot = desk.screenshot(id, false);
        return shot.rows < 70 ? cv::Mat() : shot(cv::Rect(0, shot.rows - 70, shot.cols, 48)).clone();
    }
    static bool says_something(const cv::Mat& bar)
    {
        double darkest = 255;
        cv::minMaxLoc(bar.reshape(1), &darkest);
        return !bar.empty() && darkest < 128;
    }

    inline static std::unique_ptr<pictures::Folder> folder;
    inline static std::vector<std::string> arguments;
    // What a move of the pointer onto the status bar shows it as.
    std::string pointer_over_status(const std::string& id)
    {
        const cv::Size size = desk.screenshot(id).size();
        desk.command({"xdotool", "mousemove", "--window", id, "10", std::to_string(size.height - 8)});
        return desk.pointer();
    }
    // Whether the status bar comes to say something, or to say nothing.
    bool status_comes_to(const std::string& id, bool something)
    {
        const auto deadline = std::chrono::steady_clock::now() + end_limit;
        while (says_something(status_bar(id)) != something && std::chrono::steady_clock::now() < deadline) {}
        return says_something(status_bar(id)) == something;
    }

    const Case patch_finder = case_named("patch_finder");
    Case running = patch_finder;
    desktop::Desktop desk{cv::Size(1920, 1080), true};
    process::Child program;
    int hold = -1;
    inline static int starts = 0;
};

// While it works its windows answer the window manager's pings at once,
// paint what is uncovered, show the busy pointer and say in the status bar
// how far the work is, with the slider held and greyed; with the result the
// status bar is cleared and the slider live; and the launching desktop is
// told the program is up.
TEST_F(LongWork, WindowsStayAliveAndTellTheWorkUntilTheResult)
{
    const process::Child startup = desk.listen_for_startup(start_limit);
    const std::vector<std::string> ids = start({"DESKTOP_STARTUP_ID=suite-launch-1"});
    ASSERT_FALSE(ids.front().empty() || ids.back().empty());
    const std::string& id = ids.front();
    // Over the status bar: over the picture, the pointer would have the
    // status bar tell the pixel under it once the result is up.
    const std::string busy = pointer_over_status(id);

    desk.cover(id);
    const auto covered = [&] {
        cv::Mat cover_colour;
        cv::inRange(desk.screenshot(id, false), cv::Scalar(255, 0, 255), cv::Scalar(255, 0, 255),
                    cover_colour);
        return cv::countNonZero(cover_colour) > 0;
    };
    const auto painted_by = std::chrono::steady_clock::now() + end_limit;
    while (covered() && std::chrono::steady_clock::now() < painted_by) {}
    EXPECT_FALSE(covered()) << "the uncovered window was not painted again";
    // A move now would come before the program's own first call.
    desk.slide(id, {});
    const cv::Mat held = slider_rows(id);

    // The share told grows as the work goes on, its windows answering the
    // window manager meanwhile.
    // Its words, then its share at 0 % and two more: a step of 24 is some
    // 7 % of the 324 products of this picture's matching.
    const process::Child pinging = desk.ping(patch_finder.windows.front(), Seconds(1));
    std::set<std::vector<uchar>> told;
    const auto deadline = std::chrono::steady_clock::now() + start_limit;
    for (cv::Mat bar = status_bar(id);
         says_something(bar) && told.size() < 4 && std::chrono::steady_clock::now() < deadline;
         bar = status_bar(id)) {
        if (told.insert(std::vector<uchar>(bar.datastart, bar.dataend)).second) {
            let_the_work_on(24);
        }
    }
    EXPECT_EQ(told.size(), 4U) << "the status bar does not tell the work as it goes on";
    const std::vector<desktop::Ping> pings = desktop::pings_in(desk.wait(pinging, end_limit).out);
    EXPECT_GE(pings.size(), 5U);
    for (const desktop::Ping& ping : pings) {
        EXPECT_LE(ping.waited.count(), 0.25) << "a ping waited for the work";
    }

    let_the_work_run();
    EXPECT_TRUE(process::wait_idle(program, work_limit));
    EXPECT_FALSE(says_something(status_bar(id))) << "the status bar still tells the work";
    EXPECT_NE(busy, desk.pointer()) << "no busy pointer while the work ran";
    EXPECT_FALSE(same_picture(held, slider_rows(id))) << "the slider is not live once the result is up";
    desk.press_key(id, "q");
    expect_clean_exit(desk.wait(program, end_limit));
    EXPECT_NE(desk.wait(startup, Seconds(1)).out.find("remove: ID=suite-launch-1"), std::string::npos)
        << "the launch is never said to be complete";
}

// A key, or closing every window, while the work runs ends the program at
// once, as after the result; closing one window leaves the program going in
// the other, and it stays closed. The window's own keys, Ctrl with or
// without another, end it neither during the work nor after.
TEST_F(LongWork, KeysAndClosesMeanTheSameDuringTheWork)
{
    for (const bool by_key : {true, false}) {
        SCOPED_TRACE(by_key ? "a key" : "closing every window");
        const std::vector<std::string> ids = start();
        ASSERT_FALSE(ids.front().empty() || ids.back().empty());
        if (by_key) {
            desk.press_key(ids.back(), "q");
        } else {
            for (const std::string& id : ids) {
                desk.close(id);
            }
        }
        const auto asked = std::chrono::steady_clock::now();
        const process::Ending ending = desk.wait(program, end_limit);
        EXPECT_LT(Seconds(std::chrono::steady_clock::now() - asked).count(), 0.5)
            << "the program went on working";
        expect_clean_exit(ending);
    }

    const std::vector<std::string> ids = start();
    ASSERT_FALSE(ids.front().empty() || ids.back().empty());
    for (const std::string key : {"Control_L", "ctrl+minus"}) {
        desk.press_key(ids.back(), key);
    }
    desk.close(ids.front());
    EXPECT_TRUE(still_running_once_it_took_all()) << "Ctrl, Ctrl+- or one window closed ended the work";
    let_the_work_run();
    EXPECT_TRUE(process::wait_idle(program, work_limit));
    EXPECT_EQ(desk.find_window(patch_finder.windows.front(), Seconds(0)), "")
        << "the closed window came back";
    desk.press_key(ids.back(), "ctrl+shift+equal"); // Ctrl++ on a US layout
    EXPECT_TRUE(still_running_once_it_took_all()) << "Ctrl++ ended the program";
    desk.press_key(ids.back(), "q");
    expect_clean_exit(desk.wait(program, end_limit));
}

// The two programs with a single library call for their work come up as the
// others do: busy and telling it, ended at once by a key or by closing every
// window, the result in the same windows.
TEST_F(LongWork, EveryProgramIsUpBeforeItsResult)
{
    for (const std::string name : {"circle_finder", "equalizer"}) {
        for (const bool by_key : {true, false}) {
            SCOPED_TRACE(name + (by_key ? ": a key" : ": closing every window"));
            const std::vector<std::string> ids = start({}, name);
            ASSERT_FALSE(ids.front().empty() || ids.back().empty());
            EXPECT_TRUE(status_comes_to(ids.front(), true)) << "the work is not told";
            if (by_key) {
                desk.press_key(ids.back(), "q");
            } else {
                for (const std::string& id : ids) {
                    desk.close(id);
                }
            }
            expect_clean_exit(desk.wait(program, end_limit));
        }
        const std::vector<std::string> ids = start({}, name);
        ASSERT_FALSE(ids.front().empty());
        const std::string busy = pointer_over_status(ids.front());
        const cv::Mat held = desk.screenshot(ids.back());
        let_the_work_run();
        EXPECT_TRUE(status_comes_to(ids.front(), false)) << name << " still tells the work";
        EXPECT_NE(busy, pointer_over_status(ids.front())) << name << " showed no busy pointer";
        EXPECT_FALSE(same_picture(held, shot_when(desk, ids.back(), held, false))) << "no result shown";
        desk.press_key(ids.back(), "q");
        expect_clean_exit(desk.wait(program, end_limit));
    }
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
