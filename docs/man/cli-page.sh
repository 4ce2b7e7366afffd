#!/usr/bin/env bash
# Writes the manual page fieldwright-cli(1) from the program's own help, so that it names every
# command and option the program has: help2man reads "fieldwright-cli --help", each command's
# "--help" becomes a part of the section COMMANDS, and fieldwright-cli.h2m adds the rest.
#     cli-page.sh PATH/TO/fieldwright-cli OUTPUT.1
set -euo pipefail
cli=$1
out=$2
here=$(cd "$(dirname "$0")" && pwd)
include=$(mktemp)
trap 'rm -f "$include"' EXIT

# roff takes a backslash, and a line that starts with a dot or a quote, as its own.
roff_text() {
  sed -e 's/\\/\\e/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"
}

{
  echo '[COMMANDS]'
  "$cli" --help | sed -n 's/^  \([a-z][a-z-]*\)  .*/\1/p' | while read -r command; do
    echo ".SS $command"
    echo '.nf'
    "$cli" "$command" --help | roff_text
    echo '.fi'
  done
} > "$include"

help2man --no-info --section=1 --source=Fieldwright --manual="User Commands" \
  --include="$include" --include="$here/fieldwright-cli.h2m" --output="$out" "$cli"
