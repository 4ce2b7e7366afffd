#!/usr/bin/env bash
# Installs what is missing, builds and starts the program on its sample database.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
# On the first start (no folder remembered yet) the program opens on the sample database;
# after that it opens where the user left it.
exec build/fieldwright --first-folder "$PWD/build/Samples" "$@"
