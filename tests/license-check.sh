#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks that the project states its license: LICENSE holds the MIT terms,
# and every source file starts with its SPDX line:
#   // SPDX-License-Identifier: MIT        in C++ and JavaScript,
#   /* SPDX-License-Identifier: MIT */     in C and CSS,
#   <!-- SPDX-License-Identifier: MIT -->  in HTML,
#   # SPDX-License-Identifier: MIT         in shell, CMake and Python (after
#                                          the #! line, if there is one, or
#                                          zsh's #compdef line).
# The source files are the C++ files of src/, tests/, fuzz/ and bench/, every
# C file (the library's header and its examples), every shell script and
# every CMake file, the Python package's files (python/) and scripts, the
# files of web/, the JavaScript of tests/ and the shell completions.
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
  *.cpp | *.hpp | *.js | *.mjs) spdx='// SPDX-License-Identifier: MIT' ;;
  *.c | *.h | *.css) spdx='/* SPDX-License-Identifier: MIT */' ;;
  *.html) spdx='<!-- SPDX-License-Identifier: MIT -->' ;;
  *) spdx='# SPDX-License-Identifier: MIT' ;;
  esac
  at=1
  case "$(head -n 1 "$file")" in '#!'* | '#compdef '*) at=2 ;; esac
  [ "$(sed -n "${at}p" "$file")" = "$spdx" ] && continue
  missing+=("$file")
  if [ "$mode" = --add ]; then
    if [ $at = 1 ]; then sed -i "1i $spdx" "$file"; else sed -i "1a $spdx" "$file"; fi
  fi
done < <(git ls-files -z --cached --others --exclude-standard -- \
  'src/*.cpp' 'src/*.hpp' 'tests/*.cpp' 'tests/*.hpp' 'fuzz/*.cpp' 'fuzz/*.hpp' \
  'bench/*.cpp' 'bench/*.hpp' '*.c' '*.h' '*.sh' .ci/run '*CMakeLists.txt' '*.cmake' \
  '*.py' '*.pyi' 'python/*.cpp' 'python/*.toml' 'python/*py.typed' \
  'web/*.js' 'web/*.html' 'web/*.css' 'tests/*.mjs' 'completion/*')

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
