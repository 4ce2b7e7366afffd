#!/usr/bin/env bash
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ (or
# $BUILD_DIR) and runs every test there through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build-asan}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFW_WERROR=ON -DFW_SANITIZE=ON -DFW_BUILD_BENCH=OFF "$@"
cmake --build "$BUILD_DIR"
export QT_QPA_PLATFORM=offscreen
export QTEST_FUNCTION_TIMEOUT=120000
XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
export XDG_RUNTIME_DIR
FW_TEST_HOME=$(mktemp -d)
export HOME="$FW_TEST_HOME" XDG_CONFIG_HOME="$FW_TEST_HOME/.config" XDG_DATA_HOME="$FW_TEST_HOME/.local/share"
# Leaks of the libraries under test (pxlib, Qt's plugins) are not ours to fix here.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)" --timeout 1200
