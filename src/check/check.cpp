// SPDX-License-Identifier: MIT
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "check/check.hpp"
#include "crypto/sha512.hpp"

namespace {

// Each thread checks its own files: the digest in progress and the last one
// finished are the thread's own.
thread_local DigestContext digest_context;
thread_local unsigned char digest[kDigestSize];

void absorb_text(const char* text)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t rest = std::strlen(text);
    while (rest > 0) {
        const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(rest, UINT32_MAX));
        digest_absorb(bytes, length, digest_context);
        bytes += length;
        rest -= length;
    }
}

int verify(const char* first_slot, const char* second_slot)
{
    if (signature_slots_match(first_slot, second_slot)) {
        std::fputs("Validation check passed, data indicated as correct\n", stdout);
        return 1;
    }
    std::fputs("Validation check failed\n", stdout);
    std::fputs("File data may have been altered\n", stdout);
    return 0;
}

} // namespace

bool signature_slots_match(const char* first_slot, const char* second_slot)
{
    char expected_first[kSignatureLineSize];
    char expected_second[kSignatureLineSize];
    make_signature_lines(digest, kDigestSize, expected_first, expected_second);
    return std::strncmp(first_slot, expected_first, kComparedLength) == 0 &&
           std::strncmp(second_slot, expected_second, kComparedLength) == 0;
}

int check_step(const char* text, CheckOp op, const char* first_slot, const char* second_slot)
{
    switch (op) {
    case CHECK_RESET:
        digest_reset(digest_context);
        break;
    case CHECK_ABSORB:
        absorb_text(text);
        break;
    case CHECK_FINISH:
        digest_finish(digest, digest_context, kDigestSize);
        break;
    case CHECK_VERIFY:
        return verify(first_slot, second_slot);
    }
    return 1;
}

const unsigned char* check_digest()
{
    return digest;
}
