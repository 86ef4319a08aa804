#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with. Idempotent and quiet: does
# nothing when everything is there already. Run as root (or with sudo available).
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev
  qt6-base-dev qt6-translations-l10n libgl-dev fonts-wqy-microhei
  libxlsxwriter-dev zlib1g-dev libpng-dev poppler-utils python3-openpyxl
  python3-dev pybind11-dev python3-numpy python3-pytest
  python3-dask python3-distributed python3-pandas
  libmatio-dev libhdf5-dev libsndfile1-dev python3-scipy python3-h5py python3-soundfile sox
  python3-hdf5storage
  help2man dpkg-dev fakeroot file
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
