#!/usr/bin/env bash
# Sets everything up and runs every test: the normal build with warnings as errors, the core tests under
# AddressSanitizer + UndefinedBehaviorSanitizer and under ThreadSanitizer, and the format check.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== format"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

echo "== build"
cmake -S . -B build/ci -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZANDEL_WERROR=ON >/dev/null
cmake --build build/ci -j "$jobs"
(cd build/ci && ctest --output-on-failure -j "$jobs" --timeout 600)

echo "== address + undefined sanitizers"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZANDEL_WERROR=ON -DZANDEL_BUILD_UI=OFF \
    -DZANDEL_SANITIZE=address >/dev/null
cmake --build build/asan -j "$jobs" --target core_tests
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    build/asan/tests/core_tests

echo "== thread sanitizer"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZANDEL_WERROR=ON -DZANDEL_BUILD_UI=OFF \
    -DZANDEL_SANITIZE=thread >/dev/null
cmake --build build/tsan -j "$jobs" --target core_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 build/tsan/tests/core_tests

echo "== Debian package"
scripts/test-package.sh build/ci

echo "== all tests passed"
