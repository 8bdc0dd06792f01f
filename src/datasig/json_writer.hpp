// SPDX-License-Identifier: MIT
// Writing JSON text by hand: strings escaped as RFC 8259 asks, bytes that
// are not UTF-8 shown with U+FFFD and kept whole in base64, and the fields
// of an object.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Whether bytes are well-formed UTF-8: no overlong form, no surrogate,
// nothing past U+10FFFF, no sequence cut short.
bool is_utf8(std::string_view bytes);

// Appends text as a JSON string, its quotes included: " and \ escaped, each
// control character U+0000-U+001F as \b, \t, \n, \f, \r or \u00XX (DEL and
// the rest as they are), and each maximal part of an ill-formed UTF-8
// sequence replaced by one U+FFFD, as Unicode recommends (and as Python's
// decode(errors="replace") does). The result is always valid UTF-8.
void append_json_string(std::string& out, std::string_view text);

// The bytes in base64 (RFC 4648, the standard alphabet, with padding).
std::string base64(std::string_view bytes);

// The fields of an object being written into out, which ends in its '{' or
// in the field before: each adds its comma where one is due.
void add_key(std::string& out, const char* key);
void add_number(std::string& out, const char* key, std::uint64_t number);
void add_bool(std::string& out, const char* key, bool value);
void add_null(std::string& out, const char* key);
void add_string(std::string& out, const char* key, std::string_view text);
// Bytes read from a file or a system (a name, a line): the field key holds
// them as a string; when they are not UTF-8, that string is for showing
// only, and key_base64 follows with the bytes exactly.
void add_bytes(std::string& out, const char* key, std::string_view bytes);
