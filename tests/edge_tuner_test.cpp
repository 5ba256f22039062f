#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "pictures.hpp"
#include "recorder.hpp"

int edge_tuner_main(int argc, char** argv);

namespace {

const std::string window_name = "Edge Map";

class EdgeTuner : public ::testing::Test {
  protected:
    void SetUp() override { recorder::reset(); }

    recorder::Outcome run(const cv::Mat& picture)
    {
        return recorder::run(edge_tuner_main, {folder.write("picture.png", picture)});
    }

    pictures::Folder folder;
};

// A step of strong contrast on the left, one of weak contrast on the right,
// in colours with no black in them.
cv::Mat two_steps()
{
    cv::Mat picture = pictures::uniform(80, 160, cv::Scalar(40, 60, 30));
    picture(cv::Rect(40, 0, 40, 80)).setTo(cv::Scalar(220, 240, 200));
    picture(cv::Rect(80, 0, 80, 80)).setTo(cv::Scalar(120, 110, 100));
    picture(cv::Rect(120, 0, 40, 80)).setTo(cv::Scalar(128, 118, 108));
    return picture;
}

// The edges the detector marks for a threshold, from the library's own calls.
cv::Mat edges_at(const cv::Mat& picture, int lower)
{
    cv::Mat grey;
    cv::Mat edges;
    cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
    cv::blur(grey, edges, cv::Size(3, 3));
    cv::Canny(edges, edges, lower, lower * 3, 3, false);
    return edges;
}

int lit_pixels(const cv::Mat& shown)
{
    cv::Mat grey;
    cv::cvtColor(shown, grey, cv::COLOR_BGR2GRAY);
    return cv::countNonZero(grey);
}

TEST_F(EdgeTuner, SetsUpTheWindowAndThresholdSliderBeforeWaiting)
{
    const recorder::Outcome outcome = run(two_steps());
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "");

    using recorder::Call;
    const std::vector<Call> expected_calls{{Call::NamedWindow, window_name},
                                           {Call::CreateTrackbar, window_name},
                                           {Call::Imshow, window_name},
                                           {Call::WaitKey, "50"}};
    EXPECT_EQ(recorder::calls(), expected_calls);
    EXPECT_EQ(recorder::windows()[0].flags, 1);

    ASSERT_EQ(recorder::sliders().size(), 1u);
    const recorder::Slider& slider = recorder::sliders()[0];
    EXPECT_EQ(slider.label, "Min Threshold:");
    EXPECT_EQ(slider.window, window_name);
    EXPECT_EQ(slider.maximum, 100);
    EXPECT_NE(slider.value, nullptr);
    EXPECT_EQ(slider.position_at_creation, 0);
    EXPECT_EQ(slider.user_data, nullptr);
    EXPECT_LE(slider.log_level, cv::utils::logging::LOG_LEVEL_ERROR) << "the binding warning must be hushed";
}

// Smoothed noise: the wider the blur, the fewer and the longer the edges.
cv::Mat noise(int rows, int cols, double blur)
{
    cv::Mat picture(rows, cols, CV_8UC3);
    cv::RNG(3).fill(picture, cv::RNG::UNIFORM, 0, 256);
    cv::GaussianBlur(picture, picture, cv::Size(0, 0), blur);
    return picture;
}

// Thin rings and diagonals over a ramp: edges that run across many rows.
cv::Mat rings()
{
    cv::Mat picture(240, 200, CV_8UC3);
    for (int y = 0; y < picture.rows; ++y) {
        picture.row(y).setTo(cv::Scalar(30 + y / 2, 60, 200 - y / 2));
    }
    for (int ring = 0; ring < 6; ++ring) {
        cv::circle(picture, cv::Point(100, 120), 15 + 17 * ring, cv::Scalar(40 * ring, 250, 90), 1,
                   cv::LINE_8);
    }
    cv::line(picture, cv::Point(0, 0), cv::Point(199, 239), cv::Scalar(250, 250, 250), 1, cv::LINE_8);
    cv::line(picture, cv::Point(199, 0), cv::Point(0, 239), cv::Scalar(20, 30, 40), 1, cv::LINE_8);
    return picture;
}

TEST_F(EdgeTuner, ShowsThePicturesOwnColoursOnItsEdgesOverBlack)
{
    const std::vector<std::pair<std::string, cv::Mat>> cases{
        {"smooth noise", noise(90, 120, 2)}, {"busy noise", noise(150, 130, 0.8)},
        {"rings and diagonals", rings()},    {"one row", noise(1, 70, 1)},
        {"one column", noise(70, 1, 1)},     {"two by two", noise(2, 2, 0.5)}};
    // Up and back down, so that what a move keeps from the last is tried too.
    const std::vector<int> positions{0, 15, 40, 100, 3, 40, 1, 0};
    for (const auto& [name, picture] : cases) {
        SCOPED_TRACE(name);
        recorder::reset();
        recorder::script({[&, picture = picture] {
            for (size_t move = 0; move < positions.size(); ++move) {
                const int position = positions[move];
                SCOPED_TRACE("position " + std::to_string(position));
                if (move > 0) {
                    recorder::move_slider(position);
                }
                cv::Mat expected = cv::Mat::zeros(picture.size(), picture.type());
                picture.copyTo(expected, edges_at(picture, position));
                const cv::Mat& shown = recorder::last_shown(window_name);
                ASSERT_EQ(shown.type(), CV_8UC3);
                EXPECT_EQ(cv::norm(shown, expected, cv::NORM_INF), 0);
            }
            recorder::press_key('q');
        }});
        EXPECT_EQ(run(picture).status, 0);
    }
}

TEST_F(EdgeTuner, HigherThresholdsKeepOnlyStrongEdgesAndMovingBackRestores)
{
    std::vector<int> lit;
    cv::Mat at_zero;
    recorder::script({[&] {
        at_zero = recorder::last_shown(window_name).clone();
        for (int position = 0; position <= 100; position += 10) {
            recorder::move_slider(position);
            lit.push_back(lit_pixels(recorder::last_shown(window_name)));
        }
        recorder::move_slider(0);
        recorder::press_key('q');
    }});
    ASSERT_EQ(run(two_steps()).status, 0);

    for (size_t i = 1; i < lit.size(); ++i) {
        EXPECT_LE(lit[i], lit[i - 1]) << "a higher threshold added edges at step " << i;
    }
    const cv::Mat& final_image = recorder::last_shown(window_name);
    EXPECT_EQ(cv::norm(final_image, at_zero, cv::NORM_INF), 0) << "back at 0 the dense edges must return";

    const cv::Mat strong_only = edges_at(two_steps(), 100);
    EXPECT_GT(cv::countNonZero(strong_only.colRange(30, 90)), 0) << "the strong steps stay at 100";
    EXPECT_EQ(cv::countNonZero(strong_only.colRange(100, 160)), 0) << "the weak step goes at 100";
    EXPECT_GT(cv::countNonZero(edges_at(two_steps(), 0).colRange(100, 160)), 0) << "the weak step shows at 0";
    EXPECT_EQ(lit.back(), cv::countNonZero(strong_only));
}

TEST_F(EdgeTuner, UniformPictureIsBlackAtEveryPosition)
{
    recorder::script({[] {
        for (int position = 0; position <= 100; position += 25) {
            recorder::move_slider(position);
            EXPECT_EQ(cv::countNonZero(recorder::last_shown(window_name).reshape(1)), 0);
        }
        recorder::press_key('q');
    }});
    EXPECT_EQ(run(pictures::uniform(50, 70, cv::Scalar(90, 160, 230))).status, 0);
}

TEST_F(EdgeTuner, UnreadableInputOrNoArgumentEndsWithMinusOneAndNoWindow)
{
    recorder::expect_refused(edge_tuner_main, pictures::refused_arguments(folder));
}

TEST_F(EdgeTuner, EndsWhenItsWindowIsClosed)
{
    recorder::script({[] { recorder::close_all_windows(); }});
    EXPECT_EQ(run(two_steps()).status, 0);
}

} // namespace
