#include "process.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace process {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> environment_with(const std::vector<std::string>& settings)
{
    // The last setting of a name wins, over the settings before it and this
    // process's own.
    std::vector<std::string> environment;
    const auto named = [&](const std::string& setting) {
        const std::string name = setting.substr(0, setting.find('=') + 1);
        return std::any_of(environment.begin(), environment.end(),
                           [&](const std::string& kept) { return kept.rfind(name, 0) == 0; });
    };
    for (auto change = settings.rbegin(); change != settings.rend(); ++change) {
        if (!named(*change)) {
            environment.push_back(*change);
        }
    }
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!named(*entry)) {
            environment.push_back(*entry);
        }
    }
    return environment;
}

std::vector<char*> pointers(std::vector<std::string>& words)
{
    std::vector<char*> result;
    for (std::string& word : words) {
        result.push_back(word.data());
    }
    result.push_back(nullptr);
    return result;
}

// User and system time so far, in clock ticks; -1 once the child is gone.
long long ticks_used(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(file, line) || line.rfind(')') == std::string::npos) {
        return -1;
    }
    // After the command's name (in parentheses, may hold spaces) come the
    // state and then ten fields before utime and stime.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string skipped;
    for (int i = 0; i < 11; ++i) {
        fields >> skipped;
    }
    long long user = 0;
    long long system = 0;
    fields >> user >> system;
    return fields ? user + system : -1;
}

} // namespace

Child start(const std::vector<std::string>& words, const std::vector<std::string>& settings,
            const std::string& out_path, const std::string& err_path, const std::string& folder)
{
    std::vector<std::string> arguments = words;
    std::vector<std::string> environment = environment_with(settings);
    std::vector<char*> argv = pointers(arguments);
    std::vector<char*> envp = pointers(environment);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    if (!folder.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);

    Child child;
    child.out_path = out_path;
    child.err_path = err_path;
    const int error = posix_spawnp(&child.pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        throw std::runtime_error("cannot start " + words[0] + ": " + std::strerror(error));
    }
    return child;
}

Ending wait(const Child& child, Seconds limit)
{
    Ending ending;
    const auto deadline = Clock::now() + limit;
    int status = 0;
    rusage usage{};
    while (true) {
        const pid_t done = wait4(child.pid, &status, WNOHANG, &usage);
        if (done == child.pid) {
            ending.ended = true;
            break;
        }
        if (done < 0 || Clock::now() > deadline) {
            stop(child.pid);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (ending.ended) {
        ending.by_signal = WIFSIGNALED(status);
        ending.code = ending.by_signal ? WTERMSIG(status) : WEXITSTATUS(status);
        ending.peak_mb = double(usage.ru_maxrss) / 1024.0;
    }
    ending.out = read_file(child.out_path);
    ending.err = read_file(child.err_path);
    return ending;
}

bool running(const Child& child)
{
    // Looks without reaping, so that wait() still sees how the child ended.
    siginfo_t info{};
    return waitid(P_PID, id_t(child.pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

bool wait_idle(const Child& child, Seconds limit)
{
    // Idle: at most 5% of one core over a second, longer than a program's
    // pauses while it waits for the window manager to place a window.
    const auto span = std::chrono::seconds(1);
    const long long allowed = std::max(1L, sysconf(_SC_CLK_TCK) / 20);
    const auto deadline = Clock::now() + limit;
    long long before = ticks_used(child.pid);
    while (before >= 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(span);
        const long long after = ticks_used(child.pid);
        if (after >= 0 && after - before <= allowed) {
            return true;
        }
        before = after;
    }
    return false;
}

void stop(pid_t pid)
{
    kill(-pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
}

std::string read_file(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace process
