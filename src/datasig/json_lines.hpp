// SPDX-License-Identifier: MIT
// The JSON Lines of datasig check --json and explain --json: an object for
// each file, made from its findings or from why it could not be checked.
#pragma once

#include <string>

#include "core/findings.hpp"

// The number in each object's "schema" field: it grows when a field changes
// its meaning or goes; a field may be added without it.
inline constexpr int kJsonSchema = 1;

// The line of a file that was checked: its object and an LF.
std::string json_line(const std::string& name, const Findings& findings);

// The line of a file that could not be checked: error_name says at what
// ("open", "read", "skipped"), message why.
std::string json_error_line(const std::string& name, const char* error_name,
                            const std::string& message);
