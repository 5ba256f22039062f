// What the Wayland compositor offers its clients, asked of it directly: the
// toolkit does not pass it on.
#pragma once

namespace wayland_window_system {

// Whether the compositor draws the windows' title bars itself (it offers
// server-side decorations), so that the toolkit need not draw its own.
bool compositor_decorates();

} // namespace wayland_window_system
