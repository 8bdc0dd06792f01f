#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# datasig's shell completions, as each shell loads them: bash's (the
# commands, the options, the names of files) word by word; fish's through
# its own completer, and zsh's read through, where those shells are
# installed (scripts/prerequisites.sh test installs them).
#   tests/completion-check.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
touch data.dat list.txt

failed=0
expect() {
  [ "$1" = "$2" ] || {
    printf 'completion check failed: %s\n  got:      %s\n  expected: %s\n' "$3" "$1" "$2"
    failed=1
  }
}

# offers WORD...: what bash offers for the last word, on one line.
# shellcheck source=../completion/datasig.bash
source "$root/completion/datasig.bash"
checked=bash
offers() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  _datasig
  echo "${COMPREPLY[*]}"
}
expect "$(offers datasig ch)" "check" "bash: datasig ch"
expect "$(offers datasig check --j)" "--jobs --json" "bash: datasig check --j"
expect "$(offers datasig check --jo)" "--jobs" "bash: datasig check --jo"
expect "$(offers datasig check --files-from = li)" "list.txt" "bash: datasig check --files-from=li"
expect "$(offers datasig sign -o da)" "data.dat" "bash: datasig sign -o da"
expect "$(offers datasig explain -- --)" "" "bash: datasig explain -- --"

if command -v fish >/dev/null; then
  fish_offers() {
    fish --no-config -c "source '$root/completion/datasig.fish'; complete -C '$1'" | cut -f 1 | xargs
  }
  expect "$(fish_offers 'datasig ch')" "check" "fish: datasig ch"
  expect "$(fish_offers 'datasig check --jo')" "--jobs" "fish: datasig check --jo"
  expect "$(fish_offers 'datasig check --files-from li')" "list.txt" "fish: datasig check --files-from li"
  checked+=", fish"
else
  echo "completion check: no fish, its completion left unchecked"
fi
if command -v zsh >/dev/null; then
  zsh -n "$root/completion/_datasig" || { echo "completion check failed: zsh cannot read _datasig"; failed=1; }
  checked+=", zsh"
else
  echo "completion check: no zsh, its completion left unchecked"
fi

[ $failed = 0 ] || exit 1
echo "completion check: datasig's completions as expected ($checked)"
