// SPDX-License-Identifier: MIT
// The library finds, signs and explains as the tools' own code does, on
// generated files of every kind.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/explain.hpp"
#include "core/sign.hpp"
#include "datasig/generated_files.hpp"
#include "support/temporary_folder.hpp"
#include "validate.h"

namespace {

TEST(LibraryAgreement, ChecksSignsAndExplainsAsTheTools)
{
    for (unsigned seed = 0; seed < 300; ++seed) {
        SCOPED_TRACE(seed);
        const Bytes file = datasig_test::to_bytes(datasig_test::FileMaker(seed).make());
        const Findings check = check_bytes(file);
        const Findings explanation = explain_bytes(file);
        validate_result result{};
        EXPECT_EQ(validate_check_bytes(file.data(), file.size(), &result),
                  passed(check) ? VALIDATE_PASSED : VALIDATE_ALTERED);
        EXPECT_EQ(std::memcmp(result.digest, check.digest, sizeof result.digest), 0);
        EXPECT_STREQ(result.expected[0], check.expected[0]);
        EXPECT_STREQ(result.expected[1], check.expected[1]);
        EXPECT_STREQ(result.found[0], check.found[0]);
        EXPECT_STREQ(result.found[1], check.found[1]);
        for (int slot = 0; slot < 2; ++slot) {
            EXPECT_EQ(result.found_line[slot], explanation.found_line[slot]);
        }
        EXPECT_STREQ(result.key_line, explanation.key_line);
        EXPECT_EQ(result.key_line_number, explanation.key_line_number);
        EXPECT_EQ(result.digested_pieces, explanation.digested_pieces);
        EXPECT_EQ(result.ignored_pieces, explanation.ignored_pieces);
        EXPECT_EQ(result.signature_pieces, explanation.signature_pieces);

        std::string report(1 << 16, '\0');
        std::size_t length = 0;
        validate_explain(file.data(), file.size(), "f.dat", report.data(), report.size(), &length);
        report.resize(length);
        EXPECT_EQ(report, format_explanation(explanation, "f.dat") +
                              (passed(check) ? kPassedVerdict : kFailedVerdict));

        const SignResult signed_file = sign_bytes(file);
        Bytes out(validate_sign_bound(file.size()));
        std::size_t size = 0;
        EXPECT_EQ(validate_sign(file.data(), file.size(), out.data(), out.size(), &size),
                  signed_file.signed_ok ? VALIDATE_PASSED : VALIDATE_ERROR_SIGN);
        out.resize(size);
        EXPECT_EQ(out, signed_file.output);
    }
}

// Many files at once, most signed and so with key lines of their own, among
// them a missing file, a folder and a null path: each result is the one
// file's, also when the checker's key set-ups are reused.
TEST(LibraryAgreement, ChecksManyFilesAsEachAlone)
{
    test_support::TemporaryFolder folder;
    std::vector<std::string> names;
    for (unsigned seed = 0; seed < 30; ++seed) {
        Bytes file = datasig_test::to_bytes(datasig_test::FileMaker(seed).make());
        if (const SignResult signed_file = sign_bytes(file); seed % 3 != 0 && signed_file.signed_ok) {
            file = signed_file.output;
        }
        names.push_back(folder / (std::to_string(seed) + ".dat"));
        std::ofstream(names.back(), std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }
    names.insert(names.begin() + 5, folder / "missing.dat");
    names.insert(names.begin() + 11, test_support::utf8_name(folder.path()));
    std::vector<const char*> paths;
    for (const std::string& name : names) {
        paths.push_back(name.c_str());
    }
    paths.insert(paths.begin() + 14, nullptr);

    validate_checker* checker = validate_checker_new();
    ASSERT_NE(checker, nullptr);
    for (int round = 0; round < 2; ++round) {
        std::vector<validate_result> results(paths.size());
        const validate_status status =
            validate_checker_check_files(checker, paths.data(), paths.size(), results.data());
        validate_status first_not_passed = VALIDATE_PASSED;
        for (std::size_t i = 0; i < paths.size(); ++i) {
            SCOPED_TRACE(i);
            validate_result alone{};
            const validate_status expected = paths[i] == nullptr
                                                 ? (alone.status = VALIDATE_ERROR_ARGUMENT)
                                                 : validate_check_file(paths[i], &alone);
            EXPECT_EQ(results[i].status, expected);
            EXPECT_EQ(std::memcmp(&results[i], &alone, sizeof alone), 0);
            if (first_not_passed == VALIDATE_PASSED) {
                first_not_passed = expected;
            }
        }
        EXPECT_EQ(status, first_not_passed);
    }
    validate_checker_free(checker);
}

} // namespace
