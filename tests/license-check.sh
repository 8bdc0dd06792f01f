#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks that the project states its license: LICENSE holds the MIT terms,
# and every source file starts with its SPDX line, "// SPDX-License-Identifier:
# MIT" in C and C++, "# SPDX-License-Identifier: MIT" in shell and CMake
# (after the #! line, if there is one). The source files are the C++ files of
# src/, tests/, fuzz/ and bench/, the C files of tests/, every shell script
# and every CMake file.
#   tests/license-check.sh               check
#   tests/license-check.sh --add         give each file without a line one
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-check}

grep -q '^MIT License$' LICENSE && grep -q '^Copyright (c) [0-9]* validate developers$' LICENSE || {
  echo "license check failed: LICENSE does not hold the MIT license of validate developers"
  exit 1
}

missing=()
files=0
while IFS= read -r -d '' file; do
  [ -f "$file" ] || continue
  files=$((files + 1))
  case "$file" in
  *.c | *.cpp | *.hpp) spdx='// SPDX-License-Identifier: MIT' ;;
  *) spdx='# SPDX-License-Identifier: MIT' ;;
  esac
  at=1
  [[ "$(head -c 2 "$file")" != '#!' ]] || at=2
  [ "$(sed -n "${at}p" "$file")" = "$spdx" ] && continue
  missing+=("$file")
  if [ "$mode" = --add ]; then
    if [ $at = 1 ]; then sed -i "1i $spdx" "$file"; else sed -i "1a $spdx" "$file"; fi
  fi
done < <(git ls-files -z --cached --others --exclude-standard -- \
  'src/*.cpp' 'src/*.hpp' 'tests/*.c' 'tests/*.cpp' 'tests/*.hpp' 'fuzz/*.cpp' 'fuzz/*.hpp' \
  'bench/*.cpp' 'bench/*.hpp' '*.sh' .ci/run '*CMakeLists.txt' '*.cmake')

case "$mode" in
--add) echo "SPDX line added to ${#missing[@]} of $files source files" ;;
check)
  if [ ${#missing[@]} -gt 0 ]; then
    echo "${#missing[@]} of $files source files lack the SPDX line, among them:"
    printf '  %s\n' "${missing[@]:0:5}"
    echo "license check failed (tests/license-check.sh --add gives them one)"
    exit 1
  fi
  echo "LICENSE: MIT; $((files - ${#missing[@]})) of $files source files carry the SPDX line"
  ;;
*) echo "usage: $0 [--add]" >&2; exit 2 ;;
esac
