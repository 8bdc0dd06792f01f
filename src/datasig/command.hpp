#pragma once

// The datasig command line: sign or explain a data file. Returns the exit
// status: 0 done (explain: the file passes), 1 the file fails the check
// (explain only), 2 a usage or I/O error or a refusal to sign.
int run_datasig(int argc, const char* const* argv);
