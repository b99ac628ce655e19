#!/usr/bin/env bash
# Sets everything up and runs every test: the format and layering checks, the normal build with warnings as errors,
# the core, window and end-to-end tests under AddressSanitizer + UndefinedBehaviorSanitizer, the core tests under
# ThreadSanitizer, clang-tidy and the fuzzers.
set -euo pipefail
cd "$(dirname "$0")/.."

ZANDEL_SETUP_PACKAGE=1 scripts/setup.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

# Each step says when it began, so that a slow step shows in CI's log.
started=$SECONDS
step() {
    echo "== $1 (at $((SECONDS - started)) s)"
}

# Every build below goes through a compiler cache keyed on paths inside the checkout, so that a later run (or another
# clone on the same machine) compiles only what changed.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
cache=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

step "format"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
# The source folders stay layered: none includes a folder that includes it back.
scripts/check-layers.py

step "build"
# Built as the package is (Debian's hardening flags), so that the package step ships these very programs.
. scripts/hardening.sh
cmake -S . -B build/ci -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZANDEL_WERROR=ON "${hardening_args[@]}" "${cache[@]}" \
    >/dev/null
cmake --build build/ci -j "$jobs"
(cd build/ci && ctest --output-on-failure -j "$jobs" --timeout 600)

step "clang-tidy"
# The checks in .clang-tidy, over our sources as the build above compiles them; any finding fails.
run-clang-tidy -p build/ci -j "$jobs" -quiet "$PWD/src/" >build/ci/clang-tidy.log 2>&1 || {
    grep -E -A3 '(warning|error):' build/ci/clang-tidy.log
    exit 1
}

step "address + undefined sanitizers"
# The core, the windows (offscreen) and zandel-check end to end; the desktop test needs no second pass.
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZANDEL_WERROR=ON -DZANDEL_BUILD_UI=ON "${cache[@]}" \
    -DZANDEL_SANITIZE=address >/dev/null
cmake --build build/asan -j "$jobs" --target core_tests e2e_tests ui_tests
(cd build/asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure -j "$jobs" --timeout 600 -R '^(core_tests|e2e_tests|ui_.*Test)$')

step "thread sanitizer"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZANDEL_WERROR=ON -DZANDEL_BUILD_UI=OFF "${cache[@]}" \
    -DZANDEL_SANITIZE=thread >/dev/null
cmake --build build/tsan -j "$jobs" --target core_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 build/tsan/tests/core_tests

step "fuzzers"
# Each harness in tests/fuzz checks one reader or rule against a small model of it, under AddressSanitizer +
# UndefinedBehaviorSanitizer, for a short while here (ZANDEL_FUZZ_SECONDS each). The corpora stay in
# build/fuzz/corpus, so that runs build on each other. Longer by hand, e.g. an hour for the list reader:
#   build/fuzz/tests/fuzz/FuzzListReader -max_total_time=3600 -jobs=2 build/fuzz/corpus/FuzzListReader
# A failure leaves its input as build/fuzz/crash-<hash>; the harness replays it when given the file.
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DZANDEL_WERROR=ON \
    "${cache[@]}" \
    -DZANDEL_BUILD_UI=OFF -DZANDEL_SANITIZE=address -DZANDEL_FUZZ=ON >/dev/null
cmake --build build/fuzz -j "$jobs" --target fuzzers
for harness in FuzzListReader FuzzIniFile FuzzLineList FuzzParseAddress FuzzAnswerJudge FuzzTestRequest \
    FuzzHttpsTarget FuzzProxyAddress FuzzSocksReply FuzzClientDialog; do
    mkdir -p "build/fuzz/corpus/$harness"
    if ! (cd build/fuzz && UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 "tests/fuzz/$harness" \
        -max_total_time="${ZANDEL_FUZZ_SECONDS:-10}" -timeout=10 -rss_limit_mb=2048 "corpus/$harness" \
        >"$harness.log" 2>&1); then
        cat "build/fuzz/$harness.log"
        exit 1
    fi
    echo "$harness: $(tail -n 1 "build/fuzz/$harness.log")"
done

step "Debian package"
scripts/test-package.sh build/ci

step "all tests passed"
