#!/usr/bin/env bash
# Tries the installed bash completion of fieldwright-cli as bash would use it on <TAB>:
#     test-completion.sh FOLDER        (FOLDER: a writable copy of the sample tables)
set -o pipefail # bash-completion is not written for -e and -u
folder=$1
# shellcheck disable=SC1091 # installed by bash-completion
. /usr/share/bash-completion/bash_completion
# As on the first <TAB> after the program's name: the completion is loaded from its file.
_completion_loader fieldwright-cli
complete -p fieldwright-cli

failures=0
# complete WORD... : what <TAB> offers after the words (the last one is the word being typed).
complete_line() {
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="${COMP_WORDS[*]}"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  local function
  function=$(complete -p fieldwright-cli | sed -n 's/.*-F \([^ ]*\) .*/\1/p')
  "$function" fieldwright-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort
}
expect() {
  local what=$1 expected=$2
  shift 2
  local offered
  offered=$(complete_line "$@" | tr '\n' ' ')
  if [[ " $offered" != *" $expected "* ]]; then
    echo "FAIL $what: <TAB> after \"$*\" offers: $offered" >&2
    failures=$((failures + 1))
  else
    echo "ok   $what: $offered"
  fi
}

commands=$(fieldwright-cli --help | sed -n 's/^  \([a-z][a-z-]*\)  .*/\1/p' | sort | xargs)
expect "the commands" "$commands" fieldwright-cli ""
expect "a command's options" "--answer" fieldwright-cli clean --a
expect "the tables of the folder" "CUSTOMER ORDERS PRODUCTS" fieldwright-cli clean "$folder" ""
expect "the fields of the table" "ShipVia" fieldwright-cli values "$folder" ORDERS Sh
expect "the operation numbers" "36 37" fieldwright-cli clean "$folder" ORDERS ShipVia 3
expect "an option's values" "count value" fieldwright-cli values "$folder" ORDERS ShipVia --sort ""
expect "the arguments after an option's value" "ShipVia" \
  fieldwright-cli merge "$folder" ORDERS --into x Sh
[ "$failures" -eq 0 ]
