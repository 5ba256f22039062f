#include "desktop.hpp"

#include <poll.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <opencv2/imgcodecs.hpp>

namespace desktop {

Desktop::Desktop(cv::Size screen, bool window_manager)
    : Desktop(screen, window_manager ? Kind::x_with_manager : Kind::x)
{
}

namespace {

// A folder of this test process's own, named so that one left by a process
// since killed can be told and swept.
std::string private_folder(const std::string& stem)
{
    const std::filesystem::path temporary = std::filesystem::temp_directory_path();
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(temporary, ignored)) {
        const std::string name = entry.path().filename().string();
        int pid = 0;
        if (name.rfind(stem + "-", 0) == 0 && std::sscanf(name.c_str() + stem.size() + 1, "%d-", &pid) == 1 &&
            pid > 0 && kill(pid, 0) != 0 && errno == ESRCH) {
            std::filesystem::remove_all(entry.path(), ignored);
        }
    }
    std::string pattern = (temporary / (stem + "-" + std::to_string(getpid()) + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    return pattern; // mode 0700, as the window toolkit wants its runtime folder
}

// Runs `attempt` until `good` takes its result, or the limit passes: a
// search, shot or question about a window can fail while the window is
// made, raised or framed, for longer on a loaded machine.
template <typename Attempt, typename Good> auto until(Seconds limit, Attempt attempt, Good good)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto result = attempt();
    while (!good(result) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        result = attempt();
    }
    return result;
}

// Run before a server's own command: it is killed with the test that
// started it, however that ends.
const std::vector<std::string> dies_with_test{"setpriv", "--pdeathsig", "KILL", "--"};

} // namespace

Desktop::Desktop(cv::Size screen, Kind kind) : kind_(kind)
{
    try {
        folder_ = private_folder("xvfb-test");
        if (kind == Kind::wayland) {
            start_wayland(screen);
        } else {
            start_x(screen, kind == Kind::x_with_manager);
        }
    } catch (...) {
        // No destructor runs for a desktop half made.
        tear_down();
        throw;
    }
}

void Desktop::start_x(cv::Size screen, bool window_manager)
{
    // Xvfb picks a free display itself and writes its number to the pipe.
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) {
        throw std::runtime_error("cannot make a pipe");
    }
    const std::string size = std::to_string(screen.width) + "x" + std::to_string(screen.height) + "x24";
    std::vector<std::string> words = dies_with_test;
    words.insert(words.end(), {"Xvfb", "-displayfd", std::to_string(pipe_ends[1]), "-screen", "0", size,
                               "-nolisten", "tcp"});
    server_ = process::start(words, {}, folder_ + "/xvfb.out", folder_ + "/xvfb.err").pid;
    ::close(pipe_ends[1]);
    std::string number;
    pollfd readable{pipe_ends[0], POLLIN, 0};
    while (number.find('\n') == std::string::npos && poll(&readable, 1, 20000) > 0) {
        char buffer[16];
        const ssize_t count = read(pipe_ends[0], buffer, sizeof buffer);
        if (count <= 0) {
            break;
        }
        number.append(buffer, size_t(count));
    }
    ::close(pipe_ends[0]);
    if (number.find('\n') == std::string::npos) {
        process::stop(server_);
        throw std::runtime_error("Xvfb did not start: " + process::read_file(folder_ + "/xvfb.err"));
    }
    display_ = ":" + number.substr(0, number.find('\n'));
    if (window_manager) {
        const std::string stem = next_file("openbox");
        std::vector<std::string> manager = dies_with_test;
        manager.push_back("openbox");
        started_.push_back(process::start(manager, environment(), stem + ".out", stem + ".err").pid);
        // Ready once it says so on the root window.
        for (int tries = 0; tries < 100; ++tries) {
            const process::Ending ready =
                process::wait(process::start({XWINDOW_TOOL, "manager"}, {"DISPLAY=" + display_},
                                             stem + ".check", stem + ".check"),
                              Seconds(5));
            if (ready.ended && !ready.by_signal && ready.code == 0) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
}

void Desktop::start_wayland(cv::Size screen)
{
    // The compositor's own runtime folder, where it makes its sockets; the
    // programs keep theirs, which the toolkit wants owned by whoever runs them.
    compositor_folder_ = private_folder("wayland-test");
    std::vector<std::string> words = dies_with_test;
    if (geteuid() == 0) {
        // An account that exists everywhere and owns nothing: the system's
        // accounts stay as they are.
        const passwd* nobody = getpwnam("nobody");
        if (nobody == nullptr) {
            throw std::runtime_error("no account 'nobody' to run the compositor as");
        }
        if (chown(compositor_folder_.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
            throw std::runtime_error("cannot hand the compositor its folder");
        }
        words.insert(words.end() - 1, {"--reuid=" + std::to_string(nobody->pw_uid),
                                       "--regid=" + std::to_string(nobody->pw_gid), "--clear-groups"});
    }
    {
        std::ofstream config(compositor_folder_ + "/config");
        config << "output * resolution " << screen.width << "x" << screen.height << "\n"
               << "xwayland disable\n"
               << "for_window [title=\".*\"] floating enable\n";
    }
    words.insert(words.end(),
                 {"env", "-i", "PATH=/usr/sbin:/usr/bin:/sbin:/bin", "XDG_RUNTIME_DIR=" + compositor_folder_,
                  "WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1", "sway", "-c",
                  compositor_folder_ + "/config"});
    server_ = process::start(words, {}, folder_ + "/sway.out", folder_ + "/sway.err").pid;
    // Ready once both its sockets are there.
    for (int tries = 0; tries < 400 && (display_.empty() || ipc_socket_.empty()); ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(compositor_folder_, ignored)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos) {
                display_ = entry.path().string();
            } else if (name.rfind("sway-ipc.", 0) == 0) {
                ipc_socket_ = entry.path().string();
            }
        }
    }
    if (display_.empty() || ipc_socket_.empty()) {
        throw std::runtime_error("sway did not start: " + process::read_file(folder_ + "/sway.err"));
    }
}

Desktop::~Desktop()
{
    tear_down();
}

void Desktop::tear_down()
{
    for (const pid_t pid : started_) {
        process::stop(pid);
    }
    started_.clear();
    if (server_ > 0) {
        process::stop(server_);
        server_ = -1;
    }
    std::error_code ignored;
    for (const std::string& folder : {folder_, compositor_folder_}) {
        if (!folder.empty()) {
            std::filesystem::remove_all(folder, ignored);
        }
    }
}

std::string Desktop::next_file(const std::string& stem)
{
    return folder_ + "/" + stem + "-" + std::to_string(files_++);
}

std::vector<std::string> Desktop::environment() const
{
    if (kind_ == Kind::wayland) {
        // The socket by its path, which Wayland clients take in place of a name.
        return {"DISPLAY=", "WAYLAND_DISPLAY=" + display_, "QT_QPA_PLATFORM=wayland",
                "SWAYSOCK=" + ipc_socket_, "XDG_RUNTIME_DIR=" + folder_};
    }
    return {"DISPLAY=" + display_, "XDG_RUNTIME_DIR=" + folder_};
}

process::Child Desktop::start(const std::string& executable, const std::vector<std::string>& arguments,
                              const std::vector<std::string>& settings)
{
    std::vector<std::string> words{executable};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<std::string> changed = environment();
    changed.insert(changed.end(), settings.begin(), settings.end());
    const std::string stem = next_file("program");
    const process::Child program = process::start(words, changed, stem + ".out", stem + ".err");
    started_.push_back(program.pid);
    return program;
}

process::Ending Desktop::wait(const process::Child& program, Seconds limit)
{
    const process::Ending ending = process::wait(program, limit);
    started_.erase(std::remove(started_.begin(), started_.end(), program.pid), started_.end());
    return ending;
}

std::string Desktop::command(const std::vector<std::string>& words, Seconds limit)
{
    const std::string stem = next_file("command");
    const process::Ending ending =
        process::wait(process::start(words, environment(), stem + ".out", stem + ".err"), limit);
    return ending.ended && !ending.by_signal && ending.code == 0 ? ending.out : "";
}

namespace {

// What jq makes of the compositor's tree of windows.
std::vector<std::string> asked_of_tree(const std::string& query, const std::string& argument)
{
    return {"bash", "-c", "swaymsg -t get_tree | jq -r --arg it \"$1\" '" + query + "'", "tree", argument};
}

} // namespace

std::string Desktop::find_window(const std::string& title, Seconds limit)
{
    const std::string found = until(
        limit,
        [&] {
            if (kind_ == Kind::wayland) {
                return command(asked_of_tree("[.. | objects | select(.name? == $it and .pid? != null and "
                                             ".visible)] | first | .id // empty",
                                             title));
            }
            // Titles hold no pattern characters but spaces, so an anchored pattern is exact.
            return command({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"});
        },
        [](const std::string& found) { return !found.empty(); });
    return found.substr(0, found.find('\n'));
}

Desktop::Placed Desktop::placed(const std::string& window)
{
    std::istringstream words(command(
        asked_of_tree(".. | objects | select(.id? == ($it | tonumber)) | [.rect.x, .rect.y, .rect.width, "
                      ".rect.height, .deco_rect.height, .window_rect.x, .window_rect.y, "
                      ".window_rect.width, .window_rect.height] | map(tostring) | join(\" \")",
                      window)));
    Placed where;
    words >> where.rect.x >> where.rect.y >> where.rect.width >> where.rect.height >> where.decoration >>
        where.client.x >> where.client.y >> where.client.width >> where.client.height;
    where.client += where.rect.tl();
    return where;
}

void Desktop::press_key(const std::string& window, const std::string& key)
{
    if (kind_ == Kind::wayland) {
        command({"swaymsg", "[con_id=" + window + "] focus"});
        // A new virtual keyboard is taken in only after a moment.
        command({"wtype", "-s", "200", "-k", key});
        return;
    }
    command({"xdotool", "windowraise", window});
    command({"xdotool", "windowfocus", "--sync", window});
    command({"xdotool", "key", key});
}

void Desktop::close(const std::string& window)
{
    if (kind_ == Kind::wayland) {
        command({"swaymsg", "[con_id=" + window + "] kill"});
        return;
    }
    command({XWINDOW_TOOL, "close", window});
}

cv::Mat Desktop::screenshot(const std::string& window, bool raise)
{
    const std::string file = next_file("shot") + ".png";
    if (kind_ == Kind::wayland) {
        // The compositor may have laid another window over it: focused, it
        // is raised.
        if (raise) {
            command({"swaymsg", "[con_id=" + window + "] focus"});
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
        }
        const cv::Rect client = placed(window).client;
        command({"grim", "-g",
                 std::to_string(client.x) + "," + std::to_string(client.y) + " " +
                     std::to_string(client.width) + "x" + std::to_string(client.height),
                 file});
        return cv::imread(file, cv::IMREAD_COLOR);
    }
    // Without a window manager windows open on top of each other: raise this
    // one and let the toolkit repaint what was hidden before grabbing it.
    if (raise) {
        command({"xdotool", "windowraise", window});
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
    }
    return until(
        Seconds(10),
        [&] {
            command({XWINDOW_TOOL, "shot", window, file});
            return cv::imread(file, cv::IMREAD_COLOR);
        },
        [](const cv::Mat& shot) { return !shot.empty(); });
}

cv::Rect Desktop::frame(const std::string& window)
{
    if (kind_ == Kind::wayland) {
        const Placed where = placed(window);
        return {where.rect.x, where.rect.y - where.decoration, where.rect.width,
                where.rect.height + where.decoration};
    }
    return until(
        Seconds(10),
        [&] {
            std::istringstream words(command({XWINDOW_TOOL, "frame", window}));
            cv::Rect where;
            words >> where.x >> where.y >> where.width >> where.height;
            return where;
        },
        [](const cv::Rect& where) { return where.area() > 0; });
}

cv::Size Desktop::size(const std::string& window)
{
    if (kind_ == Kind::wayland) {
        return placed(window).client.size();
    }
    std::istringstream geometry(command({"xdotool", "getwindowgeometry", "--shell", window}));
    cv::Size size;
    for (std::string line; std::getline(geometry, line);) {
        if (line.rfind("WIDTH=", 0) == 0) {
            size.width = std::stoi(line.substr(6));
        } else if (line.rfind("HEIGHT=", 0) == 0) {
            size.height = std::stoi(line.substr(7));
        }
    }
    return size;
}

std::string Desktop::pointer()
{
    return command({XWINDOW_TOOL, "pointer"});
}

process::Child Desktop::watch(const std::string& title, Seconds limit)
{
    return start(XWINDOW_TOOL, {"watch", title, std::to_string(limit.count())});
}

process::Child Desktop::ping(const std::string& title, Seconds limit)
{
    return start(XWINDOW_TOOL, {"ping", title, std::to_string(limit.count())});
}

std::vector<Ping> pings_in(const std::string& output)
{
    std::istringstream lines(output);
    std::vector<Ping> pings;
    long long sent_ms = 0;
    long long waited_ms = 0;
    std::string answered;
    while (lines >> sent_ms >> waited_ms >> answered) {
        pings.push_back({Seconds(double(sent_ms) / 1000), Seconds(double(waited_ms) / 1000)});
    }
    return pings;
}

void Desktop::cover(const std::string& window)
{
    command({XWINDOW_TOOL, "cover", window});
}

process::Child Desktop::listen_for_startup(Seconds limit)
{
    return start(XWINDOW_TOOL, {"startup", std::to_string(limit.count())});
}

void Desktop::slide(const std::string& window, const std::vector<std::string>& keys)
{
    // The slider's groove reaches the window's right edge, below the image:
    // the lowest dark run in a column near that edge is the groove.
    const cv::Mat shot = screenshot(window);
    if (shot.empty()) {
        throw std::runtime_error("no screenshot of window " + window);
    }
    const int column = shot.cols - 8;
    int bottom = -1;
    int top = -1;
    for (int row = shot.rows - 1; row >= 0; --row) {
        const cv::Vec3b pixel = shot.at<cv::Vec3b>(row, column);
        const bool dark = pixel[0] < 200 && pixel[1] < 200 && pixel[2] < 200;
        if (dark && bottom < 0) {
            bottom = row;
        }
        if (dark) {
            top = row;
        } else if (bottom >= 0 && bottom - top > 2) {
            break;
        }
    }
    if (bottom < 0) {
        throw std::runtime_error("no slider found on window " + window);
    }
    const std::string row = std::to_string((top + bottom) / 2);
    command({"xdotool", "mousemove", "--window", window, std::to_string(column), row, "click", "1"});
    for (const std::string& key : keys) {
        command({"xdotool", "key", key});
    }
}

} // namespace desktop
