# Sourced by the test scripts: a display-less Qt, a runtime folder of its own, and a scratch
# home, so that tests never touch the real user's settings, data or backups.
export QT_QPA_PLATFORM=offscreen
export QTEST_FUNCTION_TIMEOUT=${QTEST_FUNCTION_TIMEOUT:-60000}
XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
export XDG_RUNTIME_DIR
FW_TEST_HOME=$(mktemp -d)
export HOME="$FW_TEST_HOME" XDG_CONFIG_HOME="$FW_TEST_HOME/.config" XDG_DATA_HOME="$FW_TEST_HOME/.local/share"
