// SPDX-License-Identifier: MIT
// The two signature lines a digest requires: the key text, its schedules
// (one at a time or several side by side), and the pairing of digest words.
#include <algorithm>
#include <cstring>

#include "check/check.hpp"
#include "crypto/blowfish.hpp"
#include "crypto/sha512.hpp"

void set_key_prefix(CheckContext& context, const char* text, std::size_t length)
{
    length = std::min(length, kKeyPrefixSize - 1);
    std::memcpy(context.key_prefix, text, length);
    context.key_prefix[length] = '\0';
}

namespace {

constexpr char kKeyConstant[] =
    "KQM352KQM352KQM352KQM352KQM352KQM352KQM352KQM352KQM352KQM352KQM352KQM352";
constexpr std::size_t kKeyConstantLength = sizeof kKeyConstant - 1;
// The buffers signed files were made with, kept at their sizes: the key text
// (kKeyTextSize) needs at most 51 + 4 * 72 + 1 = 340 bytes and a line
// 1 + 8 * 8 + 2 + 1 = 68, the scratch only 18 (two words of digits and their
// NULs) and a word's text 9.
constexpr std::size_t kLineSize = 100;
constexpr std::size_t kHexScratchSize = 200;
constexpr std::size_t kWordTextSize = 12;

// The key prefix followed by four copies of the key constant.
std::size_t make_key_text(const char* key_prefix, char (&key_text)[kKeyTextSize])
{
    const char* prefix_end = std::find(key_prefix, key_prefix + kKeyPrefixSize - 1, '\0');
    std::size_t length = static_cast<std::size_t>(prefix_end - key_prefix);
    std::memcpy(key_text, key_prefix, length);
    for (int copy = 0; copy < 4; ++copy, length += kKeyConstantLength) {
        std::memcpy(key_text + length, kKeyConstant, kKeyConstantLength);
    }
    key_text[length] = '\0';
    return length;
}

// Eight uppercase hexadecimal digits and a NUL.
void format_hex8(std::uint32_t word, char* out)
{
    for (int k = 0; k < 8; ++k) {
        out[k] = kHexDigits[(word >> (28 - 4 * k)) & 0xF];
    }
    out[8] = '\0';
}

std::uint32_t load_be32(const unsigned char* p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 |
           std::uint32_t{p[3]};
}

// Records key_text as the schedule's; true when its cipher must be set up
// for it, false when it already is.
bool takes_new_key(KeySchedule& schedule, const char* key_text, std::size_t key_length)
{
    if (schedule.key_length == key_length && std::memcmp(schedule.key_text, key_text, key_length) == 0) {
        return false;
    }
    std::memcpy(schedule.key_text, key_text, key_length);
    schedule.key_length = key_length;
    return true;
}

const CipherContext& key_schedule(KeySchedule& last, const char* key_text, std::size_t key_length)
{
    if (takes_new_key(last, key_text, key_length)) {
        cipher_setup(last.cipher, reinterpret_cast<const unsigned char*>(key_text),
                     static_cast<int>(key_length));
    }
    return last.cipher;
}

} // namespace

void prepare_key_schedules(CheckContext* const* contexts, std::size_t count)
{
    constexpr std::size_t kTogether = kCipherSetupsTogether;
    CipherContext* ciphers[kTogether];
    const unsigned char* keys[kTogether];
    int key_lengths[kTogether];
    int waiting = 0;
    for (std::size_t i = 0; i < count; ++i) {
        KeySchedule& schedule = contexts[i]->key_schedule;
        char key_text[kKeyTextSize];
        const std::size_t key_length = make_key_text(contexts[i]->key_prefix, key_text);
        if (!takes_new_key(schedule, key_text, key_length)) {
            continue;
        }
        ciphers[waiting] = &schedule.cipher;
        keys[waiting] = reinterpret_cast<const unsigned char*>(schedule.key_text);
        key_lengths[waiting] = static_cast<int>(key_length);
        if (++waiting == kTogether) {
            cipher_setup_together(ciphers, keys, key_lengths, waiting);
            waiting = 0;
        }
    }
    if (waiting > 0) {
        cipher_setup_together(ciphers, keys, key_lengths, waiting);
    }
}

std::uint32_t hex8_to_word(const char* text)
{
    std::uint32_t value = 0;
    // Any character below '<' counts as a decimal digit, any other as a
    // letter: 'a' to 'f' are no hexadecimal digits here.
    for (int k = 0; k < 8; ++k) {
        const unsigned c = static_cast<unsigned char>(text[k]);
        value = value * 16 + (c < '<' ? c - '0' : c - ('A' - 10));
    }
    return value;
}

void make_signature_lines(CheckContext& context, const unsigned char* digest, std::size_t n,
                          char* first_line, char* second_line)
{
    n = std::min(n, kDigestSize);
    char key_text[kKeyTextSize];
    const std::size_t key_length = make_key_text(context.key_prefix, key_text);
    const CipherContext& cipher = key_schedule(context.key_schedule, key_text, key_length);

    char* const outputs[2] = {first_line, second_line};
    int output = 0;
    char line[kLineSize] = "G";
    std::size_t line_length = 1;
    const auto append = [&](const char* text) {
        const std::size_t length = std::strlen(text);
        std::memcpy(line + line_length, text, length + 1);
        line_length += length;
    };

    // Every word is written as hex digits at the write position, but a word is
    // always read back from position 0. So the left word of every pair after
    // the first is the previous pair's right word, re-read from its digits:
    // the pairs are (W0, W1), (W1, W3), ... (W13, W15). Signed files carry
    // exactly these pairs.
    char scratch[kHexScratchSize] = {};
    std::size_t write_position = 0;
    char word_text[kWordTextSize];
    std::uint32_t left = 0;
    std::uint32_t right = 0;
    bool left_expected = true;

    const std::size_t m = n / 4;
    for (std::size_t i = 0; i < m; ++i) {
        format_hex8(load_be32(digest + 4 * i), scratch + write_position);
        if (left_expected) {
            left = hex8_to_word(scratch);
            write_position = 0;
            left_expected = false;
        } else {
            write_position += 9;
            right = hex8_to_word(scratch);
            cipher_encrypt_block(cipher, left, right);
            format_hex8(left, word_text);
            append(word_text);
            format_hex8(right, word_text);
            append(word_text);
            left_expected = true;
        }
        // The first line ends with the step that reads word n / 8 (word 8
        // of 16), which is the left word of the fifth pair: that pair's
        // encryption opens the second line. The second ends with the last word.
        if (i == n / 8 || i == m - 1) {
            append("\r\n");
            std::memcpy(outputs[output], line, line_length + 1);
            output ^= 1;
            line_length = 1;
            line[1] = '\0';
            write_position = 0;
        }
    }
}
