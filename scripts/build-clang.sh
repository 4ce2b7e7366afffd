#!/usr/bin/env bash
# Builds every target with clang (Debian 12: clang 14) into build-clang/ (or $BUILD_DIR), warnings
# as errors, so that code only GCC accepts is caught. Runs no tests: the GCC build does.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh clang
BUILD_DIR=${BUILD_DIR:-build-clang}
CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} \
  -DFW_WERROR=ON "$@"
cmake --build "$BUILD_DIR"
