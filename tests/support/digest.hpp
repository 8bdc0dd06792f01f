// SPDX-License-Identifier: MIT
// The SHA-512 digest of bytes in one call: what tests expect the check to
// find for the bytes they say it digests.
#pragma once

#include <cstdint>
#include <string>

#include "crypto/sha512.hpp"

namespace test_support {

inline std::string sha512_of(const std::string& bytes)
{
    DigestContext context;
    digest_reset(context);
    digest_absorb(reinterpret_cast<const unsigned char*>(bytes.data()),
                  static_cast<std::uint32_t>(bytes.size()), context);
    unsigned char digest[kDigestSize];
    digest_finish(digest, context, kDigestSize);
    return std::string(digest, digest + kDigestSize);
}

} // namespace test_support
