// SPDX-License-Identifier: MIT
// The C interface: each call catches what the C++ inside may throw, and
// every state it uses is the caller's or the call's own.
#include "validate.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "check/check.hpp"
#include "datasig/explain.hpp"
#include "datasig/sign.hpp"
#include "tool/reader.hpp"

// Files validate_checker_check_files takes at a time: their key set-ups run
// side by side.
constexpr std::size_t kFilesTogether = kCipherSetupsTogether;

// A checker checks one file at a time with the first context, and up to
// kFilesTogether with all of them. Each keeps the key set-up of its last file.
struct validate_checker {
    TextStream stream;
    CheckContext contexts[kFilesTogether];
};

namespace {

// The signed file adds at most a line end to the last line and two
// signature lines of 65 characters and CR LF.
constexpr std::size_t kSignGrowth = 2 + 2 * (kComparedLength + 2);

void copy_text(char (&to)[VALIDATE_LINE_SIZE], const char* from, std::size_t most)
{
    const std::size_t length = std::min({std::strlen(from), most, sizeof to - 1});
    std::memcpy(to, from, length);
    to[length] = '\0';
}

void clear_result(validate_result* result, validate_status status, int error_number = 0)
{
    if (result != nullptr) {
        *result = validate_result{};
        result->status = status;
        result->error_number = error_number;
    }
}

// The verdict of a finished check, and what the check found.
validate_status finish_result(CheckContext& context, validate_result* result)
{
    const validate_status status = check_passes(context) ? VALIDATE_PASSED : VALIDATE_ALTERED;
    clear_result(result, status);
    if (result == nullptr) {
        return status;
    }
    std::memcpy(result->digest, context.digest, sizeof result->digest);
    char expected[2][kSignatureLineSize];
    check_expected_lines(context, expected[0], expected[1]);
    const char* const found[2] = {context.slots.first, context.slots.second};
    for (int slot = 0; slot < 2; ++slot) {
        copy_text(result->expected[slot], expected[slot], kComparedLength);
        copy_text(result->found[slot], found[slot], kSignatureLineSize);
        result->found_line[slot] = context.found_line[slot];
    }
    copy_text(result->key_line, context.key_line, kKeyLineSize);
    result->key_line_number = context.key_line_number;
    result->digested_pieces = context.digested_pieces;
    result->ignored_pieces = context.ignored_pieces;
    result->signature_pieces = context.signature_pieces;
    return status;
}

validate_status argument_error(validate_result* result)
{
    clear_result(result, VALIDATE_ERROR_ARGUMENT);
    return VALIDATE_ERROR_ARGUMENT;
}

// Reads the file at path whole into context. VALIDATE_PASSED when it was read
// to its end, the verdict still to be decided; else the failed open or read,
// given to result too.
validate_status read_file(TextStream& stream, CheckContext& context, const char* path,
                          validate_result* result)
{
    errno = 0;
    std::FILE* file = open_data_file(path);
    if (file == nullptr) {
        clear_result(result, VALIDATE_ERROR_OPEN, errno);
        return VALIDATE_ERROR_OPEN;
    }
    text_stream_open(stream, read_from_file, file);
    const bool read_to_end = check_stream(stream, context);
    const int read_error = errno;
    std::fclose(file);
    if (!read_to_end) {
        clear_result(result, VALIDATE_ERROR_READ, read_error);
        return VALIDATE_ERROR_READ;
    }
    return VALIDATE_PASSED;
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
    if (checker != nullptr) {
        check_feed_open(checker->stream, checker->contexts[0]);
    }
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
    check_feed_open(checker->stream, checker->contexts[0]);
    return VALIDATE_PASSED;
}

validate_status validate_checker_update(validate_checker* checker, const void* data, size_t size)
{
    if (checker == nullptr || (data == nullptr && size > 0)) {
        return VALIDATE_ERROR_ARGUMENT;
    }
    check_feed(checker->stream, checker->contexts[0], static_cast<const unsigned char*>(data), size);
    return VALIDATE_PASSED;
}

validate_status validate_checker_final(validate_checker* checker, validate_result* result)
{
    if (checker == nullptr) {
        return argument_error(result);
    }
    check_feed_end(checker->stream, checker->contexts[0]);
    const validate_status status = finish_result(checker->contexts[0], result);
    check_feed_open(checker->stream, checker->contexts[0]);
    return status;
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
    CheckContext& context = checker->contexts[0];
    validate_status status = read_file(checker->stream, context, path, result);
    if (status == VALIDATE_PASSED) {
        status = finish_result(context, result);
    }
    check_feed_open(checker->stream, context);
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
        CheckContext* read[kFilesTogether];
        std::size_t read_count = 0;
        for (std::size_t i = 0; i < together; ++i) {
            const char* path = paths[start + i];
            statuses[i] = path == nullptr ? argument_error(&results[start + i])
                                          : read_file(checker->stream, checker->contexts[i], path,
                                                      &results[start + i]);
            if (statuses[i] == VALIDATE_PASSED) {
                read[read_count++] = &checker->contexts[i];
            }
        }
        prepare_key_schedules(read, read_count);
        for (std::size_t i = 0; i < together; ++i) {
            if (statuses[i] == VALIDATE_PASSED) {
                statuses[i] = finish_result(checker->contexts[i], &results[start + i]);
            }
            if (first_not_passed == VALIDATE_PASSED) {
                first_not_passed = statuses[i];
            }
        }
    }
    check_feed_open(checker->stream, checker->contexts[0]);
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
        const Explanation explanation = explain_bytes(bytes_of(data, size));
        const bool passed = explanation.check.passed;
        const std::string report = format_explanation(explanation, name) +
                                   (passed ? kPassedVerdict : kFailedVerdict);
        *length = report.size();
        if (capacity > 0) {
            const std::size_t written = std::min(report.size(), capacity - 1);
            std::memcpy(out, report.data(), written);
            out[written] = '\0';
        }
        if (capacity <= report.size()) {
            return VALIDATE_ERROR_SPACE;
        }
        return passed ? VALIDATE_PASSED : VALIDATE_ALTERED;
    } catch (...) {
        return VALIDATE_ERROR_MEMORY;
    }
}

} // extern "C"
