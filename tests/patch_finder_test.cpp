#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "pictures.hpp"
#include "recorder.hpp"
#include "scoring.hpp"

int patch_finder_main(int argc, char** argv);

namespace {

const std::string source_window = "Source Image";
const std::string result_window = "Result window";
const std::string slider_label = "Method: \n 0: SQDIFF \n 1: SQDIFF NORMED \n 2: TM CCORR \n"
                                 " 3: TM CCORR NORMED \n 4: TM COEFF \n 5: TM COEFF NORMED";
const cv::Point cut_at(40, 25);
const cv::Size template_size(30, 20);

class PatchFinder : public ::testing::Test {
  protected:
    void SetUp() override
    {
        recorder::reset();
        picture.create(120, 160, CV_8UC3);
        cv::RNG(7).fill(picture, cv::RNG::UNIFORM, 0, 256);
        templ = picture(cv::Rect(cut_at, template_size)).clone();
        picture_path = folder.write("picture.png", picture);
        template_path = folder.write("template.png", templ);
    }

    recorder::Outcome run() { return recorder::run(patch_finder_main, {picture_path, template_path}); }

    pictures::Folder folder;
    cv::Mat picture;
    cv::Mat templ;
    std::string picture_path;
    std::string template_path;
};

// What a user should see for one method, from the library's own matching.
struct Expected {
    cv::Point match;
    cv::Mat source;
    cv::Mat scores;     // normalized, before the frame
    cv::Mat frame_mask; // where the frame lies on the score map
};

Expected expected_for(const cv::Mat& picture, const cv::Mat& templ, int method)
{
    Expected expected;
    cv::matchTemplate(picture, templ, expected.scores, method);
    cv::normalize(expected.scores, expected.scores, 0, 1, cv::NORM_MINMAX);
    cv::Point lowest;
    cv::Point highest;
    cv::minMaxLoc(expected.scores, nullptr, nullptr, &lowest, &highest);
    const bool lower_is_better = method == cv::TM_SQDIFF || method == cv::TM_SQDIFF_NORMED;
    expected.match = lower_is_better ? lowest : highest;

    const cv::Point far_corner = expected.match + cv::Point(templ.cols, templ.rows);
    expected.source = picture.clone();
    cv::rectangle(expected.source, expected.match, far_corner, cv::Scalar::all(0), 2, cv::LINE_8);
    expected.frame_mask = cv::Mat::zeros(expected.scores.size(), CV_8U);
    cv::rectangle(expected.frame_mask, expected.match, far_corner, cv::Scalar(255), 2, cv::LINE_8);
    return expected;
}

// Whether the picture shown carries its one frame where the template was cut.
bool framed_at_the_cut(const cv::Mat& picture, const cv::Mat& templ)
{
    cv::Mat framed = picture.clone();
    cv::rectangle(framed, cut_at, cut_at + cv::Point(templ.cols, templ.rows), cv::Scalar::all(0), 2,
                  cv::LINE_8);
    return cv::norm(recorder::last_shown(source_window), framed, cv::NORM_INF) == 0;
}

void expect_shows(const Expected& expected)
{
    const cv::Mat& source = recorder::last_shown(source_window);
    EXPECT_EQ(cv::norm(source, expected.source, cv::NORM_INF), 0)
        << "the picture should carry one frame only";

    const cv::Mat& scores = recorder::last_shown(result_window);
    ASSERT_EQ(scores.type(), CV_32FC1);
    ASSERT_EQ(scores.size(), expected.scores.size());
    cv::Mat off_frame;
    cv::bitwise_not(expected.frame_mask, off_frame);
    EXPECT_EQ(cv::norm(scores, expected.scores, cv::NORM_INF, off_frame), 0)
        << "the library's scores, to the bit";
    double frame_max = 0;
    cv::minMaxLoc(scores, nullptr, &frame_max, nullptr, nullptr, expected.frame_mask);
    EXPECT_EQ(frame_max, 0) << "the frame on the score map is black";
}

// A picture and a template as a user might hand them over, in the file
// format given.
struct Pair {
    std::string name;
    cv::Mat picture;
    cv::Mat templ;
    std::string extension;
};

void PrintTo(const Pair& pair, std::ostream* out)
{
    *out << pair.name;
}

std::vector<Pair> pairs()
{
    cv::Mat noise(90, 120, CV_8UC3);
    cv::RNG(11).fill(noise, cv::RNG::UNIFORM, 0, 256);
    cv::Mat photo = pictures::smooth_random(120, 160, CV_8UC3, 12);
    cv::circle(photo, cv::Point(70, 50), 25, cv::Scalar(30, 140, 220), cv::FILLED, cv::LINE_AA);
    cv::Mat black_and_white = noise.clone();
    black_and_white.colRange(0, 60).setTo(cv::Scalar::all(0));
    black_and_white(cv::Rect(60, 45, 60, 45)).setTo(cv::Scalar::all(255));
    // Windows of two pixels one level apart, at both ends of the range: the
    // normalized measures' test for a flat window decides there.
    cv::Mat saturated(90, 120, CV_8UC3);
    cv::RNG(15).fill(saturated, cv::RNG::UNIFORM, 0, 2);
    saturated.colRange(60, 120) += cv::Scalar::all(254);
    const cv::Mat grey = pictures::smooth_random(90, 120, CV_8UC1, 13);
    // Taller than the scoring keeps window sums for in 32 bits.
    cv::Mat tall(70000, 3, CV_8UC3);
    cv::RNG(14).fill(tall, cv::RNG::UNIFORM, 0, 256);
    const cv::Scalar colour(90, 160, 230);
    // Correlated in tiles, the last row of them shorter: 237 + 164 score
    // rows; 1429 + 72, fewer than the template's 300 rows.
    const cv::Mat tiled = pictures::smooth_random(420, 60, CV_8UC3, 17);
    const cv::Mat tall_tiled = pictures::smooth_random(1800, 40, CV_8UC3, 18);
    // Score maps rescaled and searched in blocks of rows: equal extremes in
    // several blocks, the first one counts. Also three tiles across, and
    // not a whole number of lanes.
    const cv::Mat wide = pictures::smooth_random(300, 703, CV_8UC3, 19);
    return {
        {"photo", photo, photo(cv::Rect(50, 30, 40, 30)).clone(), ".jpg"},
        {"noise", noise, noise(cv::Rect(40, 25, 30, 20)).clone(), ".png"},
        {"uniform", pictures::uniform(90, 120, colour), pictures::uniform(20, 30, colour), ".png"},
        {"black_and_white", black_and_white, black_and_white(cv::Rect(45, 30, 30, 30)).clone(), ".png"},
        {"saturated", saturated, saturated(cv::Rect(70, 10, 2, 1)).clone(), ".png"},
        {"flat_template", black_and_white, pictures::uniform(20, 30, cv::Scalar::all(0)), ".png"},
        {"template_is_picture", noise, noise, ".png"},
        {"one_row_map", noise, noise.colRange(10, 40).clone(), ".png"},
        {"one_column_map", noise, noise.rowRange(10, 30).clone(), ".png"},
        {"grey_file", grey, grey(cv::Rect(30, 20, 25, 15)).clone(), ".png"},
        {"tall_template", tall, tall(cv::Rect(1, 100, 2, 66100)).clone(), ".png"},
        {"blocks", wide, wide(cv::Rect(500, 200, 12, 10)).clone(), ".png"},
        {"blocks_all_equal", pictures::uniform(300, 700, colour), pictures::uniform(10, 12, colour), ".png"},
        {"tiles_uneven", tiled, tiled(cv::Rect(20, 300, 12, 20)).clone(), ".png"},
        {"template_taller_than_last_tiles", tall_tiled, tall_tiled(cv::Rect(5, 900, 30, 300)).clone(),
         ".png"},
    };
}

class Exactness : public ::testing::TestWithParam<Pair> {};

// Every measure, moved to in turn and back to the first, shows exactly the
// library's own scores for it and frames the same placement.
TEST_P(Exactness, EveryMeasureShowsTheLibrarysScoresAndFrame)
{
    recorder::reset();
    const pictures::Folder folder;
    const std::string picture_path = folder.write("picture" + GetParam().extension, GetParam().picture);
    const std::string template_path = folder.write("template" + GetParam().extension, GetParam().templ);
    const cv::Mat picture = pictures::read_colour(picture_path);
    const cv::Mat templ = pictures::read_colour(template_path);
    recorder::script({[&] {
        for (int step = 0; step <= 6; ++step) {
            const int method = step % 6;
            SCOPED_TRACE("method " + std::to_string(method));
            if (step > 0) {
                recorder::move_slider(method);
            }
            expect_shows(expected_for(picture, templ, method));
        }
        recorder::press_key('q');
    }});
    EXPECT_EQ(recorder::run(patch_finder_main, {picture_path, template_path}).status, 0);
}

// Both ways of correlating, the program's and the other, and scoring in
// lanes or one placement at a time, give the library's scores and places for
// every measure, to the bit, counting every unit of their work; and the
// releases we build with take the tiles.
TEST_P(Exactness, BothCorrelationPathsGiveTheLibrarysScores)
{
    const cv::Mat picture =
        pictures::read_colour(pictures::Folder().write("picture.png", GetParam().picture));
    const cv::Mat templ = pictures::read_colour(pictures::Folder().write("template.png", GetParam().templ));
#if CV_VERSION_MAJOR == 4 && (CV_VERSION_MINOR == 6 || CV_VERSION_MINOR == 10)
    EXPECT_EQ(scoring::native_path(), scoring::Path::tiles);
#endif
    for (const scoring::Path path : {scoring::Path::tiles, scoring::Path::whole_channels}) {
        SCOPED_TRACE(path == scoring::Path::tiles ? "tiles" : "whole channels");
        common::Progress progress;
        scoring::Basis basis = scoring::prepare(picture, templ, path, &progress);
        EXPECT_GT(progress.total, 0);
        EXPECT_EQ(progress.done, progress.total) << "the share told stalls short of all";
        for (int step = 0; step < 12; ++step) {
            const int method = step % 6;
            basis.lanes = step < 6;
            SCOPED_TRACE("method " + std::to_string(method) + (basis.lanes ? " in lanes" : " one at a time"));
            cv::Mat scores;
            const scoring::Located located = scoring::normalized_scores(basis, method, scores);
            cv::Mat expected;
            cv::matchTemplate(picture, templ, expected, method);
            cv::normalize(expected, expected, 0, 1, cv::NORM_MINMAX);
            cv::Point smallest_at;
            cv::Point largest_at;
            cv::minMaxLoc(expected, nullptr, nullptr, &smallest_at, &largest_at);
            ASSERT_EQ(scores.size(), expected.size());
            EXPECT_EQ(cv::norm(scores, expected, cv::NORM_INF), 0);
            EXPECT_EQ(located.smallest_at, smallest_at);
            EXPECT_EQ(located.largest_at, largest_at);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Pictures, Exactness, ::testing::ValuesIn(pairs()),
                         [](const ::testing::TestParamInfo<Pair>& info) { return info.param.name; });

TEST_F(PatchFinder, SetsUpTwoWindowsAndTheMethodSliderBeforeWaiting)
{
    const cv::utils::logging::LogLevel level_before = cv::utils::logging::getLogLevel();
    const recorder::Outcome outcome = run();
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "");

    using recorder::Call;
    const std::vector<Call> expected_calls{
        {Call::NamedWindow, source_window},    {Call::NamedWindow, result_window},
        {Call::CreateTrackbar, source_window}, {Call::Imshow, source_window},
        {Call::Imshow, result_window},         {Call::WaitKey, "50"}};
    EXPECT_EQ(recorder::calls(), expected_calls);
    for (const recorder::Window& window : recorder::windows()) {
        EXPECT_EQ(window.flags, 1) << window.name;
    }

    ASSERT_EQ(recorder::sliders().size(), 1u);
    const recorder::Slider& slider = recorder::sliders()[0];
    EXPECT_EQ(slider.label, slider_label);
    EXPECT_EQ(slider.maximum, 5);
    EXPECT_NE(slider.value, nullptr) << "the window system stores the position into the bound method";
    EXPECT_EQ(slider.position_at_creation, 0);
    EXPECT_NE(slider.callback, nullptr);
    EXPECT_EQ(slider.user_data, nullptr);
    EXPECT_GE(slider.log_level, cv::utils::logging::LOG_LEVEL_FATAL);
    EXPECT_LE(slider.log_level, cv::utils::logging::LOG_LEVEL_ERROR) << "the binding warning must be hushed";
    EXPECT_EQ(cv::utils::logging::getLogLevel(), level_before) << "the log level must be restored";

    expect_shows(expected_for(picture, templ, cv::TM_SQDIFF));
    EXPECT_TRUE(framed_at_the_cut(picture, templ));
}

TEST_F(PatchFinder, EveryMethodFramesItsBestScoreAndBackToZeroRestoresTheStart)
{
    std::vector<cv::Mat> first;
    std::vector<Expected> expected;
    for (int method = 0; method <= 5; ++method) {
        expected.push_back(expected_for(picture, templ, method));
    }
    std::vector<bool> found(6, false);
    recorder::script({[&] {
        first = {recorder::last_shown(source_window), recorder::last_shown(result_window)};
        found[0] = framed_at_the_cut(picture, templ);
        for (int method = 1; method <= 5; ++method) {
            SCOPED_TRACE("method " + std::to_string(method));
            recorder::move_slider(method);
            expect_shows(expected[size_t(method)]);
            found[size_t(method)] = framed_at_the_cut(picture, templ);
        }
        for (int method = 4; method >= 0; --method) {
            recorder::move_slider(method);
        }
        recorder::press_key(27);
    }});

    ASSERT_EQ(run().status, 0);
    EXPECT_EQ(cv::norm(recorder::last_shown(source_window), first[0], cv::NORM_INF), 0);
    EXPECT_EQ(cv::norm(recorder::last_shown(result_window), first[1], cv::NORM_INF), 0);
    // The template occurs once, so every measure but the plain correlation finds it.
    for (const int method : {0, 1, 3, 4, 5}) {
        EXPECT_TRUE(found[size_t(method)]) << "method " << method;
    }
}

TEST_F(PatchFinder, TemplateOfThePictureSizeGivesOneScoreAndAFrameOverAll)
{
    template_path = folder.write("whole.png", picture);
    ASSERT_EQ(run().status, 0);

    EXPECT_EQ(recorder::last_shown(result_window).size(), cv::Size(1, 1));
    cv::Mat framed = picture.clone();
    cv::rectangle(framed, cv::Point(0, 0), cv::Point(picture.cols, picture.rows), cv::Scalar::all(0), 2);
    EXPECT_EQ(cv::norm(recorder::last_shown(source_window), framed, cv::NORM_INF), 0);
}

TEST_F(PatchFinder, TemplateOfOneRowOrColumnLessStillMatches)
{
    for (const cv::Size size : {cv::Size(160, 1), cv::Size(1, 120), cv::Size(1, 1), cv::Size(159, 120)}) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        recorder::reset();
        templ = picture(cv::Rect(cv::Point(0, 0), size)).clone();
        template_path = folder.write("slice.png", templ);
        ASSERT_EQ(run().status, 0);
        expect_shows(expected_for(picture, templ, cv::TM_SQDIFF));
    }
}

TEST_F(PatchFinder, BadArgumentsEndWithMinusOneBeforeAnyWindow)
{
    const std::string wider = folder.write("wider.png", pictures::uniform(10, 161, cv::Scalar::all(9)));
    const std::string taller = folder.write("taller.png", pictures::uniform(121, 10, cv::Scalar::all(9)));
    std::vector<std::vector<std::string>> cases{
        {}, {picture_path}, {picture_path, wider}, {picture_path, taller}};
    for (const std::string& bad : pictures::unreadable(folder)) {
        cases.push_back({bad, template_path});
        cases.push_back({picture_path, bad});
        cases.push_back({bad, bad});
    }
    recorder::expect_refused(patch_finder_main, cases);
}

TEST_F(PatchFinder, ClosingOneWindowKeepsWaitingClosingBothEnds)
{
    recorder::script(
        {[] { recorder::close_window(source_window); }, [] { recorder::close_window(result_window); }});
    EXPECT_EQ(run().status, 0);
    EXPECT_EQ(recorder::wait_count(), 2);
}

} // namespace
