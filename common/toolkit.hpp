// The window toolkit's start: the application the library's window layer
// takes, made first and as the programs need it.
#pragma once

namespace toolkit {

// Makes the application, unless no window system is named (making it would
// then abort the process, where a program whose window calls are stood in
// for, the benchmark's shim, runs on without one): false then. Without GL,
// with room to start, and on a display reached; throws screen::Unreachable
// for an X display that cannot be, and std::bad_alloc without the room.
bool start();

} // namespace toolkit
