#!/usr/bin/env bash
# Builds the Debian package torvwy_<version>_amd64.deb: the programs, the desktop application
# and its module, the shared libraries of the core, the pictures and the widgets (in /usr/lib
# beside the module, found through relative run paths), the four companions, the help pages, the
# Python package, the desktop entry and icon and man pages made from --help, with the Debian
# dependencies declared.
#
#   bash scripts/package.sh [BUILD_FOLDER]     (default build/package, a Release build)
#
# Prints the path of the package. An existing build folder (build/test) is reused as it is
# configured, with man pages and the /usr prefix added.
set -euo pipefail
cd "$(dirname "$0")/.."

build="${1:-build/package}"
options=(-DTORVWY_MAN_PAGES=ON -DCMAKE_INSTALL_PREFIX=/usr)
if [ ! -f "$build/CMakeCache.txt" ]; then
  options+=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DTORVWY_BUILD_TESTS=OFF)
fi
cmake -S . -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
(cd "$build" && cpack -G DEB >/dev/null)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb="$build/torvwy_${version}_amd64.deb"
[ -f "$deb" ] || { echo "$0: $deb was not made" >&2; exit 1; }
echo "$deb"
