// SPDX-License-Identifier: MIT
// Arbitrary bytes absorbed in calls of lengths taken from the input must give
// the same digest, and the same count, with every compression build this
// processor runs, as absorbing them one byte at a time with the portable one.
// Input: a byte n (taken mod 16), n little-endian 16-bit call lengths, then
// the message.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "crypto/sha512.hpp"
#include "crypto/sha512_compress.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::size_t calls = data[0] % 16;
    if (size < 1 + 2 * calls) {
        return 0;
    }
    const std::uint8_t* lengths = data + 1;
    const std::uint8_t* message = lengths + 2 * calls;
    const std::size_t message_size = size - 1 - 2 * calls;

    sha512_use_compression(sha512_compressions()[0]);
    DigestContext byte_wise;
    digest_reset(byte_wise);
    for (std::size_t i = 0; i < message_size; ++i) {
        digest_absorb(message + i, 1, byte_wise);
    }
    unsigned char digest_byte_wise[kDigestSize];
    digest_finish(digest_byte_wise, byte_wise, kDigestSize);
    if (byte_wise.byte_count[0] != message_size) {
        std::abort();
    }

    for (const Sha512Compression& compression : sha512_compressions()) {
        if (!compression.supported()) {
            continue;
        }
        sha512_use_compression(compression);
        DigestContext in_calls;
        digest_reset(in_calls);
        std::size_t at = 0;
        for (std::size_t i = 0; i < calls; ++i) {
            const std::size_t wanted = lengths[2 * i] | std::size_t{lengths[2 * i + 1]} << 8;
            const std::size_t length = std::min(wanted, message_size - at);
            digest_absorb(message + at, static_cast<std::uint32_t>(length), in_calls);
            at += length;
        }
        digest_absorb(message + at, static_cast<std::uint32_t>(message_size - at), in_calls);
        unsigned char digest_in_calls[kDigestSize];
        digest_finish(digest_in_calls, in_calls, kDigestSize);
        if (std::memcmp(digest_in_calls, digest_byte_wise, kDigestSize) != 0 ||
            in_calls.byte_count[0] != message_size) {
            std::abort();
        }
    }
    return 0;
}
