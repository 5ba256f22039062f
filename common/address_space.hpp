// Whether the process may still take so much memory: asked before a piece
// of work whose own threads, or whose toolkit, cannot say that they ran out.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <new>

namespace common {

// Throws std::bad_alloc unless `bytes` of address space are there now: they
// are reserved, untouched, and given back at once.
inline void make_sure_of_room(size_t bytes)
{
    void* room = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (room == MAP_FAILED) {
        throw std::bad_alloc();
    }
    munmap(room, bytes);
}

} // namespace common
