// SPDX-License-Identifier: MIT
// The C interface of 1.2: the checks with their findings, the verdict kept
// apart from errors, and the texts of warnings and reports.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "core/explain.hpp"
#include "core/reader.hpp"
#include "lib/checker.hpp"
#include "validate.h"

void restart(validate_checker& checker)
{
    BatchChecker& batch = checker.batch;
    batch.warnings.start();
    check_feed_open(batch.stream, batch.contexts[0], &batch.warnings);
}

namespace {

validate_status argument_error(validate_findings* findings)
{
    if (findings_size_allowed(findings)) {
        give_findings(FileOutcome{FileState::not_given, 0, {}}, VALIDATE_ERROR_ARGUMENT, findings);
    }
    return VALIDATE_ERROR_ARGUMENT;
}

validate_status memory_error(validate_findings* findings)
{
    give_findings(FileOutcome{FileState::not_given, 0, {}}, VALIDATE_ERROR_MEMORY, findings);
    return VALIDATE_ERROR_MEMORY;
}

// The text, with a NUL after it, when capacity has room for both; else
// nothing written and VALIDATE_ERROR_SPACE.
validate_status give_text(const std::string& text, char* out, std::size_t capacity,
                          std::size_t* length)
{
    *length = text.size();
    if (capacity <= text.size()) {
        return VALIDATE_ERROR_SPACE;
    }
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\0';
    return VALIDATE_OK;
}

// Checks count files, up to kFilesTogether, their findings at stride bytes
// from one another; the first error, or VALIDATE_OK.
validate_status inspect_together(validate_checker& checker, const char* const* paths,
                                 std::size_t count, unsigned char* findings, std::size_t stride)
{
    FileOutcome outcomes[kFilesTogether];
    check_batch(checker.batch, paths, count, outcomes, BatchOptions{nullptr, true});
    validate_status first_error = VALIDATE_OK;
    for (std::size_t i = 0; i < count; ++i) {
        const validate_status error = error_of(outcomes[i]);
        give_findings(outcomes[i], error, reinterpret_cast<validate_findings*>(findings + i * stride));
        first_error = first_error == VALIDATE_OK ? error : first_error;
    }
    return first_error;
}

} // namespace

extern "C" {

validate_status validate_checker_finish(validate_checker* checker, validate_findings* findings)
{
    if (checker == nullptr || !findings_size_allowed(findings)) {
        return argument_error(findings);
    }
    try {
        BatchChecker& batch = checker->batch;
        check_feed_end(batch.stream, batch.contexts[0]);
        FileOutcome outcome{FileState::checked, 0, {}};
        collect_findings(batch.contexts[0], outcome.findings);
        batch.warnings.finish(batch.stream, batch.contexts[0], outcome.findings);
        give_findings(outcome, VALIDATE_OK, findings);
        restart(*checker);
        return VALIDATE_OK;
    } catch (...) {
        restart(*checker);
        return memory_error(findings);
    }
}

validate_status validate_inspect_bytes(const void* data, size_t size, validate_findings* findings)
{
    if ((data == nullptr && size > 0) || !findings_size_allowed(findings)) {
        return argument_error(findings);
    }
    validate_checker* checker = validate_checker_new();
    if (checker == nullptr) {
        return memory_error(findings);
    }
    validate_checker_update(checker, data, size);
    const validate_status status = validate_checker_finish(checker, findings);
    validate_checker_free(checker);
    return status;
}

validate_status validate_checker_inspect_files(validate_checker* checker, const char* const* paths,
                                               size_t count, validate_findings* findings)
{
    if (checker == nullptr || (count > 0 && (paths == nullptr || findings == nullptr))) {
        return VALIDATE_ERROR_ARGUMENT;
    }
    if (count == 0) {
        return VALIDATE_OK;
    }
    const std::size_t stride = findings[0].size;
    auto* const bytes = reinterpret_cast<unsigned char*>(findings);
    if (!findings_size_allowed(findings)) {
        return VALIDATE_ERROR_ARGUMENT;
    }
    validate_status first_error = VALIDATE_OK;
    try {
        for (std::size_t start = 0; start < count; start += kFilesTogether) {
            const std::size_t together = std::min(kFilesTogether, count - start);
            const validate_status error =
                inspect_together(*checker, paths + start, together, bytes + start * stride, stride);
            first_error = first_error == VALIDATE_OK ? error : first_error;
        }
    } catch (...) {
        first_error = VALIDATE_ERROR_MEMORY;
    }
    restart(*checker);
    return first_error;
}

validate_status validate_checker_inspect_file(validate_checker* checker, const char* path,
                                              validate_findings* findings)
{
    if (checker == nullptr || path == nullptr || !findings_size_allowed(findings)) {
        return argument_error(findings);
    }
    const validate_status status = validate_checker_inspect_files(checker, &path, 1, findings);
    return status == VALIDATE_ERROR_MEMORY ? memory_error(findings) : status;
}

validate_status validate_inspect_file(const char* path, validate_findings* findings)
{
    if (path == nullptr || !findings_size_allowed(findings)) {
        return argument_error(findings);
    }
    validate_checker* checker = validate_checker_new();
    if (checker == nullptr) {
        return memory_error(findings);
    }
    const validate_status status = validate_checker_inspect_file(checker, path, findings);
    validate_checker_free(checker);
    return status;
}

const char* validate_warning_kind_name(validate_warning_kind kind)
{
    // C passes any int as the enum: the bytes are read as an int.
    int value = 0;
    static_assert(sizeof kind == sizeof value);
    std::memcpy(&value, &kind, sizeof value);
    return value >= VALIDATE_WARNING_AFTER_EOF_MARK && value <= VALIDATE_WARNING_EXTRA_SIGNATURE
               ? warning_kind_name(static_cast<WarningKind>(value))
               : "unknown";
}

validate_status validate_warning_text(const validate_warning* warning, char* out, size_t capacity,
                                      size_t* length)
{
    if (warning == nullptr || (out == nullptr && capacity > 0) || length == nullptr) {
        return VALIDATE_ERROR_ARGUMENT;
    }
    try {
        const Warning inside{static_cast<WarningKind>(warning->kind), warning->slot, warning->line,
                             warning->column, warning->last_column, warning->other_line,
                             warning->count, warning->byte};
        return give_text(warning_text(inside), out, capacity, length);
    } catch (...) {
        return VALIDATE_ERROR_MEMORY;
    }
}

validate_status validate_explain_report(const void* data, size_t size, const char* name, char* out,
                                        size_t capacity, size_t* length,
                                        validate_findings* findings)
{
    if ((data == nullptr && size > 0) || name == nullptr || (out == nullptr && capacity > 0) ||
        length == nullptr || (findings != nullptr && !findings_size_allowed(findings))) {
        return VALIDATE_ERROR_ARGUMENT;
    }
    *length = 0;
    try {
        const auto* begin = static_cast<const unsigned char*>(data);
        const Bytes file = size == 0 ? Bytes() : Bytes(begin, begin + size);
        FileOutcome outcome{FileState::checked, 0, explain_bytes(file)};
        const std::string report = format_explanation(outcome.findings, name) +
                                   (passed(outcome.findings) ? kPassedVerdict : kFailedVerdict);
        if (findings != nullptr) {
            give_findings(outcome, VALIDATE_OK, findings);
        }
        return give_text(report, out, capacity, length);
    } catch (...) {
        return VALIDATE_ERROR_MEMORY;
    }
}

} // extern "C"
