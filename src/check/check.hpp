// SPDX-License-Identifier: MIT
// The check of a data file: its signature lines, derived from the digest of
// its content and a key made of its key line and a built-in constant.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/blowfish.hpp"
#include "crypto/sha512.hpp"

// A signature line: "G" and 64 uppercase hexadecimal digits, then CR LF and NUL.
inline constexpr std::size_t kSignatureLineSize = 84;

// What the check compares of a signature line: "G" and the 64 digits. A
// slot's line end and anything after those never take part.
inline constexpr std::size_t kComparedLength = 65;

// The key prefix: the last key line read, cut to 51 characters.
inline constexpr std::size_t kKeyPrefixSize = 52;

// A key line as read: a piece of at most 79 characters and a NUL.
inline constexpr std::size_t kKeyLineSize = 80;

// The key prefix followed by four copies of the key constant; the buffer
// signed files were made with, kept at its size.
inline constexpr std::size_t kKeyTextSize = 516;

inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// The verdict, as validate prints it.
inline constexpr char kPassedVerdict[] = "Validation check passed, data indicated as correct\n";
inline constexpr char kFailedVerdict[] = "Validation check failed\nFile data may have been altered\n";

// The signature lines as read, with their line ends. The first, third ...
// land in first, the second, fourth ... in second.
struct SignatureSlots {
    char first[kSignatureLineSize];
    char second[kSignatureLineSize];
    bool next_is_second;
};

// The key schedule of the last key text a context used. Files checked one
// after another mostly share their key line, and the schedule costs more
// than the digest of a small file.
struct KeySchedule {
    char key_text[kKeyTextSize];
    std::size_t key_length; // 0 until the first: a key text holds the constant at least
    CipherContext cipher;
};

// Everything one check needs, from its start to its verdict. A context
// checks one file at a time; threads each use their own.
struct CheckContext {
    DigestContext digest_context;
    unsigned char digest[kDigestSize]; // written by check_finish
    // NUL-terminated; empty until a key line is read.
    char key_prefix[kKeyPrefixSize];
    SignatureSlots slots;
    // What the reader saw, for those who explain a file.
    std::uint64_t digested_pieces;
    std::uint64_t ignored_pieces;
    std::uint64_t signature_pieces;
    std::uint64_t key_lines;
    std::uint64_t lines_ended; // LFs read: the line of the next piece is one more
    std::uint64_t next_column; // of the next piece in its line, from 1
    std::uint64_t key_line_number; // of the key line in effect; 0 without one
    char key_line[kKeyLineSize];   // its text as digested
    std::uint64_t found_line[2];   // where each slot was filled from; 0 when empty
    // Outlives check_start: it depends only on the key text.
    KeySchedule key_schedule;
};

// Starts a check: the digest reset, the key prefix, the slots and the
// counts empty. The key schedule is kept.
void check_start(CheckContext& context);

// Digests length bytes of text.
void check_absorb(CheckContext& context, const char* text, std::size_t length);

// Writes the digest of everything absorbed into context.digest.
void check_finish(CheckContext& context);

// The two signature lines the digest requires under the context's key
// prefix; each buffer takes kSignatureLineSize bytes.
void check_expected_lines(CheckContext& context, char* first_line, char* second_line);

// Whether first_slot and second_slot begin with the signature lines the
// finished digest requires. Prints nothing.
bool check_slots_match(CheckContext& context, const char* first_slot, const char* second_slot);

// check_slots_match on the context's own slots.
bool check_passes(CheckContext& context);

// Sets the key prefix to the first length characters of text, cut to the 51
// it has room for.
void set_key_prefix(CheckContext& context, const char* text, std::size_t length);

// Derives the two signature lines a file whose content has this digest must
// carry, under the context's key prefix. n is the digest's size (64; at
// most 64 bytes are read). With n below 4 neither output is written.
void make_signature_lines(CheckContext& context, const unsigned char* digest, std::size_t n,
                          char* first_line, char* second_line);

// Sets up the key schedules that the contexts' key prefixes need and their
// caches lack, several side by side, which takes less time than one after
// another; make_signature_lines then finds them ready.
void prepare_key_schedules(CheckContext* const* contexts, std::size_t count);

// The value of the first 8 characters of text read as uppercase hexadecimal.
std::uint32_t hex8_to_word(const char* text);

// ---- validate's run

// The operations of a check, in the order a run calls them: reset once,
// absorb every content piece, finish once, verify once.
enum CheckOp : unsigned {
    CHECK_RESET = 0,
    CHECK_ABSORB = 1,
    CHECK_FINISH = 2,
    CHECK_VERIFY = 3,
};

// The context of validate's run, which check_step works on. It lives for
// the whole run; the reader fills it.
CheckContext& run_check_context();

// CHECK_ABSORB digests text up to its first NUL. CHECK_VERIFY compares the
// first kComparedLength characters of each slot with the expected signature
// line and prints the verdict; it returns 0 on a mismatch. Every other call
// returns 1; an unknown op does nothing.
int check_step(const char* text, CheckOp op, const char* first_slot, const char* second_slot);
