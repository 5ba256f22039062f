// Child processes for the tests: started in a process group of their own, with
// their output streams in files, waited for with a time limit.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

namespace process {

using Seconds = std::chrono::duration<double>;

struct Child {
    pid_t pid = -1;
    std::string out_path;
    std::string err_path;
};

struct Ending {
    bool ended = false; // false: still running when the wait ran out, then killed
    bool by_signal = false;
    int code = 0;       // exit status, or the signal's number
    double peak_mb = 0; // peak resident memory
    std::string out;
    std::string err;
};

// Starts words[0] (looked up on PATH) with the environment changed by the
// NAME=VALUE settings given, in the folder given ("" for this one's).
Child start(const std::vector<std::string>& words, const std::vector<std::string>& settings,
            const std::string& out_path, const std::string& err_path, const std::string& folder = "");

// Waits for the child to end; one still running at the limit is killed with its group.
Ending wait(const Child& child, Seconds limit);

bool running(const Child& child);

// Waits until the child has used almost no processor time for a while (a
// program waiting for the user), or the limit passes; says which came first.
bool wait_idle(const Child& child, Seconds limit);

// Kills the child's whole group and reaps it.
void stop(pid_t pid);

std::string read_file(const std::string& path);

} // namespace process
