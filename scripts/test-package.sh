#!/usr/bin/env bash
# Builds the Debian package (scripts/package.sh) and tries it as a Debian user would: installs it
# with apt-get, then, as a user who is not root, asks the version, cleans a copy of the sample
# tables (its backup and work database in that user's folder), starts the window on them under
# Xvfb, reads both manual pages and completes a command line; then removes the package and checks
# that nothing of it is left. Needs root: it installs the package and adds the user
# fieldwright-test, whom it removes again at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/package.sh
BUILD_DIR=${BUILD_DIR:-build}
debs=("$BUILD_DIR"/package/fieldwright_*.deb)
deb=$(realpath "${debs[0]}")
user=fieldwright-test
home=/home/$user

fail() {
  echo "test-package: $*" >&2
  exit 1
}
# As the user, in a login-like environment of its own (none of root's variables).
as_user() {
  runuser -u "$user" -- env -i -C "$home" HOME="$home" USER="$user" LOGNAME="$user" PATH=/usr/bin:/bin \
    LANG=C.UTF-8 XDG_RUNTIME_DIR="$home/runtime" "$@"
}
remove_user() {
  if id "$user" > /dev/null 2>&1; then userdel -r "$user" 2> /dev/null || true; fi
}
is_installed() {
  dpkg-query -W -f='${Status}' fieldwright 2> /dev/null | grep -q "install ok installed"
}
# A failed try leaves neither the package nor the user behind.
trap 'remove_user; if is_installed; then apt-get purge -y -q fieldwright > /dev/null; fi' EXIT

export DEBIAN_FRONTEND=noninteractive
if is_installed; then apt-get purge -y fieldwright; fi
apt-get install -y --no-install-recommends "$deb"
[ -x /usr/bin/fieldwright ] && [ -x /usr/bin/fieldwright-cli ] || fail "the programs are not in /usr/bin"
installed_files=$(find /usr/share/fieldwright | sort)

remove_user
useradd --create-home --shell /bin/bash "$user"
as_user mkdir -m 700 "$home/runtime"

echo "== fieldwright-cli --version"
version=$(as_user fieldwright-cli --version)
echo "$version"
[ "$version" = "fieldwright-cli $(dpkg-query -W -f='${Version}' fieldwright)" ] || fail "wrong version: $version"

echo "== fieldwright-cli clean, on a copy of the sample tables"
as_user cp -r /usr/share/fieldwright/Samples "$home/samples"
clean=$(as_user fieldwright-cli clean "$home/samples" ORDERS ShipVia 2 --answer _ 2>&1)
echo "$clean"
grep -qx "Done." <<< "$clean" || fail "the run did not end \"Done.\""
data="$home/.local/share/Vantorel/Fieldwright"
compgen -G "$data/backups/*-ORDERS/backup.json" > /dev/null || fail "no backup in $data/backups"
[ -f "$data/dbTemp.mdb" ] || fail "the work database is not in $data"
[ "$(find /usr/share/fieldwright | sort)" = "$installed_files" ] || fail "the run wrote into /usr/share/fieldwright"

echo "== fieldwright, on the samples under Xvfb"
# Traced, to see that it reads its pointer where the package put it.
# shellcheck disable=SC2016 # expanded by the user's shell
as_user xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  strace -f -e trace=openat -o "$HOME/opened" fieldwright --first-folder "$HOME/samples" &
  tracer=$!
  window=$(timeout 20 xdotool search --sync --onlyvisible --name "^Fieldwright$" | head -1)
  sleep 2
  program=$(pgrep -P $tracer)
  [ -n "$program" ] || { echo "fieldwright ended by itself" >&2; exit 1; }
  kill "$program"
  wait $tracer 2> /dev/null || true
  [ -n "$window" ] || { echo "fieldwright showed no window" >&2; exit 1; }
  grep -q "\"/usr/share/fieldwright/HAND-M.CUR\", O_RDONLY" "$HOME/opened" ||
    { echo "fieldwright did not read /usr/share/fieldwright/HAND-M.CUR" >&2; exit 1; }
  echo "fieldwright showed its window $window, with its pointer from /usr/share/fieldwright"'

echo "== manual pages"
for page in fieldwright fieldwright-cli; do
  text=$(MANWIDTH=80 man -l "/usr/share/man/man1/$page.1.gz" 2> /dev/null)
  grep -q "^NAME" <<< "$text" || fail "man -l does not render $page(1)"
  echo "$page(1): $(wc -l <<< "$text") lines"
done
commands=$(fieldwright-cli --help | sed -n 's/^  \([a-z][a-z-]*\)  .*/\1/p')
cli_page=$(MANWIDTH=200 man -l /usr/share/man/man1/fieldwright-cli.1.gz 2> /dev/null)
for command in $commands; do
  grep -q "^   $command$" <<< "$cli_page" || fail "fieldwright-cli(1) does not describe $command"
done
grep -q "^EXIT STATUS" <<< "$cli_page" || fail "fieldwright-cli(1) gives no exit status"

echo "== completion"
# Read by root: the user may not reach the working tree.
as_user bash -s -- "$home/samples" < packaging/test-completion.sh

echo "== removal"
apt-get purge -y fieldwright
! is_installed || fail "the package is still installed"
for path in /usr/bin/fieldwright /usr/bin/fieldwright-cli /usr/share/fieldwright \
  /usr/share/applications/fieldwright.desktop /usr/share/bash-completion/completions/fieldwright-cli; do
  [ ! -e "$path" ] || fail "$path is left after the package was removed"
done
echo "The package installs, works for a user who is not root, and removes cleanly."
