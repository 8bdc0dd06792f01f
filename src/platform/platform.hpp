// SPDX-License-Identifier: MIT
// What the tools ask of the operating system. Each platform answers in a
// folder of its own (posix/, windows/); everything else is plain standard
// C++. File names are UTF-8 text on every platform.
#pragma once

#include <cstddef>
#include <cstdio>

// The main routine of each tool, called by the platform's entry point with
// the arguments as UTF-8 text. Returns the exit status.
int program_main(int argc, const char* const* argv);

// Opens a file for reading as binary; null on failure, with errno set
// (EISDIR where the system refuses to open a directory).
std::FILE* open_file_for_reading(const char* name);

// 0 when file is not a directory, else why it is no file to read: EISDIR, or
// why the system could not tell.
int directory_error(std::FILE* file);

// Writes UTF-8 text to stream: on a Windows console as the characters it
// encodes, everywhere else as its bytes.
void write_text(const char* text, std::FILE* stream);

// True when stream writes to a terminal (a console on Windows), where a
// person may be watching.
bool is_terminal(std::FILE* stream);

// From now on stream writes bytes as they are, without turning LF into the
// platform's line end.
void use_binary_output(std::FILE* stream);

// From now on stream reads bytes as they are, without turning the
// platform's line end into LF. Called before the first read.
void use_binary_input(std::FILE* stream);

// Reads into buffer what file has at hand, at least one byte, waiting only
// while it has none: unlike fread, which from a pipe waits until the buffer
// is full. The count read, 0 at the end of the file, -1 on a read error
// (errno tells which). It reads beneath the stream's buffer, so the stream
// must not have been read through.
std::ptrdiff_t read_available(std::FILE* file, unsigned char* buffer, std::size_t capacity);
