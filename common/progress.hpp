// progress: how far a long piece of work is, in its own units (tiles,
// channels), counted by the threads that do it and read by the windows'.
#pragma once

#include <atomic>
#include <string>

namespace common {

struct Progress {
    std::string doing;          // what the user is told, e.g. "Matching the template"
    std::atomic<long> total{0}; // units in all, once the work knows; 0: not known in advance
    std::atomic<long> done{0};  // units done so far, only ever more
};

} // namespace common
