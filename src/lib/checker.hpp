// SPDX-License-Identifier: MIT
// What the library's calls share: the checker behind validate_checker, and
// the findings of a check given to the caller, as a validate_result (1.1)
// or a validate_findings (1.2).
#pragma once

#include <cstddef>

#include "core/batch.hpp"
#include "core/findings.hpp"
#include "validate.h"

// A checker checks one input at a time with the first context, and up to
// kFilesTogether files with all of them. Each keeps the key schedule of its
// last file. Its warnings are collected for the input it is given in
// chunks, as many as a validate_findings holds.
struct validate_checker {
    BatchChecker batch;
};

// The findings of a file checked, or the error that kept it from being
// checked, for the caller.
void give_result(const FileOutcome& outcome, validate_status error, validate_result* result);
// False, with nothing written, when findings is null or its size too small.
bool findings_size_allowed(const validate_findings* findings);
void give_findings(const FileOutcome& outcome, validate_status error, validate_findings* findings);

// The status of a file's outcome: its error, or for a file checked, the
// verdict (1.1) or VALIDATE_OK (1.2).
validate_status error_of(const FileOutcome& outcome);
validate_status verdict_status(const Findings& findings);

// Starts the checker's next input given in chunks.
void restart(validate_checker& checker);

// The room the C struct has for the warnings of this header.
inline constexpr std::size_t kWarningsKept = VALIDATE_FINDINGS_WARNINGS;
