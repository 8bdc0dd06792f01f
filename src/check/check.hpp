// The check of a data file: its signature lines, derived from the digest of
// its content and a key made of its key line and a built-in constant.
#pragma once

#include <cstddef>
#include <cstdint>

// The key prefix: the last key line read, cut to 51 characters, NUL-terminated;
// empty until a key line is read. The reader sets it; the signature lines read it.
inline constexpr std::size_t kKeyPrefixSize = 52;
extern char key_prefix[kKeyPrefixSize];

// A signature line: "G" and 64 uppercase hexadecimal digits, then CR LF and NUL.
inline constexpr std::size_t kSignatureLineSize = 84;

// Derives the two signature lines a file whose content has this digest must
// carry, under the current key prefix. n is the digest's size (64; at most 64
// bytes are read). With n below 4 neither output is written.
void make_signature_lines(const unsigned char* digest, std::size_t n, char* first_line,
                          char* second_line);

// The value of the first 8 characters of text read as uppercase hexadecimal.
std::uint32_t hex8_to_word(const char* text);
