#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds a release twice, from two copies of the sources in folders of
# different names and depths, without SOURCE_DATE_EPOCH (each build takes
# the last commit's time by itself), and requires byte-identical executables
# and packages; prints the SHA-256 of each. The copies hold the files a commit
# would hold, as they are now.
# For wasm, the package's module and the npm tarball.
#   tests/reproducible-check.sh [release|windows|aarch64|wasm]   (release: amd64)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-release}
case "$preset" in
release | aarch64)
  artefacts=(src/validate src/datasig/datasig 'validate_*.deb' 'libvalidate1_*.deb' 'libvalidate-dev_*.deb')
  generator=DEB
  ;;
windows) artefacts=(src/validate.exe src/datasig/datasig.exe src/lib/validate.dll 'validate-*.zip') generator=ZIP ;;
wasm) artefacts=(js-build/validate_js.wasm 'validate-datasig-*.tgz') generator=npm ;;
*) echo "usage: $0 [release|windows|aarch64|wasm]" >&2; exit 2 ;;
esac
unset SOURCE_DATE_EPOCH
git_dir=$(git rev-parse --absolute-git-dir)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
copies=("$work/one/validate" "$work/elsewhere/further/down/validate-again")
for copy in "${copies[@]}"; do
  mkdir -p "$copy"
  git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' file; do [ ! -f "$file" ] || printf '%s\0' "$file"; done |
    tar -c --null -T - | tar -x -C "$copy"
  printf 'gitdir: %s\n' "$git_dir" >"$copy/.git"
  (
    cd "$copy"
    cmake --preset "$preset" -DVALIDATE_BUILD_TESTS=OFF
    cmake --build --preset "$preset"
    cd "build/$preset"
    if [ "$generator" = npm ]; then
      chmod -R u=rwX,go=rX js
      (cd js && npm pack --silent --pack-destination ..)
    else
      cpack -G "$generator"
    fi
  ) >"$work/log" 2>&1 || {
    tail -n 40 "$work/log"
    exit 1
  }
done

for artefact in "${artefacts[@]}"; do
  # shellcheck disable=SC2086 # the package's name is a pattern
  first=$(echo "${copies[0]}/build/$preset/"$artefact)
  second=${copies[1]}/build/$preset/${first#"${copies[0]}/build/$preset/"}
  cmp "$first" "$second" || {
    echo "reproducibility check failed: two builds give different $(basename "$first")"
    exit 1
  }
  (cd "$(dirname "$first")" && sha256sum "$(basename "$first")")
done
echo "$preset: both builds give the same bytes"
