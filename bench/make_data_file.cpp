// SPDX-License-Identifier: MIT
// Writes a signed data file of exactly a given size for the benchmarks: a
// comment, a key line, mostly content lines of 20 to 78 characters with a few
// ignored lines among them, and the two signature lines that make it pass.
// The same size and seed always give the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "check/check.hpp"
#include "crypto/sha512.hpp"

namespace {

constexpr std::size_t kShortestLine = 20;
constexpr std::size_t kLongestLine = 78;
constexpr char kKeyLine[] = "HQDHWHARDWAREVERSION BENCH 1.0 rev 7";
constexpr char kHeading[] = "# Benchmark data file: generated content, signed";

// SplitMix64: small, fast and the same everywhere.
struct Random {
    std::uint64_t state;
};

std::uint64_t next_random(Random& random)
{
    std::uint64_t z = (random.state += 0x9E3779B97F4A7C15U);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9U;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBU;
    return z ^ (z >> 31);
}

struct Output {
    std::FILE* file;
    char buffer[1 << 20];
    std::size_t used;
    bool failed;
};

void put(Output& out, const char* bytes, std::size_t n)
{
    if (out.used + n > sizeof out.buffer) {
        out.failed |= std::fwrite(out.buffer, 1, out.used, out.file) != out.used;
        out.used = 0;
    }
    std::memcpy(out.buffer + out.used, bytes, n);
    out.used += n;
}

struct Generator {
    Output out;
    Random random;
    const char* line_end;
    std::size_t line_end_length;
};

Generator generator;
CheckContext check_context;

// Writes one line of text (no line end in it) and digests it when it is content.
void write_line(const char* text, std::size_t length)
{
    char line[kLongestLine + 4];
    std::memcpy(line, text, length);
    line[length] = '\0';
    if (length > 0 && std::strchr("ABCH", line[0]) != nullptr) {
        check_absorb(check_context, line, length);
    }
    std::memcpy(line + length, generator.line_end, generator.line_end_length);
    put(generator.out, line, length + generator.line_end_length);
}

// A line of length characters: content mostly, one in sixteen a comment or
// an indented note, which are not digested.
void write_random_line(std::size_t length)
{
    char text[kLongestLine];
    std::uint64_t bits = next_random(generator.random);
    const unsigned kind = bits % 32;
    if (length == 0) {
        write_line("", 0);
        return;
    }
    text[0] = kind == 0 ? '#' : kind == 1 ? ' ' : "ABCH"[kind % 4];
    for (std::size_t i = 1; i < length; ++i) {
        if (i % 8 == 1) {
            bits = next_random(generator.random);
        }
        // Printable ASCII, space to tilde.
        text[i] = static_cast<char>(' ' + ((bits & 0xFF) * 95 >> 8));
        bits >>= 8;
    }
    write_line(text, length);
}

// The byte count of a line of length characters with its line end.
std::size_t line_bytes(std::size_t length)
{
    return length + generator.line_end_length;
}

// Fills exactly budget bytes with lines.
void write_body(std::size_t budget)
{
    const std::size_t shortest = line_bytes(kShortestLine);
    const std::size_t longest = line_bytes(kLongestLine);
    while (budget >= generator.line_end_length && budget > 0) {
        std::size_t bytes = shortest + next_random(generator.random) % (longest - shortest + 1);
        if (budget <= longest) {
            bytes = budget;
        } else if (budget - bytes < shortest) {
            // Leave room for one more line of the shortest length at least.
            bytes = budget - shortest;
        }
        write_random_line(bytes - generator.line_end_length);
        budget -= bytes;
    }
    if (budget > 0) {
        // A lone CR LF does not fit: an LF, a blank line, does.
        put(generator.out, "\n", 1);
    }
}

bool parse_size(const char* text, std::size_t& size)
{
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (end == text) {
        return false;
    }
    unsigned long long unit = 1;
    switch (*end) {
    case '\0':
        break;
    case 'K':
    case 'k':
        unit = 1ULL << 10;
        break;
    case 'M':
    case 'm':
        unit = 1ULL << 20;
        break;
    case 'G':
    case 'g':
        unit = 1ULL << 30;
        break;
    default:
        return false;
    }
    if (*end != '\0' && end[1] != '\0' && std::strcmp(end + 1, "iB") != 0) {
        return false;
    }
    size = static_cast<std::size_t>(value * unit);
    return true;
}

int usage()
{
    std::fputs("usage: make_data_file SIZE FILE [lf|crlf] [SEED] [KEY]\n"
               "  SIZE in bytes, or with K, M or G (KiB, MiB, GiB); lines end in LF\n"
               "  unless crlf is given. KEY, up to 40 characters, follows the keyword\n"
               "  in the key line instead of BENCH 1.0 rev 7.\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::size_t size = 0;
    if (argc < 3 || argc > 6 || !parse_size(argv[1], size) ||
        (argc > 5 && std::strlen(argv[5]) > 40)) {
        return usage();
    }
    const bool crlf = argc > 3 && std::strcmp(argv[3], "crlf") == 0;
    if (argc > 3 && !crlf && std::strcmp(argv[3], "lf") != 0) {
        return usage();
    }
    generator.random.state = argc > 4 ? std::strtoull(argv[4], nullptr, 0) : 20240511;
    generator.line_end = crlf ? "\r\n" : "\n";
    generator.line_end_length = crlf ? 2 : 1;
    generator.out.file = std::fopen(argv[2], "wb");
    if (generator.out.file == nullptr) {
        std::fprintf(stderr, "make_data_file: cannot write %s\n", argv[2]);
        return 1;
    }

    char key_line[kKeyLineSize];
    std::snprintf(key_line, sizeof key_line, "%s", kKeyLine);
    if (argc > 5) {
        std::snprintf(key_line, sizeof key_line, "HQDHWHARDWAREVERSION %s", argv[5]);
    }
    const std::size_t key_line_length = std::strlen(key_line);

    check_start(check_context);
    write_line(kHeading, sizeof kHeading - 1);
    write_line(key_line, key_line_length);
    set_key_prefix(check_context, key_line, key_line_length);

    const std::size_t fixed = line_bytes(sizeof kHeading - 1) + line_bytes(key_line_length) +
                              2 * line_bytes(kComparedLength);
    write_body(size > fixed ? size - fixed : 0);

    check_finish(check_context);
    char first[kSignatureLineSize];
    char second[kSignatureLineSize];
    check_expected_lines(check_context, first, second);
    write_line(first, kComparedLength);
    write_line(second, kComparedLength);

    Output& out = generator.out;
    out.failed |= std::fwrite(out.buffer, 1, out.used, out.file) != out.used;
    out.failed |= std::fclose(out.file) != 0;
    if (out.failed) {
        std::fprintf(stderr, "make_data_file: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
