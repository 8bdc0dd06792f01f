// SPDX-License-Identifier: MIT
// A new file written beside the one it is to replace, then put in its place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

struct NewFile {
    std::filesystem::path name;
    std::intptr_t handle;
};

// Creates a new empty file in target's folder, with a name made from
// target's that no other file has.
bool create_file_beside(const std::filesystem::path& target, NewFile& file);

// Gives file the permissions of model, or those a new file usually gets when
// model is null.
bool copy_permissions(const NewFile& file, const std::filesystem::path* model);

bool write_all(const NewFile& file, const unsigned char* bytes, std::size_t size);

// Makes sure the written bytes are on disk.
bool flush_to_disk(const NewFile& file);

bool close_file(const NewFile& file);

// Puts file where target is, replacing target if it exists; both are in one
// folder.
bool move_into_place(const NewFile& file, const std::filesystem::path& target);

// Makes a rename in folder durable, where the system asks for that. False
// when it could not; a file system that cannot sync a folder at all counts
// as done, since nothing more can be done there.
bool sync_folder(const std::filesystem::path& folder);

void remove_file(const std::filesystem::path& name);

// Why the last call above failed, in the system's words.
std::string last_system_error();
