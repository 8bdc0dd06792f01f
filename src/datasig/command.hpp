// SPDX-License-Identifier: MIT
// datasig's command line, which main.cpp runs.
#pragma once

// The datasig command line: sign or explain a data file, or check many.
// Returns the exit status: 0 done (explain: the file passes; check: every
// file passes), 1 the file fails the check (explain) or a file fails or
// cannot be read (check), 2 a usage or I/O error or a refusal to sign.
int run_datasig(int argc, const char* const* argv);
