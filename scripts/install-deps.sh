#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need.
# Runs apt-get only when something is missing. `install-deps.sh fuzz` adds the
# fuzzing toolchain (clang with libFuzzer) that scripts/fuzz-reader.sh needs;
# `install-deps.sh clang` adds clang alone, for scripts/build-clang.sh;
# `install-deps.sh package` adds what scripts/package.sh and scripts/test-package.sh need to
# build, check and try the Debian package.
set -euo pipefail

packages=(
  cmake g++ ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libsqlite3-dev pxlib-dev libicu-dev libssl-dev
  xvfb xauth xdotool imagemagick fonts-liberation2
  strace
)
case "${1:-}" in
  fuzz) packages+=(clang libclang-rt-14-dev) ;;
  clang) packages+=(clang) ;;
  package) packages+=(dpkg-dev file lintian help2man desktop-file-utils appstream man-db bash-completion procps) ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update
  # Without --no-install-recommends GTK comes in and Qt may switch to GTK's dialogs.
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
