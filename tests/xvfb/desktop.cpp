#include "desktop.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <opencv2/imgcodecs.hpp>

extern char** environ;

namespace desktop {
namespace {

using Clock = std::chrono::steady_clock;

std::string read_file(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void pause_briefly()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// Spawns a process in a group of its own, with the given environment changes
// and its output streams sent to files (or nowhere).
pid_t spawn(const std::vector<std::string>& words, const std::vector<std::string>& environment_overrides,
            const std::string& out_path, const std::string& err_path)
{
    std::vector<std::string> environment = environment_overrides;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string setting = *entry;
        const std::string name = setting.substr(0, setting.find('='));
        bool overridden = false;
        for (const std::string& override_setting : environment_overrides) {
            overridden = overridden || override_setting.rfind(name + "=", 0) == 0;
        }
        if (!overridden) {
            environment.push_back(setting);
        }
    }
    std::vector<char*> argv;
    std::vector<std::string> words_copy = words;
    for (std::string& word : words_copy) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& setting : environment) {
        envp.push_back(setting.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);

    pid_t pid = -1;
    const int error = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        throw std::runtime_error("cannot start " + words[0] + ": " + std::strerror(error));
    }
    return pid;
}

// Waits for a child until the limit; returns false if it is still running.
bool reap(pid_t pid, Seconds limit, int& status)
{
    const auto deadline = Clock::now() + limit;
    while (true) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return true;
        }
        if (done < 0 || Clock::now() > deadline) {
            return false;
        }
        pause_briefly();
    }
}

void stop_group(pid_t pid)
{
    kill(-pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
}

} // namespace

Desktop::Desktop()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "xvfb-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    folder_ = pattern; // mode 0700, as the window toolkit wants its runtime folder

    // Xvfb picks a free display itself and writes its number to the pipe.
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) {
        throw std::runtime_error("cannot make a pipe");
    }
    server_ = spawn({"Xvfb", "-displayfd", std::to_string(pipe_ends[1]), "-screen", "0", "2560x1600x24",
                     "-nolisten", "tcp"},
                    {}, folder_ + "/xvfb.out", folder_ + "/xvfb.err");
    ::close(pipe_ends[1]);
    std::string number;
    pollfd readable{pipe_ends[0], POLLIN, 0};
    const auto deadline = Clock::now() + Seconds(20);
    while (number.find('\n') == std::string::npos && Clock::now() < deadline) {
        if (poll(&readable, 1, 100) > 0) {
            char buffer[16];
            const ssize_t count = read(pipe_ends[0], buffer, sizeof buffer);
            if (count <= 0) {
                break;
            }
            number.append(buffer, size_t(count));
        }
    }
    ::close(pipe_ends[0]);
    if (number.find('\n') == std::string::npos) {
        stop_group(server_);
        throw std::runtime_error("Xvfb did not start: " + read_file(folder_ + "/xvfb.err"));
    }
    display_ = ":" + number.substr(0, number.find('\n'));
}

Desktop::~Desktop()
{
    for (const pid_t pid : started_) {
        stop_group(pid);
    }
    stop_group(server_);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

Program Desktop::start(const std::string& executable, const std::vector<std::string>& arguments)
{
    std::vector<std::string> words{executable};
    words.insert(words.end(), arguments.begin(), arguments.end());
    Program program;
    const std::string stem = folder_ + "/program-" + std::to_string(files_++);
    program.out_path = stem + ".out";
    program.err_path = stem + ".err";
    program.pid = spawn(words, {"DISPLAY=" + display_, "XDG_RUNTIME_DIR=" + folder_}, program.out_path,
                        program.err_path);
    started_.push_back(program.pid);
    return program;
}

Ending Desktop::wait(Program& program, Seconds limit)
{
    Ending ending;
    int status = 0;
    ending.ended = reap(program.pid, limit, status);
    if (!ending.ended) {
        stop_group(program.pid);
    } else {
        ending.by_signal = WIFSIGNALED(status);
        ending.code = ending.by_signal ? WTERMSIG(status) : WEXITSTATUS(status);
    }
    started_.erase(std::remove(started_.begin(), started_.end(), program.pid), started_.end());
    ending.out = read_file(program.out_path);
    ending.err = read_file(program.err_path);
    return ending;
}

bool Desktop::running(const Program& program)
{
    int status = 0;
    return waitpid(program.pid, &status, WNOHANG) == 0;
}

std::string Desktop::command(const std::vector<std::string>& words, Seconds limit)
{
    const std::string stem = folder_ + "/command-" + std::to_string(files_++);
    const pid_t pid = spawn(words, {"DISPLAY=" + display_}, stem + ".out", stem + ".err");
    int status = 0;
    if (!reap(pid, limit, status)) {
        stop_group(pid);
        return "";
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return "";
    }
    return read_file(stem + ".out");
}

std::string Desktop::find_window(const std::string& title, Seconds limit)
{
    // Titles hold no pattern characters but spaces, so an anchored pattern is exact.
    const std::string found =
        command({"xdotool", "search", "--sync", "--onlyvisible", "--name", "^" + title + "$"}, limit);
    return found.substr(0, found.find('\n'));
}

void Desktop::press_key(const std::string& window, const std::string& key)
{
    command({"xdotool", "windowraise", window});
    command({"xdotool", "windowfocus", "--sync", window});
    command({"xdotool", "key", key});
}

void Desktop::close(const std::string& window)
{
    command({XWINDOW_TOOL, "close", window});
}

cv::Mat Desktop::screenshot(const std::string& window)
{
    // Without a window manager windows open on top of each other: raise this
    // one and let the toolkit repaint what was hidden before grabbing it.
    command({"xdotool", "windowraise", window});
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const std::string file = folder_ + "/shot-" + std::to_string(files_++) + ".png";
    command({XWINDOW_TOOL, "shot", window, file});
    return cv::imread(file, cv::IMREAD_COLOR);
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
