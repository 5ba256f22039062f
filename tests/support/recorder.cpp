#include "recorder.hpp"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>

#include "screen.hpp"

#include <gtest/gtest.h>

namespace recorder {
namespace {

// Waits a program may spend after its script has ended before it counts as hung.
constexpr int idle_wait_limit = 100;

struct State {
    std::vector<Call> calls;
    std::vector<Window> windows;
    std::vector<Slider> sliders;
    std::vector<Step> steps;
    size_t next_step = 0;
    std::vector<Step> working_steps;
    size_t next_working_step = 0;
    int waits = 0;
    int idle_waits = 0;
    int pending_key = -1;
    std::optional<cv::Rect> area;
    cv::Size chrome;
    bool keep_images = true;
};

State& state()
{
    static State instance;
    return instance;
}

Window* find(const std::string& name)
{
    for (Window& candidate : state().windows) {
        if (candidate.name == name) {
            return &candidate;
        }
    }
    return nullptr;
}

// Reads everything written to a temporary file that stood in for a stream.
std::string drain(std::FILE* file)
{
    std::string text;
    std::rewind(file);
    char buffer[4096];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, count);
    }
    std::fclose(file);
    return text;
}

} // namespace

bool operator==(const Call& a, const Call& b)
{
    return a.kind == b.kind && a.window == b.window;
}

void PrintTo(const Call& call, std::ostream* out)
{
    static const char* const names[] = {
        "namedWindow", "imshow",   "createTrackbar", "waitKey", "destroyAllWindows",
        "place",       "catch_up", "busy",           "tell"};
    *out << names[call.kind] << "(" << call.window << ")";
}

void reset()
{
    state() = State{};
    script({[] { press_key('q'); }});
}

void keep_images(bool keep)
{
    state().keep_images = keep;
}

void screen(cv::Rect area, cv::Size chrome)
{
    state().area = area;
    state().chrome = chrome;
}

void script(std::vector<Step> steps)
{
    state().steps = std::move(steps);
    state().next_step = 0;
}

void while_working(std::vector<Step> steps)
{
    state().working_steps = std::move(steps);
    state().next_working_step = 0;
}

void press_key(int key)
{
    state().pending_key = key;
}

void close_window(const std::string& name)
{
    Window* target = find(name);
    if (target == nullptr) {
        throw std::logic_error("no window named '" + name + "' to close");
    }
    target->open = false;
}

void close_all_windows()
{
    for (Window& each : state().windows) {
        each.open = false;
    }
}

void move_slider(int position)
{
    if (state().sliders.size() != 1) {
        throw std::logic_error("move_slider needs exactly one slider");
    }
    const Slider& slider = state().sliders.front();
    if (position < 0 || position > slider.maximum) {
        throw std::logic_error("a slider cannot go to " + std::to_string(position));
    }
    if (slider.value != nullptr) {
        *slider.value = position;
    }
    if (slider.callback != nullptr) {
        slider.callback(position, slider.user_data);
    }
}

void use_every_slider_then_press_a_key()
{
    for (const Slider& slider : std::vector<Slider>(state().sliders)) {
        for (int position = 1; position <= slider.maximum; ++position) {
            move_slider(position);
        }
        move_slider(0);
    }
    press_key('q');
}

const std::vector<Call>& calls()
{
    return state().calls;
}

const std::vector<Window>& windows()
{
    return state().windows;
}

const Window& window(const std::string& name)
{
    const Window* found = find(name);
    if (found == nullptr) {
        throw std::logic_error("the program created no window named '" + name + "'");
    }
    return *found;
}

cv::Mat last_shown(const std::string& name)
{
    const Window& shown_in = window(name);
    if (shown_in.shown.empty()) {
        throw std::logic_error("nothing was shown in '" + name + "'");
    }
    return shown_in.shown.back();
}

const std::vector<Slider>& sliders()
{
    return state().sliders;
}

int wait_count()
{
    return state().waits;
}

Outcome run(Main main, const std::vector<std::string>& arguments)
{
    std::vector<std::string> words{"program"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    // Both streams go to temporary files at the descriptor level, so that the
    // library's own messages are caught as well as the program's.
    std::cout.flush();
    std::fflush(nullptr);
    std::FILE* out_file = std::tmpfile();
    std::FILE* err_file = std::tmpfile();
    const int saved_out = dup(STDOUT_FILENO);
    const int saved_err = dup(STDERR_FILENO);
    dup2(fileno(out_file), STDOUT_FILENO);
    dup2(fileno(err_file), STDERR_FILENO);
    auto restore = [&] {
        std::cout.flush();
        std::cerr.flush();
        std::fflush(nullptr);
        dup2(saved_out, STDOUT_FILENO);
        dup2(saved_err, STDERR_FILENO);
        close(saved_out);
        close(saved_err);
    };

    Outcome outcome;
    try {
        outcome.status = main(int(argv.size()) - 1, argv.data());
    } catch (...) {
        restore();
        drain(out_file);
        drain(err_file);
        throw;
    }
    restore();
    outcome.out = drain(out_file);
    outcome.err = drain(err_file);
    return outcome;
}

void expect_refused(Main main, const std::vector<std::vector<std::string>>& cases,
                    const std::string& expected_out)
{
    for (const std::vector<std::string>& arguments : cases) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        reset();
        const Outcome outcome = run(main, arguments);
        EXPECT_EQ(outcome.status, -1);
        EXPECT_EQ(outcome.out, expected_out);
        EXPECT_TRUE(calls().empty()) << "no window may open";
    }
}

} // namespace recorder

// ---- The stand-ins, with the library's own signatures ----------------------

namespace cv {

void namedWindow(const String& winname, int flags)
{
    recorder::state().calls.push_back({recorder::Call::NamedWindow, winname});
    if (recorder::find(winname) == nullptr) {
        recorder::Window created;
        created.name = winname;
        created.flags = flags;
        recorder::state().windows.push_back(created);
    }
}

void imshow(const String& winname, InputArray mat)
{
    recorder::state().calls.push_back({recorder::Call::Imshow, winname});
    // As the library refuses to show an empty image.
    CV_Assert(mat.size().width > 0 && mat.size().height > 0);
    recorder::Window* target = recorder::find(winname);
    if (target == nullptr) {
        // The library makes an auto-sized window for an unknown name.
        namedWindow(winname, WINDOW_AUTOSIZE);
        target = recorder::find(winname);
    }
    if (recorder::state().keep_images) {
        target->shown.push_back(mat.getMat().clone());
    }
}

int createTrackbar(const String& trackbarname, const String& winname, int* value, int count,
                   TrackbarCallback onChange, void* userdata)
{
    recorder::state().calls.push_back({recorder::Call::CreateTrackbar, winname});
    recorder::Slider slider;
    slider.label = trackbarname;
    slider.window = winname;
    slider.value = value;
    slider.position_at_creation = value != nullptr ? *value : 0;
    slider.maximum = count;
    slider.callback = onChange;
    slider.user_data = userdata;
    slider.log_level = utils::logging::getLogLevel();
    recorder::state().sliders.push_back(slider);
    return 1;
}

int waitKey(int delay)
{
    recorder::State& s = recorder::state();
    s.calls.push_back({recorder::Call::WaitKey, std::to_string(delay)});
    ++s.waits;
    if (s.next_step < s.steps.size()) {
        s.steps[s.next_step++]();
    } else if (++s.idle_waits > recorder::idle_wait_limit) {
        throw recorder::Hang("the program kept waiting after its windows were closed or a key was pressed");
    }
    const int key = s.pending_key;
    s.pending_key = -1;
    return key;
}

void setTrackbarPos(const String& trackbarname, const String& winname, int pos)
{
    for (const recorder::Slider& slider : recorder::state().sliders) {
        if (slider.label == trackbarname && slider.window == winname) {
            recorder::move_slider(pos);
        }
    }
}

void destroyAllWindows()
{
    recorder::state().calls.push_back({recorder::Call::DestroyAllWindows, ""});
    recorder::close_all_windows();
}

double getWindowProperty(const String& winname, int prop_id)
{
    const recorder::Window* target = recorder::find(winname);
    if (prop_id != WND_PROP_VISIBLE) {
        throw std::logic_error("the recorder only knows WND_PROP_VISIBLE");
    }
    // Like the real window layer, an unknown window reports itself invisible.
    return target != nullptr && target->open ? 1.0 : 0.0;
}

} // namespace cv

// ---- The window system's answers, as the test set them ---------------------

namespace screen {

std::optional<cv::Rect> area()
{
    return recorder::state().area;
}

cv::Size chrome_of(const std::string& window)
{
    if (recorder::find(window) == nullptr) {
        throw std::logic_error("chrome of '" + window + "', which was not made");
    }
    return recorder::state().chrome;
}

void place(const std::string& window, cv::Size picture, std::optional<cv::Point> corner)
{
    std::string said = window + " " + std::to_string(picture.width) + "x" + std::to_string(picture.height);
    if (corner) {
        said += " at " + std::to_string(corner->x) + "," + std::to_string(corner->y);
    }
    recorder::state().calls.push_back({recorder::Call::Place, said});
}

void catch_up()
{
    recorder::state().calls.push_back({recorder::Call::CatchUp, ""});
}

void busy(bool on)
{
    recorder::state().calls.push_back({recorder::Call::Busy, on ? "on" : "off"});
}

// The work's thread wakes the program's, as the toolkit's event loop is woken.
std::mutex wake_mutex;
std::condition_variable wake_signal;
bool woken = false;

bool attend(int milliseconds)
{
    recorder::State& s = recorder::state();
    if (s.next_working_step < s.working_steps.size()) {
        s.working_steps[s.next_working_step++]();
    } else {
        std::unique_lock<std::mutex> lock(wake_mutex);
        wake_signal.wait_for(lock, std::chrono::milliseconds(milliseconds), [] { return woken; });
        woken = false;
    }
    const bool all_closed = std::none_of(s.windows.begin(), s.windows.end(),
                                         [](const recorder::Window& window) { return window.open; });
    return s.pending_key >= 0 || (!s.windows.empty() && all_closed);
}

bool ending_key()
{
    return true;
}

void wake()
{
    {
        const std::lock_guard<std::mutex> lock(wake_mutex);
        woken = true;
    }
    wake_signal.notify_all();
}

void tell(const std::string& text)
{
    recorder::state().calls.push_back({recorder::Call::Tell, text});
}

} // namespace screen
