// A headless stand-in for the window calls, linked into the programs' real
// code to make binaries that run on any machine: each image shown is checked
// the way the library checks it, every slider is moved through its whole
// range and back to 0 at the first wait, and then a key is pressed.
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>

namespace {

struct Slider {
    int* value;
    int maximum;
    cv::TrackbarCallback callback;
    void* user_data;
};

std::vector<Slider>& sliders()
{
    static std::vector<Slider> all;
    return all;
}

void move(const Slider& slider, int position)
{
    if (slider.value != nullptr) {
        *slider.value = position;
    }
    if (slider.callback != nullptr) {
        slider.callback(position, slider.user_data);
    }
}

} // namespace

namespace cv {

void namedWindow(const String&, int) {}

void imshow(const String&, InputArray image)
{
    const Size size = image.size();
    CV_Assert(size.width > 0 && size.height > 0);
}

int createTrackbar(const String&, const String&, int* value, int count, TrackbarCallback onChange,
                   void* userdata)
{
    sliders().push_back({value, count, onChange, userdata});
    return 1;
}

int waitKey(int)
{
    for (const Slider& slider : sliders()) {
        for (int position = 1; position <= slider.maximum; ++position) {
            move(slider, position);
        }
        move(slider, 0);
    }
    return 'q';
}

double getWindowProperty(const String&, int)
{
    return 1.0;
}

} // namespace cv
