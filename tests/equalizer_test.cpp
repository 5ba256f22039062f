#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "pictures.hpp"
#include "recorder.hpp"

int equalizer_main(int argc, char** argv);

namespace {

const std::string source_window = "Source image";
const std::string equalized_window = "Equalized Image";

class Equalizer : public ::testing::Test {
  protected:
    void SetUp() override { recorder::reset(); }

    recorder::Outcome run(const cv::Mat& picture)
    {
        return recorder::run(equalizer_main, {folder.write("picture.png", picture)});
    }

    pictures::Folder folder;
};

TEST_F(Equalizer, ShowsTheGreyPictureAndItsEqualizedVersion)
{
    cv::Mat picture(64, 96, CV_8UC3);
    cv::RNG(5).fill(picture, cv::RNG::NORMAL, 120, 25);
    const recorder::Outcome outcome = run(picture);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "");

    using recorder::Call;
    const std::vector<Call> expected_calls{{Call::NamedWindow, source_window},
                                           {Call::NamedWindow, equalized_window},
                                           {Call::Imshow, source_window},
                                           {Call::Imshow, equalized_window},
                                           {Call::WaitKey, "50"}};
    EXPECT_EQ(recorder::calls(), expected_calls);
    for (const recorder::Window& window : recorder::windows()) {
        EXPECT_EQ(window.flags, 1) << window.name;
    }

    cv::Mat grey;
    cv::Mat equalized;
    cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
    cv::equalizeHist(grey, equalized);
    const cv::Mat& shown_source = recorder::last_shown(source_window);
    ASSERT_EQ(shown_source.type(), CV_8UC1) << "the source window shows the picture in grey";
    EXPECT_EQ(cv::norm(shown_source, grey, cv::NORM_INF), 0);
    EXPECT_EQ(cv::norm(recorder::last_shown(equalized_window), equalized, cv::NORM_INF), 0);
}

TEST_F(Equalizer, DimPictureIsSpreadOverTheWholeRange)
{
    cv::Mat picture(50, 50, CV_8UC3);
    cv::RNG(9).fill(picture, cv::RNG::UNIFORM, 100, 131);
    ASSERT_EQ(run(picture).status, 0);

    double darkest = 0;
    double brightest = 0;
    cv::minMaxLoc(recorder::last_shown(equalized_window), &darkest, &brightest);
    EXPECT_EQ(darkest, 0);
    EXPECT_EQ(brightest, 255);
}

TEST_F(Equalizer, EvenlySpreadPictureIsAlmostUnchanged)
{
    cv::Mat ramp(16, 256, CV_8UC1);
    for (int column = 0; column < 256; ++column) {
        ramp.col(column).setTo(column);
    }
    cv::Mat picture;
    cv::cvtColor(ramp, picture, cv::COLOR_GRAY2BGR);
    ASSERT_EQ(run(picture).status, 0);
    EXPECT_LE(cv::norm(recorder::last_shown(equalized_window), ramp, cv::NORM_INF), 1);
}

TEST_F(Equalizer, UnreadableInputOrNoArgumentPrintsTheUsageLineAndEndsWithMinusOne)
{
    // The one place the tests spell the line out.
    recorder::expect_refused(equalizer_main, pictures::refused_arguments(folder),
                             "Usage: ./equalizer <path_to_image>\n");
}

TEST_F(Equalizer, ClosingOneWindowKeepsWaitingClosingBothEnds)
{
    recorder::script(
        {[] { recorder::close_window(equalized_window); }, [] { recorder::close_window(source_window); }});
    EXPECT_EQ(run(pictures::uniform(20, 20, cv::Scalar::all(7))).status, 0);
    EXPECT_EQ(recorder::wait_count(), 2);
}

} // namespace
