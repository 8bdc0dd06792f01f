// SPDX-License-Identifier: MIT
// Explaining: the report of what validate's check sees in a data file, and
// of what in it the signature does not protect.
#pragma once

#include <string>

#include "core/data_file.hpp"
#include "core/findings.hpp"

// Checks the file with the shared reader and check, its warnings collected.
Findings explain_bytes(const Bytes& file);

// The report, without the verdict that follows it (kPassedVerdict or
// kFailedVerdict, as passed(findings) says).
std::string format_explanation(const Findings& findings, const std::string& name);
