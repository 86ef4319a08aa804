#!/usr/bin/env bash
# Installs what the project needs, checks the formatting, builds it with the benchmarks (built,
# never run) and runs the whole test suite and the Python package's tests, builds the Debian
# package and checks it, then runs the suite built with AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
jobs=$(nproc)

echo "== clang-format" >&2
find src tests bench fuzz python \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z |
  xargs -0 clang-format --dry-run -Werror

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTORVWY_WERROR=ON \
  -DTORVWY_BUILD_BENCH=ON >/dev/null
cmake --build build/test -j "$jobs"
(cd build/test && ctest --output-on-failure -j "$jobs")

echo "== pytest (the Python package, Debian's python3)" >&2
TORVWY_BUILD="$PWD/build/test" /usr/bin/python3 -m pytest -q -p no:cacheprovider python/tests

echo "== the Debian package" >&2
deb=$(bash scripts/package.sh build/test)
bash scripts/check-package.sh "$deb"

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTORVWY_SANITIZE=ON >/dev/null
cmake --build build/asan -j "$jobs"
suppressions="$PWD/tests/lsan_suppressions.txt"
(cd build/asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS="suppressions=$suppressions" \
  ctest --output-on-failure -j "$jobs")
