#include "failure.hpp"

#include <new>
#include <system_error>

#include "screen.hpp"

namespace common {

std::string failure_reason(const std::exception& failure, cv::Size size)
{
    if (dynamic_cast<const screen::Unreachable*>(&failure) != nullptr) {
        return failure.what();
    }
    const auto* library = dynamic_cast<const cv::Exception*>(&failure);
    const auto* system = dynamic_cast<const std::system_error*>(&failure);
    // A thread that cannot be had is memory that cannot be had: its stack.
    // The library's thread pool says so in words alone.
    const bool memory = library != nullptr ? library->code == cv::Error::StsNoMem
                        : system != nullptr
                            ? system->code() == std::errc::resource_unavailable_try_again ||
                                  system->code() == std::errc::not_enough_memory
                            : dynamic_cast<const std::bad_alloc*>(&failure) != nullptr ||
                                  std::string(failure.what()).rfind("pthread_create has failed", 0) == 0;
    if (!memory) {
        const std::string said = library != nullptr ? library->err : failure.what();
        return "cannot process this picture: " + said.substr(0, said.find('\n'));
    }
    if (size.empty()) {
        return "not enough memory to read this picture";
    }
    return "not enough memory to process this " + std::to_string(size.width) + "x" +
           std::to_string(size.height) + " picture";
}

} // namespace common
