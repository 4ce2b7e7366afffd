#!/usr/bin/env bash
# Builds the Debian package fieldwright_<version>_<architecture>.deb into build/package/ (or
# $BUILD_DIR/package/) from the build folder as scripts/build.sh leaves it, and checks it: lintian
# finds no error, the desktop file and the AppStream metainfo validate clean. Its last line is the
# package's path.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh package
scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
out="$BUILD_DIR/package"

# Each release has its changelog entry and its AppStream release, both of the project's version.
version=$(sed -n 's/^project(Fieldwright VERSION \([^ ]*\) .*/\1/p' CMakeLists.txt)
metainfo=app/resources/com.vantorel.fieldwright.metainfo.xml
if [ "$(dpkg-parsechangelog -l packaging/changelog -S Version)" != "$version" ]; then
  echo "packaging/changelog: the newest entry is not of version $version" >&2
  exit 1
fi
if ! grep -q "<release version=\"$version\"" "$metainfo"; then
  echo "$metainfo: no release of version $version" >&2
  exit 1
fi
desktop-file-validate app/resources/fieldwright.desktop
appstreamcli validate --no-net "$metainfo"

rm -rf "$out"
cpack --config "$BUILD_DIR/CPackConfig.cmake" -B "$out"
rm -rf "$out/_CPack_Packages"
deb="$out/fieldwright_${version}_$(dpkg --print-architecture).deb"
# Errors fail the package; warnings and notes are shown.
lintian --fail-on error --tag-display-limit 0 "$deb"
echo "$deb"
