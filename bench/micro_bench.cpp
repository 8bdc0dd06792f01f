// SPDX-License-Identifier: MIT
// Micro-benchmarks: SHA-512 over 79-byte pieces and 1 MiB buffers with every
// compression build this processor runs, the Blowfish key schedule, the
// signature lines, and the whole check of a 4 KiB data file held in memory.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "check/check.hpp"
#include "crypto/blowfish.hpp"
#include "crypto/sha512.hpp"
#include "crypto/sha512_compress.hpp"
#include "tool/reader.hpp"

namespace {

constexpr char kKeyLine[] = "HQDHWHARDWAREVERSION 3.1 rev B";

std::vector<unsigned char> message_bytes(std::size_t n)
{
    std::vector<unsigned char> bytes(n);
    for (std::size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<unsigned char>('A' + i * 7 % 26);
    }
    return bytes;
}

// Absorbs a buffer in pieces of piece_size bytes, the way the reader does.
void sha512_in_pieces(benchmark::State& state, const Sha512Compression* compression,
                      std::size_t total, std::size_t piece_size)
{
    const Sha512Compression& before = sha512_compression();
    sha512_use_compression(*compression);
    const std::vector<unsigned char> bytes = message_bytes(total);
    DigestContext context;
    unsigned char digest[kDigestSize];
    for (auto _ : state) {
        digest_reset(context);
        for (std::size_t at = 0; at < total; at += piece_size) {
            const std::size_t n = std::min(piece_size, total - at);
            digest_absorb(bytes.data() + at, static_cast<std::uint32_t>(n), context);
        }
        digest_finish(digest, context, kDigestSize);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * total));
    sha512_use_compression(before);
}

void cipher_key_schedule(benchmark::State& state)
{
    const std::string key = std::string(kKeyLine) + std::string(72, 'K');
    CipherContext cipher;
    for (auto _ : state) {
        cipher_setup(cipher, reinterpret_cast<const unsigned char*>(key.data()),
                     static_cast<int>(key.size()));
        benchmark::DoNotOptimize(cipher.P);
    }
}

// Like check_4_KiB_file, every iteration after the first reuses the key
// schedule of the one before, as a thread of datasig check does for files
// that share a key line; validate, which checks one file, also pays
// blowfish_key_schedule once.
void signature_lines(benchmark::State& state)
{
    const std::vector<unsigned char> digest = message_bytes(kDigestSize);
    static CheckContext context;
    set_key_prefix(context, kKeyLine, sizeof kKeyLine - 1);
    char first[kSignatureLineSize];
    char second[kSignatureLineSize];
    for (auto _ : state) {
        make_signature_lines(context, digest.data(), kDigestSize, first, second);
        benchmark::DoNotOptimize(first);
        benchmark::DoNotOptimize(second);
    }
}

// A data file of about 4 KiB: a key line, content lines of 20 to 78
// characters, a comment now and then, and two signature lines.
std::string data_file_4k()
{
    std::string file = std::string(kKeyLine) + "\r\n";
    for (int i = 0; file.size() < 4096 - 140; ++i) {
        file += i % 16 == 0 ? "# " : "A ";
        file += std::string(static_cast<std::size_t>(18 + i * 37 % 59), static_cast<char>('a' + i % 26));
        file += "\r\n";
    }
    file += "G" + std::string(64, '0') + "\r\nG" + std::string(64, '1') + "\r\n";
    return file;
}

// Reading, digesting and verifying, all but printing the verdict.
void check_4k_file(benchmark::State& state)
{
    const std::string file = data_file_4k();
    static TextStream stream;
    static CheckContext context;
    for (auto _ : state) {
        MemorySource memory{reinterpret_cast<const unsigned char*>(file.data()), file.size(), 0, 0};
        text_stream_open(stream, read_from_memory, &memory);
        check_stream(stream, context);
        benchmark::DoNotOptimize(check_passes(context));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
}

} // namespace

int main(int argc, char** argv)
{
    const Sha512Compression& chosen = sha512_compression();
    for (const Sha512Compression& compression : sha512_compressions()) {
        if (!compression.supported()) {
            continue;
        }
        const std::string name = compression.name;
        benchmark::RegisterBenchmark(("sha512_79_byte_pieces/" + name).c_str(), sha512_in_pieces,
                                     &compression, std::size_t{1} << 20, std::size_t{79});
        benchmark::RegisterBenchmark(("sha512_1_MiB_buffer/" + name).c_str(), sha512_in_pieces,
                                     &compression, std::size_t{1} << 20, std::size_t{1} << 20);
    }
    benchmark::RegisterBenchmark("blowfish_key_schedule", cipher_key_schedule);
    benchmark::RegisterBenchmark("make_signature_lines", signature_lines);
    benchmark::RegisterBenchmark("check_4_KiB_file", check_4k_file);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::AddCustomContext("sha512_compression", chosen.name);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
