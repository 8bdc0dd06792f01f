#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Tries a built or packaged validate and datasig on the examples, as a user
# would: the signed example passes and its altered copy fails, a missing file
# is reported with status 1, datasig signs the altered copy (LF and CR LF)
# into a file that passes, and explain ends with validate's verdict.
#   tests/try-tools.sh [--crlf] VALIDATE DATASIG [RUNNER ...]
# RUNNER runs programs not built for this machine (wine, or qemu-user);
# --crlf: messages end with CR LF, as on Windows.
set -euo pipefail
cd "$(dirname "$0")/.."

eol=$'\n'
if [ "$1" = --crlf ]; then
  eol=$'\r\n'
  shift
fi
validate=$(realpath "$1")
datasig=$(realpath "$2")
shift 2
runner=("$@")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp examples/calibration.dat examples/calibration-altered.dat "$work"
cd "$work"

# expect WHAT STATUS OUTPUT PROGRAM ARGS...: the program's standard output
# byte for byte, and its exit status.
expect() {
  local what=$1 status=$2 output=$3
  shift 3
  local got=0
  "${runner[@]}" "$@" >out 2>err || got=$?
  if ! printf '%s' "$output" | cmp -s - out || [ "$got" != "$status" ]; then
    printf 'failed: %s (status %s, expected %s); standard output:\n' "$what" "$got" "$status"
    od -c out | head -n 20
    cat err
    exit 1
  fi
}

passed="Validation check passed, data indicated as correct$eol"
failed="Validation check failed${eol}File data may have been altered$eol"
expect "validate on the signed example" 0 "$passed" "$validate" calibration.dat
expect "validate on the altered example" 0 "$failed" "$validate" calibration-altered.dat
expect "validate on a missing file" 1 "${eol}validate: can't open missing.dat$eol$eol$eol" \
  "$validate" missing.dat
"${runner[@]}" "$datasig" sign calibration-altered.dat -o resigned.dat
expect "validate on a file datasig signed" 0 "$passed" "$validate" resigned.dat
# CR LF line ends must reach standard output as they are.
sed 's/$/\r/' calibration-altered.dat >altered-crlf.dat
"${runner[@]}" "$datasig" sign altered-crlf.dat >to-standard-output.dat
expect "validate on a CR LF file datasig signed to standard output" 0 "$passed" \
  "$validate" to-standard-output.dat
"${runner[@]}" "$datasig" explain calibration.dat >explained || true
[ "$(tail -n 1 explained)" = "${passed%$'\n'}" ] || {
  echo "failed: datasig explain does not end with the verdict"
  tail -n 3 explained | od -c
  exit 1
}
echo "validate and datasig work on the examples"
