// A private virtual desktop for the real-window tests: starts Xvfb (with a
// window manager when asked) or a headless Wayland compositor, runs the real
// programs on it, and acts on their windows as a user and a window manager
// would. On X: xdotool for keys, mouse and finding windows by exact title,
// the xwindow tool for closing, screenshots and the rest. On Wayland: sway
// with every window floating, asked through swaymsg (and jq), grim for
// screenshots and wtype for keys; the rest is X only. Every wait is bounded,
// and only the processes started here are stopped.
#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "process.hpp"

namespace desktop {

using process::Seconds;

// A ping: when it was sent (the monotonic clock), and how long it waited for
// its answer, or, unanswered, until the pinging ended.
struct Ping {
    Seconds sent;
    Seconds waited;
};
std::vector<Ping> pings_in(const std::string& output);

enum class Kind {
    x,              // Xvfb alone
    x_with_manager, // Xvfb with openbox
    wayland,        // sway, headless, every window floating
};

class Desktop {
  public:
    // A screen of this size; with a window manager (openbox) when asked.
    explicit Desktop(cv::Size screen = cv::Size(2560, 1600), bool window_manager = false);
    // A screen of this size, of the kind given. sway refuses to run as root:
    // run as root, the compositor runs as the account 'nobody'. The servers
    // started end with the test process, however it ends.
    Desktop(cv::Size screen, Kind kind);
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    // Runs a program on this display, its environment changed by the NAME=VALUE settings given.
    process::Child start(const std::string& executable, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& settings = {});
    // The settings a program needs to run on this display.
    std::vector<std::string> environment() const;
    // Waits for the program to end; a program still running then is killed.
    process::Ending wait(const process::Child& program, Seconds limit);

    // The id of the window whose title is exactly this, or "" after the limit.
    // A window that the program makes again (to fit it to the screen) is to
    // be looked for once the program is idle (process::wait_idle).
    std::string find_window(const std::string& title, Seconds limit = Seconds(15));

    Kind kind() const { return kind_; }

    void press_key(const std::string& window, const std::string& key);
    void close(const std::string& window);
    // Raised first, and given time to paint what was hidden, unless told it
    // is in view.
    cv::Mat screenshot(const std::string& window, bool raise = true);
    // Where the window's frame (or decoration) stands on the screen.
    cv::Rect frame(const std::string& window);
    // The size of the window itself, its frame left out.
    cv::Size size(const std::string& window);
    // The pointer's shape where it stands: a name, or a checksum of its image.
    std::string pointer();
    // Starts noting every change of the windows titled so, for `limit`: each
    // line of its output "MILLISECONDS ID mapped|unmapped X Y WIDTH HEIGHT"
    // (the monotonic clock; the frame), written as it happens.
    process::Child watch(const std::string& title, Seconds limit);
    // Starts pinging the owner of the window titled so as a window manager
    // does, every 100 ms from when it is mapped, for `limit` or until it is
    // gone; its output, once it ends, is read by pings_in.
    process::Child ping(const std::string& title, Seconds limit);
    // Lays another window over this one for a moment, then uncovers it.
    void cover(const std::string& window);
    // Starts noting every startup-notification message sent on this display,
    // for `limit`: one a line of its output.
    process::Child listen_for_startup(Seconds limit);
    // Clicks the slider of the window and presses the given keys on it.
    void slide(const std::string& window, const std::vector<std::string>& keys);

    // Runs a command on this display; returns its standard output, "" on failure.
    std::string command(const std::vector<std::string>& words, Seconds limit = Seconds(15));

  private:
    std::string next_file(const std::string& stem);
    void start_x(cv::Size screen, bool window_manager);
    void start_wayland(cv::Size screen);
    void tear_down();
    // On Wayland: the window's place and the part of it that is the client's.
    struct Placed {
        cv::Rect rect;      // the window, borders included
        int decoration = 0; // the title bar's height above it
        cv::Rect client;    // inside rect
    };
    Placed placed(const std::string& window);

    Kind kind_;
    std::string folder_;
    std::string display_; // X: ":N"; Wayland: the compositor's socket, a path
    std::string compositor_folder_;
    std::string ipc_socket_;
    pid_t server_ = -1;
    std::vector<pid_t> started_;
    int files_ = 0;
};

} // namespace desktop
