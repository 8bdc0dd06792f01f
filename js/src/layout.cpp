// SPDX-License-Identifier: MIT
// Where the fields of validate_findings and validate_warning lie in the
// module's memory, for the package's JavaScript, which reads them there: the
// compiler's answer rather than a copy of it that could drift.
#include <cstddef>
#include <cstdint>

#include "validate.h"

namespace {

// The order the JavaScript reads them in (js/lib/library.js, layoutNames).
const std::uint32_t layout[] = {
    sizeof(validate_findings),
    offsetof(validate_findings, size),
    offsetof(validate_findings, status),
    offsetof(validate_findings, verdict),
    offsetof(validate_findings, error_number),
    offsetof(validate_findings, digest),
    offsetof(validate_findings, expected),
    offsetof(validate_findings, found),
    offsetof(validate_findings, found_line),
    offsetof(validate_findings, key_line),
    offsetof(validate_findings, key_line_number),
    offsetof(validate_findings, key_lines),
    offsetof(validate_findings, digested_pieces),
    offsetof(validate_findings, ignored_pieces),
    offsetof(validate_findings, signature_pieces),
    offsetof(validate_findings, warning_count),
    offsetof(validate_findings, warnings),
    sizeof(validate_warning),
    offsetof(validate_warning, kind),
    offsetof(validate_warning, slot),
    offsetof(validate_warning, line),
    offsetof(validate_warning, column),
    offsetof(validate_warning, last_column),
    VALIDATE_LINE_SIZE,
    VALIDATE_DIGEST_SIZE,
    VALIDATE_FINDINGS_WARNINGS,
};

} // namespace

extern "C" __attribute__((visibility("default"))) const std::uint32_t* validate_js_layout(
    std::uint32_t* count)
{
    *count = sizeof layout / sizeof layout[0];
    return layout;
}
