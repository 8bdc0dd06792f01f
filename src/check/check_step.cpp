// SPDX-License-Identifier: MIT
// validate's run drives its check through one entry point, over one context
// that lives for the whole run.
#include <cstdio>
#include <cstring>

#include "check/check.hpp"

namespace {

CheckContext run_context;

int verify(const char* first_slot, const char* second_slot)
{
    if (check_slots_match(run_context, first_slot, second_slot)) {
        std::fputs(kPassedVerdict, stdout);
        return 1;
    }
    std::fputs(kFailedVerdict, stdout);
    return 0;
}

} // namespace

CheckContext& run_check_context()
{
    return run_context;
}

int check_step(const char* text, CheckOp op, const char* first_slot, const char* second_slot)
{
    switch (op) {
    case CHECK_RESET:
        digest_reset(run_context.digest_context);
        break;
    case CHECK_ABSORB:
        check_absorb(run_context, text, std::strlen(text));
        break;
    case CHECK_FINISH:
        check_finish(run_context);
        break;
    case CHECK_VERIFY:
        return verify(first_slot, second_slot);
    }
    return 1;
}
