#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Writes COUNT signed data files of 4 KiB into FOLDER with make_data_file,
# each with content of its own; with keys, each with a key line of its own
# too, so that each costs a key schedule. The list of their SHA-512 sums, for
# sha512sum -c, is written last, beside the folder as FOLDER.sha512: once it
# is there the files are complete, and a later call leaves them as they are.
#   bench/make_many.sh MAKE_DATA_FILE FOLDER COUNT [keys]
set -euo pipefail
make_data_file=$1 folder=$2 count=$3 keys=${4:-}
[ -f "$folder.sha512" ] && exit 0
rm -rf "$folder"
mkdir -p "$folder"
echo "writing $count signed files of 4 KiB to $folder"
key=()
for ((i = 0; i < count; ++i)); do
  [ "$keys" != keys ] || key=("FILE $i")
  "$make_data_file" 4K "$(printf '%s/f%05d.dat' "$folder" "$i")" lf "$i" "${key[@]}"
done
(cd "$folder/.." && sha512sum -- "$(basename "$folder")"/*.dat) >"$folder.sha512.new"
mv "$folder.sha512.new" "$folder.sha512"
