// SPDX-License-Identifier: MIT
// validate's run, which main.cpp calls.
#pragma once

// Checks the data file named by the last argument, after making sure every
// argument can be opened, and prints the verdict. Returns the exit status:
// 0 after a completed check (passed or failed), 1 when a file cannot be
// opened or read, -1 with no file argument.
int run_validation(int argc, const char* const* argv);
