#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# datasig sign -i, and sign -o over an existing file, killed at every system
# call it makes, one run per call (strace counts each call's invocations
# apart, so a call is named by its name and occurrence, taken from a trace of
# a whole run): after each kill the target holds exactly its old bytes or
# exactly the new ones, and a later run succeeds. Then the calls that write
# the replacement fail with EIO and ENOSPC instead, as the table says.
#   tests/crash-check.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# The calls made to fail, by a pattern of their line in the trace, and what
# a failure must leave: status 2 and the old bytes (no temporary file left),
# or, once the new file is in place and only its folder's sync fails, status
# 2 and the new bytes. WORK stands for the target's folder.
fault_table='
write\([0-9]+<[^>]*\.datasig-   2 old
fsync\([0-9]+<[^>]*\.datasig-   2 old
close\([0-9]+<[^>]*\.datasig-   2 old
rename\(                        2 old
fsync\([0-9]+<WORK>\)           2 new
'

cmake --preset release >/dev/null
cmake --build --preset release --target datasig >/dev/null
datasig=$PWD/build/release/src/datasig/datasig
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp examples/calibration-altered.dat "$work/old"
"$datasig" sign "$work/old" >"$work/new"

failures=0
fail() {
  echo "crash check failed: $*"
  failures=$((failures + 1))
}
# target [OPTION]: the command line that replaces target.
sign_command() {
  if [ "$1" = -i ]; then echo "$datasig sign -i $work/target"; else echo "$datasig sign -o $work/target $work/old"; fi
}
holds() { cmp -s "$work/target" "$work/$1"; }
temporaries() { find "$work" -name '.target.datasig-*' | wc -l; }

runs=0
for mode in -i -o; do
  cp "$work/old" "$work/target"
  # shellcheck disable=SC2046 # the command's words
  strace -f -qq -y -o "$work/trace" $(sign_command "$mode")
  holds new || fail "sign $mode without faults did not give the signed bytes"
  declare -A seen=()
  kills=0
  while read -r call; do
    n=$((${seen[$call]:-0} + 1))
    seen[$call]=$n
    cp "$work/old" "$work/target"
    # shellcheck disable=SC2046
    # In a shell of its own, which says nothing of the kill.
    (strace -f -qq -o /dev/null -e trace="$call" -e inject="$call:signal=SIGKILL:when=$n" \
      $(sign_command "$mode") || true) 2>/dev/null
    holds old || holds new || fail "sign $mode killed at $call #$n: the target holds neither the old nor the new bytes"
    find "$work" -name '.target.datasig-*' -delete
    # shellcheck disable=SC2046
    $(sign_command "$mode") || fail "sign $mode after a kill at $call #$n failed"
    holds new || fail "sign $mode after a kill at $call #$n did not give the signed bytes"
    kills=$((kills + 1))
  done < <(sed -En 's/^[0-9]+ +([a-z0-9_]+)\(.*/\1/p' "$work/trace")
  runs=$((runs + kills))
  echo "sign $mode: killed at each of its $kills system calls, the target always old or new"

  faults=0
  while read -r pattern status expected; do
    [ -n "$pattern" ] || continue
    pattern=${pattern//WORK/$work}
    declare -A count=()
    while IFS= read -r line; do
      call=$(sed -En 's/^[0-9]+ +([a-z0-9_]+)\(.*/\1/p' <<<"$line")
      count[$call]=$((${count[$call]:-0} + 1))
      grep -Eq "^[0-9]+ +$pattern" <<<"$line" || continue
      for error in EIO ENOSPC; do
        cp "$work/old" "$work/target"
        # shellcheck disable=SC2046
        strace -f -qq -o /dev/null -e trace="$call" -e inject="$call:error=$error:when=${count[$call]}" \
          $(sign_command "$mode") 2>"$work/err" && got=0 || got=$?
        [ "$got" = "$status" ] || fail "sign $mode with $call #${count[$call]} failing ($error): status $got, not $status"
        holds "$expected" || fail "sign $mode with $call #${count[$call]} failing ($error): the target does not hold the $expected bytes"
        [ "$(temporaries)" = 0 ] || fail "sign $mode with $call #${count[$call]} failing ($error): a temporary file is left"
        [ -s "$work/err" ] || fail "sign $mode with $call #${count[$call]} failing ($error): nothing said on standard error"
        faults=$((faults + 1))
      done
    done <"$work/trace"
    unset count
  done <<<"$fault_table"
  runs=$((runs + faults))
  echo "sign $mode: $faults failing calls, each with its status and the target as the table says"
  unset seen
done
echo "$runs runs, $failures failed"
[ "$failures" = 0 ]
