// SPDX-License-Identifier: MIT
// The findings of a check, given to the caller in the library's C structs.
#include <algorithm>
#include <cstring>

#include "lib/checker.hpp"

namespace {

template <std::size_t N, std::size_t M>
void copy_text(char (&to)[N], const char (&from)[M])
{
    const std::size_t length = std::min({std::strlen(from), N - 1, M - 1});
    std::memcpy(to, from, length);
    to[length] = '\0';
}

validate_verdict verdict_of(Verdict verdict)
{
    switch (verdict) {
    case Verdict::passed:
        return VALIDATE_VERDICT_PASSED;
    case Verdict::altered:
        return VALIDATE_VERDICT_ALTERED;
    case Verdict::never_signed:
        return VALIDATE_VERDICT_UNSIGNED;
    }
    return VALIDATE_VERDICT_ALTERED;
}

validate_warning warning_of(const Warning& warning)
{
    validate_warning out{};
    out.kind = static_cast<validate_warning_kind>(warning.kind);
    out.slot = warning.slot;
    out.line = warning.line;
    out.column = warning.column;
    out.last_column = warning.last_column;
    out.other_line = warning.other_line;
    out.count = warning.count;
    out.byte = warning.byte;
    return out;
}

// The fields that validate_result and validate_findings share, by name.
template <typename Out>
void copy_check(const Findings& findings, Out& out)
{
    std::memcpy(out.digest, findings.digest, sizeof out.digest);
    for (int slot = 0; slot < 2; ++slot) {
        copy_text(out.expected[slot], findings.expected[slot]);
        copy_text(out.found[slot], findings.found[slot]);
        out.found_line[slot] = findings.found_line[slot];
    }
    copy_text(out.key_line, findings.key_line);
    out.key_line_number = findings.key_line_number;
    out.digested_pieces = findings.digested_pieces;
    out.ignored_pieces = findings.ignored_pieces;
    out.signature_pieces = findings.signature_pieces;
}

} // namespace

validate_status error_of(const FileOutcome& outcome)
{
    switch (outcome.state) {
    case FileState::checked:
        return VALIDATE_OK;
    case FileState::open_failed:
        return VALIDATE_ERROR_OPEN;
    case FileState::read_failed:
        return VALIDATE_ERROR_READ;
    case FileState::not_given:
        return VALIDATE_ERROR_ARGUMENT;
    }
    return VALIDATE_ERROR_ARGUMENT;
}

validate_status verdict_status(const Findings& findings)
{
    return passed(findings) ? VALIDATE_PASSED : VALIDATE_ALTERED;
}

void give_result(const FileOutcome& outcome, validate_status error, validate_result* result)
{
    if (result == nullptr) {
        return;
    }
    *result = validate_result{};
    if (error != VALIDATE_OK) {
        result->status = error;
        result->error_number = outcome.error;
        return;
    }
    result->status = verdict_status(outcome.findings);
    copy_check(outcome.findings, *result);
}

bool findings_size_allowed(const validate_findings* findings)
{
    return findings != nullptr && findings->size >= offsetof(validate_findings, warnings);
}

void give_findings(const FileOutcome& outcome, validate_status error, validate_findings* findings)
{
    validate_findings full{};
    full.status = error;
    if (error != VALIDATE_OK) {
        full.error_number = outcome.error;
    } else {
        const Findings& found = outcome.findings;
        full.verdict = verdict_of(found.verdict);
        copy_check(found, full);
        full.key_lines = found.key_lines;
        copy_text(full.key_prefix, found.key_prefix);
        full.warning_count = found.warning_count;
        const std::size_t kept = std::min(found.warnings.size(), kWarningsKept);
        for (std::size_t i = 0; i < kept; ++i) {
            full.warnings[i] = warning_of(found.warnings[i]);
        }
    }
    // Only as many bytes as the caller's struct has: its size field stays.
    const std::size_t room = std::min(findings->size, sizeof full);
    constexpr std::size_t kFrom = sizeof full.size;
    std::memcpy(reinterpret_cast<unsigned char*>(findings) + kFrom,
                reinterpret_cast<const unsigned char*>(&full) + kFrom, room - kFrom);
}
