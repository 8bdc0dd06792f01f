// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "check/check.hpp"
#include "support/verdicts.hpp"

namespace {

using test_support::kFailed;
using test_support::kPassed;

struct Expected {
    std::string first;
    std::string second;
};

// Digests the content and returns the lines a file with it must carry.
Expected check_content(const char* content)
{
    CheckContext& context = run_check_context();
    context.key_prefix[0] = '\0';
    check_step(" ", CHECK_RESET, " ", " ");
    check_step(content, CHECK_ABSORB, " ", " ");
    check_step(" ", CHECK_FINISH, " ", " ");
    char first[kSignatureLineSize];
    char second[kSignatureLineSize];
    make_signature_lines(context, context.digest, 64, first, second);
    return {first, second};
}

struct Verdict {
    int result;
    std::string out;
};

Verdict verify(const std::string& first_slot, const std::string& second_slot)
{
    testing::internal::CaptureStdout();
    const int result = check_step(" ", CHECK_VERIFY, first_slot.c_str(), second_slot.c_str());
    return {result, testing::internal::GetCapturedStdout()};
}

std::string lowercase(std::string text)
{
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    // Set in place: GCC 12 at -O3 warns falsely (-Wrestrict) on "G" + substr.
    if (!text.empty()) {
        text[0] = 'G';
    }
    return text;
}

TEST(CheckStep, VerifyComparesTheFirst65CharactersOfEachSlot)
{
    const Expected lines = check_content("A content line");
    const std::string first65 = lines.first.substr(0, 65);
    const std::string second65 = lines.second.substr(0, 65);
    struct Case {
        const char* name;
        std::string first;
        std::string second;
        bool passes;
    };
    const Case cases[] = {
        {"exact lines", lines.first, lines.second, true},
        {"lf line ends", first65 + "\n", second65 + "\n", true},
        {"no line ends", first65, second65, true},
        {"text after the 65th character", first65 + " signed 2026\n", second65 + "XYZ", true},
        {"empty slots", "", "", false},
        {"first slot empty", "", lines.second, false},
        {"first slot one short", first65.substr(0, 64), lines.second, false},
        {"second slot one short", lines.first, second65.substr(0, 64), false},
        {"slots swapped", lines.second, lines.first, false},
        {"lowercase hex", lowercase(lines.first), lines.second, false},
        {"first right second wrong", lines.first, lines.first, false},
        {"first wrong second right", lines.second, lines.second, false},
        {"last digit changed", lines.first, second65.substr(0, 64) + "Z", false},
    };
    for (const Case& c : cases) {
        const Verdict verdict = verify(c.first, c.second);
        EXPECT_EQ(verdict.result, c.passes ? 1 : 0) << c.name;
        EXPECT_EQ(verdict.out, c.passes ? kPassed : kFailed) << c.name;
    }
}

TEST(CheckStep, AbsorbDigestsTextUpToItsNul)
{
    const Expected whole = check_content("A1");
    check_step(" ", CHECK_RESET, " ", " ");
    check_step("A", CHECK_ABSORB, " ", " ");
    check_step("1\0ignored", CHECK_ABSORB, " ", " ");
    check_step("", CHECK_ABSORB, " ", " ");
    check_step(" ", CHECK_FINISH, " ", " ");
    EXPECT_EQ(verify(whole.first, whole.second).result, 1);
}

TEST(CheckStep, UnknownOperationsDoNothing)
{
    const Expected lines = check_content("A1");
    testing::internal::CaptureStdout();
    for (const unsigned op : {4U, 5U, 255U, 0xFFFFFFFFU}) {
        EXPECT_EQ(check_step("B2", static_cast<CheckOp>(op), "", ""), 1) << op;
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(verify(lines.first, lines.second).result, 1);
}

} // namespace
