// SPDX-License-Identifier: MIT
// The check of a data file: its signature lines, derived from the digest of
// its content and a key made of its key line and a built-in constant.
#pragma once

#include <cstddef>
#include <cstdint>

// The operations of a check, in the order a run calls them: reset once,
// absorb every content piece, finish once, verify once.
enum CheckOp : unsigned {
    CHECK_RESET = 0,
    CHECK_ABSORB = 1,
    CHECK_FINISH = 2,
    CHECK_VERIFY = 3,
};

// CHECK_ABSORB digests text up to its first NUL. CHECK_VERIFY compares the
// first kComparedLength characters of each slot with the expected signature
// line and prints the verdict; it returns 0 on a mismatch. Every other call
// returns 1; an unknown op does nothing.
int check_step(const char* text, CheckOp op, const char* first_slot, const char* second_slot);

// Each step by its name, with " " for the texts it does not use.
inline void check_reset()
{
    check_step(" ", CHECK_RESET, " ", " ");
}
inline void check_absorb(const char* text)
{
    check_step(text, CHECK_ABSORB, " ", " ");
}
inline void check_finish()
{
    check_step(" ", CHECK_FINISH, " ", " ");
}
// Prints the verdict; true when the check passes.
inline bool check_verify(const char* first_slot, const char* second_slot)
{
    return check_step(" ", CHECK_VERIFY, first_slot, second_slot) == 1;
}

// The comparison CHECK_VERIFY makes, without printing: true when both slots
// begin with the signature lines expected for the digest of the last
// CHECK_FINISH under the current key prefix.
bool signature_slots_match(const char* first_slot, const char* second_slot);

// The digest written by the last CHECK_FINISH of this thread (64 bytes).
const unsigned char* check_digest();

// The key prefix: the last key line read, cut to 51 characters, NUL-terminated;
// empty until a key line is read. The reader sets it; the signature lines read it.
// Like the digest state, each thread has its own, so threads can check
// files side by side.
inline constexpr std::size_t kKeyPrefixSize = 52;
extern constinit thread_local char key_prefix[kKeyPrefixSize];

// Sets the key prefix to the first length characters of text (length up to
// its first NUL), cut to the 51 it has room for.
void set_key_prefix(const char* text, std::size_t length);

// A signature line: "G" and 64 uppercase hexadecimal digits, then CR LF and NUL.
inline constexpr std::size_t kSignatureLineSize = 84;

// What the check compares of a signature line: "G" and the 64 digits. A
// slot's line end and anything after those never take part.
inline constexpr std::size_t kComparedLength = 65;

inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// Derives the two signature lines a file whose content has this digest must
// carry, under the current key prefix. n is the digest's size (64; at most 64
// bytes are read). With n below 4 neither output is written.
void make_signature_lines(const unsigned char* digest, std::size_t n, char* first_line,
                          char* second_line);

// The value of the first 8 characters of text read as uppercase hexadecimal.
std::uint32_t hex8_to_word(const char* text);
