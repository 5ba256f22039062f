// What the X window manager tells of the windows it frames, asked of the
// X server directly: the toolkit does not pass it on.
#pragma once

namespace x_window_system {

// Connects to the X server of DISPLAY, waiting out the moment in which a
// server resets (as a bare one does when its last client leaves), and keeps
// the connection: the server then does not reset under the toolkit's own.
// False where none can be had.
bool connect();

// What the window manager's frame adds on each side of a window.
struct Extents {
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;
};

// The frame the window with this X id will get, asked of the window manager
// before the window is mapped, so that it can be placed and sized with it.
// Without a window manager that answers such a question there is none.
Extents frame_of(unsigned long window);

// Whether the window system tells the frame a window gets and where the
// panels are: X without a window manager (no frame, no panels), or with one
// that answers for its frames and keeps the work area.
bool frame_and_panels_known();

} // namespace x_window_system
