#!/usr/bin/env bash
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ (or
# $BUILD_DIR) and runs every test there through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build-asan}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFW_WERROR=ON -DFW_SANITIZE=ON -DFW_BUILD_BENCH=OFF "$@"
cmake --build "$BUILD_DIR"
export QTEST_FUNCTION_TIMEOUT=120000
# shellcheck source=scripts/test-env.sh
. scripts/test-env.sh
# Leaks of the libraries under test (pxlib, Qt's plugins) are not ours to fix here.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The fault sweeps try one kind of failure per file operation here, in turn, not all five:
# the plain build tries every one, and this keeps the whole of CI well inside its time.
export FW_SWEEP_SAMPLE=1
ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)" --timeout 1200
