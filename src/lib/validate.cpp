// SPDX-License-Identifier: MIT
// The C interface of 1.1: each call catches what the C++ inside may throw,
// and every state it uses is the caller's or the call's own.
#include "validate.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "core/explain.hpp"
#include "core/reader.hpp"
#include "core/sign.hpp"
#include "lib/checker.hpp"

namespace {

// The signed file adds at most a line end to the last line and two
// signature lines of 65 characters and CR LF.
constexpr std::size_t kSignGrowth = 2 + 2 * (kComparedLength + 2);

void clear_result(validate_result* result, validate_status status)
{
    if (result != nullptr) {
        *result = validate_result{};
        result->status = status;
    }
}

validate_status argument_error(validate_result* result)
{
    clear_result(result, VALIDATE_ERROR_ARGUMENT);
    return VALIDATE_ERROR_ARGUMENT;
}

// The input given in chunks, ended and checked; restarted after.
validate_status final_result(validate_checker& checker, validate_result* result)
{
    BatchChecker& batch = checker.batch;
    check_feed_end(batch.stream, batch.contexts[0]);
    FileOutcome outcome{FileState::checked, 0, {}};
    collect_findings(batch.contexts[0], outcome.findings);
    give_result(outcome, VALIDATE_OK, result);
    restart(checker);
    return verdict_status(outcome.findings);
}

// Checks count files, up to kFilesTogether, with the checker.
void check_files_together(validate_checker& checker, const char* const* paths, std::size_t count,
                          validate_status* statuses, validate_result* results)
{
    FileOutcome outcomes[kFilesTogether];
    check_batch(checker.batch, paths, count, outcomes, BatchOptions{});
    for (std::size_t i = 0; i < count; ++i) {
        const validate_status error = error_of(outcomes[i]);
        give_result(outcomes[i], error, results != nullptr ? &results[i] : nullptr);
        statuses[i] = error != VALIDATE_OK ? error : verdict_status(outcomes[i].findings);
    }
}

Bytes bytes_of(const void* data, std::size_t size)
{
    const auto* begin = static_cast<const unsigned char*>(data);
    return size == 0 ? Bytes() : Bytes(begin, begin + size);
}

} // namespace

extern "C" {

const char* validate_version(void)
{
    return VALIDATE_LIBRARY_VERSION;
}

const char* validate_status_message(validate_status status)
{
    // C passes any int as the enum, where C++ allows only the values its
    // enumerators span: the bytes are read as an int.
    static_assert(sizeof status == sizeof(int));
    int value = 0;
    std::memcpy(&value, &status, sizeof value);
    switch (value) {
    case VALIDATE_PASSED:
        return "the signature lines match";
    case VALIDATE_ALTERED:
        return "the file data may have been altered";
    case VALIDATE_ERROR_OPEN:
        return "the file cannot be opened";
    case VALIDATE_ERROR_READ:
        return "the file cannot be read";
    case VALIDATE_ERROR_MEMORY:
        return "out of memory";
    case VALIDATE_ERROR_ARGUMENT:
        return "a null pointer where a value is needed";
    case VALIDATE_ERROR_SPACE:
        return "the output buffer is too small";
    case VALIDATE_ERROR_SIGN:
        return "the file cannot be signed so that it passes the check";
    }
    return "unknown status";
}

validate_checker* validate_checker_new(void)
{
    validate_checker* checker = new (std::nothrow) validate_checker();
    if (checker == nullptr) {
        return nullptr;
    }
    try {
        // Room for the warnings kept, so that taking chunks never allocates.
        checker->batch.warnings = WarningCollector(kWarningsKept);
        checker->batch.warnings.reserve(kWarningsKept);
    } catch (...) {
        delete checker;
        return nullptr;
    }
    restart(*checker);
    return checker;
}

void validate_checker_free(validate_checker* checker)
{
    delete checker;
}

validate_status validate_checker_reset(validate_checker* checker)
{
    if (checker == nullptr) {
        return VALIDATE_ERROR_ARGUMENT;
    }
    restart(*checker);
    return VALIDATE_OK;
}

validate_status validate_checker_update(validate_checker* checker, const void* data, size_t size)
{
    if (checker == nullptr || (data == nullptr && size > 0)) {
        return VALIDATE_ERROR_ARGUMENT;
    }
    check_feed(checker->batch.stream, checker->batch.contexts[0],
               static_cast<const unsigned char*>(data), size);
    return VALIDATE_OK;
}

validate_status validate_checker_final(validate_checker* checker, validate_result* result)
{
    if (checker == nullptr) {
        return argument_error(result);
    }
    return final_result(*checker, result);
}

validate_status validate_check_bytes(const void* data, size_t size, validate_result* result)
{
    if (data == nullptr && size > 0) {
        return argument_error(result);
    }
    validate_checker* checker = validate_checker_new();
    if (checker == nullptr) {
        clear_result(result, VALIDATE_ERROR_MEMORY);
        return VALIDATE_ERROR_MEMORY;
    }
    validate_checker_update(checker, data, size);
    const validate_status status = validate_checker_final(checker, result);
    validate_checker_free(checker);
    return status;
}

validate_status validate_checker_check_file(validate_checker* checker, const char* path,
                                            validate_result* result)
{
    if (checker == nullptr || path == nullptr) {
        return argument_error(result);
    }
    validate_status status = VALIDATE_OK;
    check_files_together(*checker, &path, 1, &status, result);
    restart(*checker);
    return status;
}

validate_status validate_checker_check_files(validate_checker* checker, const char* const* paths,
                                             size_t count, validate_result* results)
{
    if (checker == nullptr || (count > 0 && (paths == nullptr || results == nullptr))) {
        return VALIDATE_ERROR_ARGUMENT;
    }
    validate_status first_not_passed = VALIDATE_PASSED;
    for (std::size_t start = 0; start < count; start += kFilesTogether) {
        const std::size_t together = std::min(kFilesTogether, count - start);
        validate_status statuses[kFilesTogether];
        check_files_together(*checker, paths + start, together, statuses, results + start);
        for (std::size_t i = 0; i < together && first_not_passed == VALIDATE_PASSED; ++i) {
            first_not_passed = statuses[i];
        }
    }
    restart(*checker);
    return first_not_passed;
}

validate_status validate_check_file(const char* path, validate_result* result)
{
    if (path == nullptr) {
        return argument_error(result);
    }
    validate_checker* checker = validate_checker_new();
    if (checker == nullptr) {
        clear_result(result, VALIDATE_ERROR_MEMORY);
        return VALIDATE_ERROR_MEMORY;
    }
    const validate_status status = validate_checker_check_file(checker, path, result);
    validate_checker_free(checker);
    return status;
}

size_t validate_sign_bound(size_t size)
{
    return size > SIZE_MAX - kSignGrowth ? SIZE_MAX : size + kSignGrowth;
}

validate_status validate_sign(const void* data, size_t size, void* out, size_t capacity,
                              size_t* out_size)
{
    if ((data == nullptr && size > 0) || (out == nullptr && capacity > 0) || out_size == nullptr) {
        return VALIDATE_ERROR_ARGUMENT;
    }
    *out_size = 0;
    try {
        const SignResult signed_file = sign_bytes(bytes_of(data, size));
        if (!signed_file.signed_ok) {
            return VALIDATE_ERROR_SIGN;
        }
        *out_size = signed_file.output.size();
        if (capacity < signed_file.output.size()) {
            return VALIDATE_ERROR_SPACE;
        }
        std::copy(signed_file.output.begin(), signed_file.output.end(),
                  static_cast<unsigned char*>(out));
        return VALIDATE_PASSED;
    } catch (...) {
        // Only allocations throw here.
        return VALIDATE_ERROR_MEMORY;
    }
}

validate_status validate_explain(const void* data, size_t size, const char* name, char* out,
                                 size_t capacity, size_t* length)
{
    if ((data == nullptr && size > 0) || name == nullptr || (out == nullptr && capacity > 0) ||
        length == nullptr) {
        return VALIDATE_ERROR_ARGUMENT;
    }
    *length = 0;
    try {
        const Findings findings = explain_bytes(bytes_of(data, size));
        const bool passes = passed(findings);
        const std::string report =
            format_explanation(findings, name) + (passes ? kPassedVerdict : kFailedVerdict);
        *length = report.size();
        if (capacity > 0) {
            const std::size_t written = std::min(report.size(), capacity - 1);
            std::memcpy(out, report.data(), written);
            out[written] = '\0';
        }
        if (capacity <= report.size()) {
            return VALIDATE_ERROR_SPACE;
        }
        return passes ? VALIDATE_PASSED : VALIDATE_ALTERED;
    } catch (...) {
        return VALIDATE_ERROR_MEMORY;
    }
}

} // extern "C"
