// SPDX-License-Identifier: MIT
// The report of datasig explain, made from a file's findings.
#include "core/explain.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "core/reader.hpp"
#include "core/report_text.hpp"
#include "core/warnings.hpp"

namespace {

constexpr const char* kSlotNames[2] = {"first", "second"};

unsigned long long number(std::uint64_t n)
{
    return static_cast<unsigned long long>(n);
}

// A found line as compared: its first 65 characters, without an LF.
std::string compared_part(const char* slot)
{
    std::string part(slot, std::min(std::strlen(slot), kComparedLength));
    if (!part.empty() && part.back() == '\n') {
        part.pop_back();
    }
    return part;
}

void format_signature(std::string& report, const Findings& findings, int slot)
{
    const std::string expected = findings.expected[slot];
    report += format_text("%s signature line", kSlotNames[slot]);
    if (findings.found_line[slot] == 0) {
        report += ": missing\n";
        report += "  expected  " + expected + "\n";
        report += "  found     (none)\n";
        return;
    }
    const std::size_t difference = first_difference(findings.found[slot], findings.expected[slot]);
    report += format_text(" (line %llu): ", number(findings.found_line[slot]));
    report += difference == 0 ? std::string("matches\n")
                              : format_text("differs at character %zu\n", difference);
    report += "  expected  " + expected + "\n";
    report += "  found     " + printable(compared_part(findings.found[slot])) + "\n";
    if (difference != 0) {
        report += std::string(11 + difference, ' ') + "^\n";
    }
}

} // namespace

Findings explain_bytes(const Bytes& file)
{
    Findings findings{};
    MemorySource memory{};
    const auto stream = open_memory_stream(memory, file);
    const auto context = std::make_unique<CheckContext>();
    WarningCollector warnings;
    stream->observer = &warnings;
    check_stream(*stream, *context);
    text_stream_count_rest(*stream);
    collect_findings(*context, findings);
    warnings.finish(*stream, *context, findings);
    return findings;
}

std::string format_explanation(const Findings& findings, const std::string& name)
{
    std::string report = "file: " + name + "\n";
    report += format_text("pieces: %llu digested, %llu ignored, %llu signature\n",
                          number(findings.digested_pieces), number(findings.ignored_pieces),
                          number(findings.signature_pieces));
    if (findings.key_line_number == 0) {
        report += "key line: none: the key is the built-in constant alone\n";
    } else {
        report += format_text("key line: line %llu", number(findings.key_line_number));
        if (findings.key_lines > 1) {
            report += format_text(", the last of %llu", number(findings.key_lines));
        }
        report += std::string(": ") + printable(findings.key_line) + "\n";
        const std::size_t line_length = std::strlen(findings.key_line);
        const std::size_t prefix_length = std::strlen(findings.key_prefix);
        if (line_length > prefix_length) {
            report += format_text("  cut from %zu to its first %zu characters in the key: ",
                                  line_length, prefix_length) +
                      printable(findings.key_prefix) + "\n";
        }
    }
    const std::string digest = digest_hex(findings);
    report += "digest: " + digest.substr(0, 64) + "\n";
    report += "        " + digest.substr(64) + "\n";
    format_signature(report, findings, 0);
    format_signature(report, findings, 1);
    if (findings.warnings.empty()) {
        report += "warnings: none\n";
    } else {
        report += format_text("warnings: %zu\n", findings.warnings.size());
        for (const Warning& warning : findings.warnings) {
            report += "  " + warning_text(warning) + "\n";
        }
    }
    return report;
}
