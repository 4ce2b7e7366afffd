#!/usr/bin/env bash
# Installs what is missing, builds and runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh "$@"
export QT_QPA_PLATFORM=offscreen
export QTEST_FUNCTION_TIMEOUT=60000
XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
export XDG_RUNTIME_DIR
# Tests must never touch the real user's settings or home.
FW_TEST_HOME=$(mktemp -d)
export HOME="$FW_TEST_HOME" XDG_CONFIG_HOME="$FW_TEST_HOME/.config" XDG_DATA_HOME="$FW_TEST_HOME/.local/share"
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)" --timeout 600
