// SPDX-License-Identifier: MIT
// Writing JSON text by hand: escaping, UTF-8 checked byte by byte, base64.
#include "datasig/json_writer.hpp"

#include <algorithm>
#include <cstddef>

namespace {

// The sequences that begin with a lead byte: how long they are, and the
// range the byte after the lead must fall in (the others after it are
// 0x80-0xBF), which rules out overlong forms, surrogates (ED A0-BF) and
// code points past U+10FFFF (F4 90 and above).
struct LeadByte {
    unsigned char first;
    unsigned char last;
    unsigned char length;
    unsigned char low;
    unsigned char high;
};

constexpr LeadByte kLeadBytes[] = {
    {0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF}, {0xE1, 0xEC, 3, 0x80, 0xBF},
    {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF}, {0xF0, 0xF0, 4, 0x90, 0xBF},
    {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F},
};

// The length of the well-formed sequence at text[at], or 0 when none begins
// there; then bad is the length of the ill-formed part to replace: the lead
// byte and those after it that could still have begun a sequence.
std::size_t sequence_at(std::string_view text, std::size_t at, std::size_t& bad)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    if (byte(at) < 0x80) {
        return 1;
    }
    bad = 1;
    for (const LeadByte& lead : kLeadBytes) {
        if (byte(at) < lead.first || byte(at) > lead.last) {
            continue;
        }
        std::size_t i = 1;
        while (i < lead.length && at + i < text.size()) {
            const unsigned char low = i == 1 ? lead.low : 0x80;
            const unsigned char high = i == 1 ? lead.high : 0xBF;
            if (byte(at + i) < low || byte(at + i) > high) {
                break;
            }
            ++i;
        }
        if (i == lead.length) {
            return i;
        }
        bad = i;
        return 0;
    }
    return 0;
}

constexpr char kHex[] = "0123456789ABCDEF";

void append_escaped(std::string& out, unsigned char c)
{
    switch (c) {
    case '"':
        out += "\\\"";
        return;
    case '\\':
        out += "\\\\";
        return;
    case '\b':
        out += "\\b";
        return;
    case '\t':
        out += "\\t";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\f':
        out += "\\f";
        return;
    case '\r':
        out += "\\r";
        return;
    default:
        break;
    }
    if (c < 0x20) {
        out += "\\u00";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
    } else {
        out += static_cast<char>(c);
    }
}

} // namespace

bool is_utf8(std::string_view bytes)
{
    std::size_t bad = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = sequence_at(bytes, at, bad);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

void append_json_string(std::string& out, std::string_view text)
{
    out += '"';
    std::size_t bad = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = sequence_at(text, at, bad);
        if (length == 1) {
            append_escaped(out, static_cast<unsigned char>(text[at]));
        } else if (length > 1) {
            out.append(text.substr(at, length));
        } else {
            out += "\xEF\xBF\xBD";
        }
        at += length != 0 ? length : bad;
    }
    out += '"';
}

std::string base64(std::string_view bytes)
{
    constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        const std::size_t n = std::min<std::size_t>(bytes.size() - at, 3);
        std::uint32_t group = 0;
        for (std::size_t i = 0; i < 3; ++i) {
            group <<= 8;
            if (i < n) {
                group |= static_cast<unsigned char>(bytes[at + i]);
            }
        }
        for (std::size_t i = 0; i < 4; ++i) {
            text += i <= n ? kAlphabet[(group >> (18 - 6 * i)) & 0x3F] : '=';
        }
    }
    return text;
}

void add_key(std::string& out, const char* key)
{
    if (!out.empty() && out.back() != '{') {
        out += ',';
    }
    append_json_string(out, key);
    out += ':';
}

void add_number(std::string& out, const char* key, std::uint64_t number)
{
    add_key(out, key);
    out += std::to_string(number);
}

void add_bool(std::string& out, const char* key, bool value)
{
    add_key(out, key);
    out += value ? "true" : "false";
}

void add_null(std::string& out, const char* key)
{
    add_key(out, key);
    out += "null";
}

void add_string(std::string& out, const char* key, std::string_view text)
{
    add_key(out, key);
    append_json_string(out, text);
}

void add_bytes(std::string& out, const char* key, std::string_view bytes)
{
    add_string(out, key, bytes);
    if (!is_utf8(bytes)) {
        add_string(out, (std::string(key) + "_base64").c_str(), base64(bytes));
    }
}
