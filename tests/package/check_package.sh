#!/usr/bin/env bash
# Builds the Debian package from a configured build folder and checks it: the
# programs and their manual pages inside, and Depends naming the OpenCV
# runtime libraries (worked out from the binaries).
#   check_package.sh BUILD_FOLDER
set -euo pipefail
build="$1"
source "$build/programs.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
package=("$work"/*.deb)
[ -f "${package[0]}" ] || { echo "no package was made"; exit 1; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

contents="$(dpkg-deb -c "${package[0]}")"
for program in "${programs[@]}"; do
  grep -Eq "^-rwxr-xr-x .* \./usr/bin/$program\$" <<<"$contents" || fail "no executable /usr/bin/$program"
  grep -Eq " \./usr/share/man/man1/$program\.1(\.gz)?\$" <<<"$contents" || fail "no manual page for $program"
done
files="$(grep -c '^-' <<<"$contents")"
[ "$files" -eq $((2 * ${#programs[@]})) ] || fail "expected a program and a page each, found $files files"

depends="$(dpkg-deb -f "${package[0]}" Depends)"
for library in core imgproc imgcodecs highgui; do
  grep -q "libopencv-$library[0-9]" <<<"$depends" || fail "Depends lacks OpenCV $library: $depends"
done

[ "$failures" -eq 0 ] && echo "The package holds the ${#programs[@]} programs and their manual pages."
[ "$failures" -eq 0 ]
