# Shared by the scripts in this folder; sourced, not run.
set -euo pipefail

root_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Packages to build the programs and their tools. Debian 13 splits libheif's
# codecs into plug-ins: the decoders the programs read HEIF pictures with,
# and the encoders that write our demo's.
build_packages=(g++ make cmake pkgconf libopencv-dev qtbase5-dev libx11-dev libwayland-dev libheif-dev)
if [ "$(. /etc/os-release && echo "${VERSION_ID:-99}" | cut -d. -f1)" -ge 13 ]; then
  build_packages+=(libheif-plugin-libde265 libheif-plugin-dav1d libheif-plugin-x265 libheif-plugin-aomenc)
fi
# Packages to run programs without a display: a virtual one, a hand on it
# (xdotool, and our tools/xwindow, built with the X fixes extension), and a
# window manager.
headless_packages=(xvfb xdotool libxfixes-dev openbox)
# Packages for the real-window tests on Wayland: a headless compositor, asked
# with swaymsg and jq, grim for screenshots, wtype for keys, and the window
# toolkit's Wayland platform.
wayland_packages=(sway grim wtype jq qtwayland5)

say() { printf '%s\n' "$*" >&2; }

# Installs the Debian packages named that are not installed yet; does nothing,
# quickly, when all are there.
need_packages() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0

  local as_root=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { say "Installing ${missing[*]} needs root (or sudo)."; exit 1; }
    as_root=(sudo)
  fi
  say "Installing: ${missing[*]}"
  "${as_root[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}

build="$root_dir/build"

# Warnings are errors only where the compiler is pinned: CI sets SUITE_WERROR=ON.
# Everyone else gets warnings from a newer compiler, never a broken build.
configure_options=(-DSUITE_WERROR="${SUITE_WERROR:-OFF}")

# configure_suite: configures the default build (build/), quickly when nothing changed.
configure_suite() {
  # CMake finds the presets in the folder it runs in.
  (cd "$root_dir" && cmake --preset default "${configure_options[@]}" >/dev/null)
}

# build_suite [TARGET...]: configures the default build and builds the targets
# named (all when none), quickly when nothing changed.
build_suite() {
  local targets=()
  [ $# -gt 0 ] && targets=(--target "$@")
  configure_suite
  (cd "$root_dir" && cmake --build --preset default --parallel "$(nproc)" "${targets[@]}" >/dev/null)
}
