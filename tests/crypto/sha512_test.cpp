// SPDX-License-Identifier: MIT
#include "crypto/sha512.hpp"

#include <gtest/gtest.h>

#include "crypto/sha512_compress.hpp"

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "support/data_files.hpp"
#include "support/run_binary.hpp"

namespace {

using test_support::DataLine;
using Bytes = std::vector<unsigned char>;

Bytes vector_message(const DataLine& line)
{
    const auto& f = line.fields;
    if (f[0] == "repeat") {
        const Bytes pattern = test_support::from_hex(f[1]);
        Bytes message;
        for (unsigned long i = std::stoul(f[2]); i > 0; --i) {
            message.insert(message.end(), pattern.begin(), pattern.end());
        }
        return message;
    }
    return f[0] == "-" ? Bytes{} : test_support::from_hex(f[0]);
}

std::string digest_hex(const Bytes& message)
{
    DigestContext context;
    digest_reset(context);
    digest_absorb(message.data(), static_cast<std::uint32_t>(message.size()), context);
    unsigned char out[kDigestSize];
    digest_finish(out, context, kDigestSize);
    return test_support::to_hex(out, kDigestSize);
}

// Absorbs the message in pieces whose lengths come from split_lengths, then
// whatever is left in one call.
std::string digest_hex_in_pieces(const Bytes& message, const std::vector<std::size_t>& split_lengths)
{
    DigestContext context;
    digest_reset(context);
    std::size_t at = 0;
    for (const std::size_t length : split_lengths) {
        digest_absorb(message.data() + at, static_cast<std::uint32_t>(length), context);
        at += length;
    }
    digest_absorb(message.data() + at, static_cast<std::uint32_t>(message.size() - at), context);
    unsigned char out[kDigestSize];
    digest_finish(out, context, kDigestSize);
    return test_support::to_hex(out, kDigestSize);
}

Bytes counting_bytes(std::size_t length)
{
    Bytes message(length);
    for (std::size_t i = 0; i < length; ++i) {
        message[i] = static_cast<unsigned char>(i % 251);
    }
    return message;
}

const std::vector<DataLine>& sha512_vectors()
{
    static const auto vectors = test_support::read_data_lines("crypto/vectors/sha512.txt", ' ');
    return vectors;
}

// The compression builds this processor runs, by name.
std::vector<std::string> supported_compressions()
{
    std::vector<std::string> names;
    for (const Sha512Compression& compression : sha512_compressions()) {
        if (compression.supported()) {
            names.emplace_back(compression.name);
        }
    }
    return names;
}

// Makes digest_block use the named build for as long as it lives.
class UsingCompression {
public:
    explicit UsingCompression(const std::string& name) : before_(sha512_compression())
    {
        for (const Sha512Compression& compression : sha512_compressions()) {
            if (compression.name == name) {
                sha512_use_compression(compression);
            }
        }
    }
    ~UsingCompression() { sha512_use_compression(before_); }
    UsingCompression(const UsingCompression&) = delete;
    UsingCompression& operator=(const UsingCompression&) = delete;

private:
    const Sha512Compression& before_;
};

using VectorAndBuild = std::tuple<DataLine, std::string>;

class Sha512Vector : public testing::TestWithParam<VectorAndBuild> {};

TEST_P(Sha512Vector, GivesThePublishedDigest)
{
    const auto& [vector, build] = GetParam();
    const UsingCompression using_build(build);
    EXPECT_EQ(digest_hex(vector_message(vector)), vector.fields.back());
}

INSTANTIATE_TEST_SUITE_P(Published, Sha512Vector,
                         testing::Combine(testing::ValuesIn(sha512_vectors()),
                                          testing::ValuesIn(supported_compressions())),
                         [](const testing::TestParamInfo<VectorAndBuild>& row) {
                             return test_support::identifier(std::get<0>(row.param).name + "_" +
                                                             std::get<1>(row.param));
                         });

TEST(Sha512Compression, TheChoiceIsTheLastBuildThisProcessorRuns)
{
    EXPECT_EQ(std::string(sha512_compressions()[0].name), "portable");
    EXPECT_EQ(std::string(sha512_compression().name), supported_compressions().back());
}

// Where the processor is known, as in CI under an emulated one: a detection
// that missed the fast build would pass every other test.
TEST(Sha512Compression, TheChoiceIsTheBuildTheEnvironmentExpects)
{
    const char* expected = std::getenv("VALIDATE_EXPECT_SHA512_BUILD");
    if (expected == nullptr) {
        GTEST_SKIP() << "VALIDATE_EXPECT_SHA512_BUILD names no build";
    }
    EXPECT_EQ(std::string(sha512_compression().name), expected);
}

// The GNU C library masks the features GLIBC_TUNABLES names before the
// tools read them: each set masked, the build a fresh process chooses. A
// row whose features this processor lacks shows nothing, and is skipped.
struct MaskCase {
    const char* name;
    std::vector<std::string> masked;
    std::vector<std::string> needs;
    const char* build;
};

void PrintTo(const MaskCase& c, std::ostream* out)
{
    *out << c.name;
}

const MaskCase kMaskCases[] = {
    {"nothing masked", {}, {"AVX512F", "AVX512VL", "AVX2", "BMI2"}, "avx512"},
    // AVX-512F alone, as Knights Landing has it, runs no AVX-512VL code.
    {"AVX512VL masked", {"AVX512VL"}, {"AVX512F", "AVX2", "BMI2"}, "avx2"},
    {"AVX512F masked", {"AVX512F"}, {"AVX512VL", "AVX2", "BMI2"}, "avx2"},
    {"AVX512F and AVX512VL masked", {"AVX512F", "AVX512VL"}, {"AVX2", "BMI2"}, "avx2"},
    {"AVX2 masked", {"AVX2"}, {"AVX2", "BMI2"}, "bmi2"},
    {"AVX2 and AVX512VL masked", {"AVX2", "AVX512VL"}, {"AVX512F", "BMI2"}, "bmi2"},
    {"AVX2 and AVX512F masked", {"AVX2", "AVX512F"}, {"AVX512VL", "BMI2"}, "bmi2"},
    {"BMI2 masked", {"BMI2"}, {"BMI2"}, "portable"},
    {"BMI2 and AVX512VL masked", {"BMI2", "AVX512VL"}, {"AVX512F", "BMI2"}, "portable"},
};

class MaskCaseTest : public testing::TestWithParam<MaskCase> {};

#ifdef VALIDATE_CPU_FROM_GLIBC
// The processor's own answer, which no tunable masks.
bool processor_has(const std::string& feature)
{
    __builtin_cpu_init();
    const auto has = [](auto answer) { return static_cast<bool>(answer); };
    if (feature == "AVX512F") {
        return has(__builtin_cpu_supports("avx512f"));
    }
    if (feature == "AVX512VL") {
        return has(__builtin_cpu_supports("avx512vl"));
    }
    if (feature == "AVX2") {
        return has(__builtin_cpu_supports("avx2"));
    }
    return feature == "BMI2" && has(__builtin_cpu_supports("bmi2"));
}
#endif

TEST_P(MaskCaseTest, AFreshProcessChoosesTheBuildTheUnmaskedFeaturesRun)
{
#ifndef VALIDATE_CPU_FROM_GLIBC
    GTEST_SKIP() << "the processor's features are not read from the GNU C library";
#else
    const MaskCase& c = GetParam();
    const auto compiled = sha512_compressions();
    if (std::none_of(compiled.begin(), compiled.end(),
                     [](const Sha512Compression& build) { return build.name == std::string("avx512"); })) {
        GTEST_SKIP() << "only the portable build is compiled in";
    }
    for (const std::string& feature : c.needs) {
        if (!processor_has(feature)) {
            GTEST_SKIP() << "this processor has no " << feature;
        }
    }
    std::string tunables = "glibc.cpu.hwcaps=";
    const char* separator = "-";
    for (const std::string& feature : c.masked) {
        tunables += separator + feature;
        separator = ",-";
    }
    const test_support::RunResult run = test_support::run_shell(
        "GLIBC_TUNABLES=\"$1\" exec $TEST_EMULATOR \"$0\"", {CHOSEN_BUILD_BINARY, tunables});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, std::string(c.build) + "\n") << tunables;
#endif
}

INSTANTIATE_TEST_SUITE_P(Sha512Compression, MaskCaseTest, testing::ValuesIn(kMaskCases),
                         test_support::case_name<MaskCase>);

TEST(Sha512Compression, EveryBuildCompressesRandomBlocksAsThePortableOne)
{
    std::mt19937_64 random(2024);
    for (const std::string& build : supported_compressions()) {
        std::uint64_t expected[8];
        std::uint64_t got[8];
        for (int i = 0; i < 8; ++i) {
            expected[i] = got[i] = random();
        }
        for (int block = 0; block < 500; ++block) {
            std::uint64_t W[16];
            for (std::uint64_t& word : W) {
                word = random();
            }
            std::uint64_t W_copy[16];
            std::copy(std::begin(W), std::end(W), W_copy);
            sha512_compress_portable(expected, W);
            const UsingCompression using_build(build);
            sha512_compression().compress(got, W_copy);
            ASSERT_TRUE(std::equal(expected, expected + 8, got)) << build << " block " << block;
        }
    }
}

TEST(Sha512, VectorFileIsComplete)
{
    EXPECT_EQ(sha512_vectors().size(), 157U);
}

class Sha512Split : public testing::TestWithParam<std::string> {
    const UsingCompression using_build_{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(EveryBuild, Sha512Split, testing::ValuesIn(supported_compressions()),
                         [](const testing::TestParamInfo<std::string>& row) { return row.param; });

TEST_P(Sha512Split, EverySplitOfEveryLengthUpTo300GivesTheOneCallDigest)
{
    for (std::size_t length = 0; length <= 300; ++length) {
        const Bytes message = counting_bytes(length);
        const std::string whole = digest_hex(message);
        for (std::size_t split = 0; split <= length; ++split) {
            ASSERT_EQ(digest_hex_in_pieces(message, {split}), whole)
                << "length " << length << " split at " << split;
        }
    }
}

TEST_P(Sha512Split, ByteAtATimeAndEmptyCallsGiveTheOneCallDigest)
{
    const Bytes message = counting_bytes(1000);
    std::vector<std::size_t> ones(message.size(), 1);
    EXPECT_EQ(digest_hex_in_pieces(message, ones), digest_hex(message));
    EXPECT_EQ(digest_hex_in_pieces(message, {0, 0, 7, 0, 128, 0}), digest_hex(message));
}

TEST_P(Sha512Split, RandomCallLengthsGiveTheOneCallDigest)
{
    std::mt19937 random(12345);
    for (int trial = 0; trial < 200; ++trial) {
        const Bytes message = counting_bytes(random() % 3000);
        std::vector<std::size_t> lengths;
        for (std::size_t left = message.size(); left > 0;) {
            const std::size_t length = std::min<std::size_t>(left, random() % 300);
            lengths.push_back(length);
            left -= length;
        }
        ASSERT_EQ(digest_hex_in_pieces(message, lengths), digest_hex(message)) << "trial " << trial;
    }
}

TEST(Sha512, FinishWritesExactlyTheBytesAskedFor)
{
    DigestContext context;
    digest_reset(context);
    for (const std::size_t n : {0U, 1U, 63U, 64U}) {
        unsigned char out[kDigestSize + 8];
        std::fill(std::begin(out), std::end(out), 0xEE);
        DigestContext copy = context;
        digest_finish(out, copy, n);
        for (std::size_t i = n; i < sizeof out; ++i) {
            ASSERT_EQ(out[i], 0xEE) << "n " << n << " byte " << i;
        }
    }
}

TEST(Sha512, ByteCountCarriesIntoItsHighWordAndIntoTheLengthField)
{
    // A context that has absorbed 2^64 - 3 bytes: the low count sits 3 below
    // the carry, at block position 125, with W holding that many placed bytes.
    DigestContext context;
    digest_reset(context);
    context.byte_count[0] = ~std::uint64_t{0} - 2;
    std::fill(std::begin(context.W), std::end(context.W), 0x6161616161616161U);
    context.W[15] = 0x6161616161000000U;

    DigestContext expected = context;
    const unsigned char more[8] = {'a', 'a', 'a', 'a', 'a', 'a', 'a', 'a'};
    digest_absorb(more, sizeof more, context);
    EXPECT_EQ(context.byte_count[1], 1U);
    EXPECT_EQ(context.byte_count[0], 5U);

    // The same by hand: the block completes with three bytes, five more start
    // the last block, then 0x80 and the length in bits, 2^67 + 40.
    expected.W[15] = 0x6161616161616161U;
    digest_block(expected);
    std::fill(std::begin(expected.W), std::end(expected.W), 0U);
    expected.W[0] = 0x6161616161800000U;
    expected.W[14] = 8;
    expected.W[15] = 40;
    digest_block(expected);

    unsigned char out[kDigestSize];
    digest_finish(out, context, kDigestSize);
    for (std::size_t i = 0; i < kDigestSize; ++i) {
        ASSERT_EQ(out[i], static_cast<unsigned char>(expected.H[i / 8] >> (8 * (7 - i % 8))));
    }
}

} // namespace
