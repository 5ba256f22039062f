#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "pictures.hpp"
#include "recorder.hpp"

int circle_finder_main(int argc, char** argv);

namespace {

const std::string window_name = "Hough Circle Transform Demo";
const cv::Vec3b green(0, 255, 0);
const cv::Vec3b red(0, 0, 255);

class CircleFinder : public ::testing::Test {
  protected:
    void SetUp() override { recorder::reset(); }

    recorder::Outcome run(const std::string& path) { return recorder::run(circle_finder_main, {path}); }

    pictures::Folder folder;
};

// Discs of clear contrast on a dark ground, as a person would draw coins.
cv::Mat discs(int rows, int cols, const std::vector<cv::Vec3i>& centres_and_radii)
{
    cv::Mat picture = pictures::uniform(rows, cols, cv::Scalar(40, 30, 20));
    for (const cv::Vec3i& disc : centres_and_radii) {
        cv::circle(picture, cv::Point(disc[0], disc[1]), disc[2], cv::Scalar(220, 230, 240), cv::FILLED,
                   cv::LINE_AA);
    }
    return picture;
}

// What the library detects on this picture with the given minimum centre
// distance, computed here from the documented parameters.
std::vector<cv::Vec3f> detect(const cv::Mat& picture, double min_distance)
{
    cv::Mat grey;
    cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
    cv::GaussianBlur(grey, grey, cv::Size(9, 9), 2, 2, cv::BORDER_REFLECT_101);
    std::vector<cv::Vec3f> circles;
    cv::HoughCircles(grey, circles, cv::HOUGH_GRADIENT, 1, min_distance, 200, 100, 0, 0);
    return circles;
}

cv::Point centre_of(const cv::Vec3f& circle)
{
    return {int(std::nearbyint(circle[0])), int(std::nearbyint(circle[1]))};
}

TEST_F(CircleFinder, MarksEachCircleWithGreenCentreAndRedRing)
{
    const cv::Mat picture = discs(360, 480, {{100, 100, 60}, {300, 120, 50}, {200, 260, 70}});
    const std::vector<cv::Vec3f> expected = detect(picture, 360 / 8);
    ASSERT_GE(expected.size(), 3u) << "the fixture should hold three detectable circles";

    const recorder::Outcome outcome = run(folder.write("discs.png", picture));

    EXPECT_EQ(outcome.status, 0);
    using recorder::Call;
    const std::vector<Call> expected_calls{
        {Call::NamedWindow, window_name}, {Call::Imshow, window_name}, {Call::WaitKey, "50"}};
    EXPECT_EQ(recorder::calls(), expected_calls);
    EXPECT_EQ(recorder::windows()[0].flags, 1);
    const cv::Mat& shown = recorder::last_shown(window_name);
    ASSERT_EQ(shown.type(), CV_8UC3);
    ASSERT_EQ(shown.size(), picture.size());

    cv::Mat marked = picture.clone();
    for (const cv::Vec3f& circle : expected) {
        const cv::Point centre = centre_of(circle);
        EXPECT_EQ(shown.at<cv::Vec3b>(centre), green) << "centre " << centre;
        const cv::Point on_ring(centre.x + int(std::nearbyint(circle[2])), centre.y);
        EXPECT_EQ(shown.at<cv::Vec3b>(on_ring), red) << "ring point " << on_ring;
        cv::circle(marked, centre, 3, cv::Scalar(0, 255, 0), cv::FILLED, cv::LINE_8);
        cv::circle(marked, centre, int(std::nearbyint(circle[2])), cv::Scalar(0, 0, 255), 3, cv::LINE_8);
    }
    EXPECT_EQ(cv::norm(shown, marked, cv::NORM_INF), 0) << "only the markers may change the colour picture";
    EXPECT_TRUE(outcome.out.empty());
    EXPECT_TRUE(outcome.err.empty());
}

TEST_F(CircleFinder, PictureWithoutCirclesIsShownUnchanged)
{
    cv::Mat picture = pictures::uniform(200, 300, cv::Scalar(10, 120, 200));
    cv::rectangle(picture, cv::Rect(40, 50, 120, 80), cv::Scalar(250, 250, 250), cv::FILLED);
    ASSERT_TRUE(detect(picture, 200 / 8).empty());

    EXPECT_EQ(run(folder.write("box.png", picture)).status, 0);
    EXPECT_EQ(cv::norm(recorder::last_shown(window_name), picture, cv::NORM_INF), 0);
}

// Two discs 60 pixels apart: both are found where rows / 8 is below 60, and
// only one where it is above, so the shown dots reveal the distance used.
TEST_F(CircleFinder, MinimumCentreDistanceIsAnEighthOfTheRows)
{
    std::vector<size_t> found;
    for (const int rows : {400, 560}) {
        SCOPED_TRACE("rows " + std::to_string(rows));
        recorder::reset();
        const cv::Mat picture = discs(rows, 400, {{150, 200, 70}, {210, 200, 70}});
        const std::vector<cv::Vec3f> expected = detect(picture, rows / 8);

        ASSERT_EQ(run(folder.write("pair.png", picture)).status, 0);
        const cv::Mat& shown = recorder::last_shown(window_name);
        cv::Mat dots;
        cv::inRange(shown, green, green, dots);
        std::vector<std::vector<cv::Point>> blobs;
        cv::findContours(dots, blobs, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
        EXPECT_EQ(blobs.size(), expected.size());
        for (const cv::Vec3f& circle : expected) {
            EXPECT_EQ(shown.at<cv::Vec3b>(centre_of(circle)), green);
        }
        found.push_back(expected.size());
    }
    EXPECT_EQ(found, (std::vector<size_t>{2, 1})) << "the fixture must tell the two distances apart";
}

TEST_F(CircleFinder, TinyPicturesAreShownWithoutFailing)
{
    for (const cv::Size size : {cv::Size(1, 1), cv::Size(40, 1), cv::Size(1, 40), cv::Size(30, 7),
                                cv::Size(30, 8), cv::Size(30, 15)}) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        recorder::reset();
        cv::Mat picture(size, CV_8UC3);
        cv::randu(picture, 0, 256);

        EXPECT_EQ(run(folder.write("tiny.png", picture)).status, 0);
        EXPECT_EQ(recorder::last_shown(window_name).size(), size);
    }
}

TEST_F(CircleFinder, GreyFileIsReadAsColourAndMarkedInColour)
{
    cv::Mat grey;
    cv::cvtColor(discs(300, 300, {{150, 150, 80}}), grey, cv::COLOR_BGR2GRAY);
    ASSERT_EQ(run(folder.write("grey.png", grey)).status, 0);

    const cv::Mat& shown = recorder::last_shown(window_name);
    ASSERT_EQ(shown.type(), CV_8UC3);
    EXPECT_EQ(shown.at<cv::Vec3b>(150, 150), green);
    EXPECT_EQ(shown.at<cv::Vec3b>(0, 0), cv::Vec3b::all(grey.at<uchar>(0, 0)));
}

TEST_F(CircleFinder, UnreadableInputOrNoArgumentEndsWithMinusOneAndNoWindow)
{
    recorder::expect_refused(circle_finder_main, pictures::refused_arguments(folder));
}

TEST_F(CircleFinder, MissingArgumentPrintsNothing)
{
    const recorder::Outcome outcome = recorder::run(circle_finder_main, {});
    EXPECT_EQ(outcome.status, -1);
    EXPECT_EQ(outcome.err, "");
}

TEST_F(CircleFinder, EndsWhenItsWindowIsClosed)
{
    recorder::script({[] {}, [] { recorder::close_all_windows(); }});
    EXPECT_EQ(run(folder.write("box.png", pictures::uniform(50, 50, cv::Scalar(1, 2, 3)))).status, 0);
    EXPECT_EQ(recorder::wait_count(), 2);
}

} // namespace
