// SPDX-License-Identifier: MIT
// File names as paths, reading a whole file, and replacing a file so that a
// failure at any point leaves the old one as it was.
#pragma once

#include <filesystem>
#include <string>

#include "core/data_file.hpp"

// File names are UTF-8 text; a path converts them for the system.
std::filesystem::path path_of(const std::string& name);
std::string name_of(const std::filesystem::path& path);

// False with a reason in error when the file cannot be opened or read. "-"
// is standard input, read as bytes.
bool read_whole_file(const std::string& name, Bytes& bytes, std::string& error);

// Writes bytes to a new file in target's folder, flushes it to disk and
// renames it over target (following a symbolic link to the file it names).
// The new file keeps the old one's permissions, or gets the usual ones for a
// new file. On any failure the temporary file is removed, target is left as
// it was, and error tells which step failed. When the file is in place but
// its folder could not be synced, it returns true with not_durable telling so.
bool replace_file(const std::string& target, const Bytes& bytes, std::string& error,
                  std::string& not_durable);
