#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "pictures.hpp"
#include "recorder.hpp"

int laplace_view_main(int argc, char** argv);

namespace {

const std::string window_name = "Laplace Demo";

class LaplaceView : public ::testing::Test {
  protected:
    void SetUp() override { recorder::reset(); }

    // Runs the program on the picture and returns what its window shows.
    cv::Mat shown_for(const cv::Mat& picture)
    {
        const recorder::Outcome outcome =
            recorder::run(laplace_view_main, {folder.write("picture.png", picture)});
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(outcome.err, "");
        return recorder::last_shown(window_name).clone();
    }

    pictures::Folder folder;
};

// The raw 16-bit response, from the library's own calls.
cv::Mat response_of(const cv::Mat& picture)
{
    cv::Mat smoothed;
    cv::Mat grey;
    cv::Mat response;
    cv::GaussianBlur(picture, smoothed, cv::Size(3, 3), 0, 0);
    cv::cvtColor(smoothed, grey, cv::COLOR_RGB2GRAY);
    cv::Laplacian(grey, response, CV_16S, 3);
    return response;
}

TEST_F(LaplaceView, ShowsTheAbsoluteResponseInItsWindow)
{
    cv::Mat picture(70, 90, CV_8UC3);
    cv::RNG(11).fill(picture, cv::RNG::UNIFORM, 0, 256);
    const cv::Mat shown = shown_for(picture);

    using recorder::Call;
    const std::vector<Call> expected_calls{
        {Call::NamedWindow, window_name}, {Call::Imshow, window_name}, {Call::WaitKey, "50"}};
    EXPECT_EQ(recorder::calls(), expected_calls);
    EXPECT_EQ(recorder::windows()[0].flags, 1);

    ASSERT_EQ(shown.type(), CV_8UC1);
    cv::Mat magnitude = cv::abs(response_of(picture));
    magnitude.convertTo(magnitude, CV_8U);
    EXPECT_EQ(cv::norm(shown, magnitude, cv::NORM_INF), 0);
}

TEST_F(LaplaceView, UniformPictureIsBlack)
{
    EXPECT_EQ(cv::countNonZero(shown_for(pictures::uniform(40, 60, cv::Scalar(30, 140, 250)))), 0);
}

TEST_F(LaplaceView, StepGivesBrightLinesOnBothSidesAndSaturates)
{
    cv::Mat gentle = pictures::uniform(30, 80, cv::Scalar::all(50));
    gentle.colRange(40, 80).setTo(cv::Scalar::all(150));
    const cv::Mat shown = shown_for(gentle);
    EXPECT_GT(shown.at<uchar>(15, 39), 0);
    EXPECT_GT(shown.at<uchar>(15, 40), 0);
    EXPECT_EQ(shown.at<uchar>(15, 10), 0);
    EXPECT_EQ(shown.at<uchar>(15, 70), 0);

    cv::Mat sharp = pictures::uniform(30, 80, cv::Scalar::all(0));
    sharp.colRange(40, 80).setTo(cv::Scalar::all(255));
    double strongest = 0;
    cv::minMaxLoc(cv::abs(response_of(sharp)), nullptr, &strongest);
    ASSERT_GT(strongest, 255);
    recorder::reset();
    double brightest = 0;
    cv::minMaxLoc(shown_for(sharp), nullptr, &brightest);
    EXPECT_EQ(brightest, 255);
}

// The conversion weighs the first channel, blue, as if it were red: a blue
// square's outline comes out brighter than a red one's.
TEST_F(LaplaceView, BlueSquareOutlineIsBrighterThanRedSquareOutline)
{
    cv::Mat picture = pictures::uniform(60, 120, cv::Scalar::all(0));
    picture(cv::Rect(10, 15, 30, 30)).setTo(cv::Scalar(200, 0, 0));
    picture(cv::Rect(70, 15, 30, 30)).setTo(cv::Scalar(0, 0, 200));
    const cv::Mat shown = shown_for(picture);

    double blue_outline = 0;
    double red_outline = 0;
    cv::minMaxLoc(shown.colRange(0, 60), nullptr, &blue_outline);
    cv::minMaxLoc(shown.colRange(60, 120), nullptr, &red_outline);
    EXPECT_GT(blue_outline, red_outline);
}

TEST_F(LaplaceView, UnreadableInputOrNoArgumentEndsWithMinusOneAndNoWindow)
{
    recorder::expect_refused(laplace_view_main, pictures::refused_arguments(folder));
}

TEST_F(LaplaceView, EndsWhenItsWindowIsClosed)
{
    recorder::script({[] { recorder::close_all_windows(); }});
    shown_for(pictures::uniform(20, 20, cv::Scalar::all(1)));
}

} // namespace
