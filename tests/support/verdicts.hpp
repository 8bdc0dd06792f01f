// SPDX-License-Identifier: MIT
// validate's verdicts, written out here rather than taken from the code on
// purpose: scripts match these texts, so any change to them must fail a test.
#pragma once

#include <string>

namespace test_support {

inline const std::string kPassed = "Validation check passed, data indicated as correct\n";
inline const std::string kFailed = "Validation check failed\nFile data may have been altered\n";

} // namespace test_support
