/* SPDX-License-Identifier: MIT */
/* The C interface as a C program uses it: built as C against the static
 * library, so that it runs under the sanitizers and emulators too. */
#include "validate.h"

#include <stdio.h>
#include <string.h>

/* Not C11 <threads.h>: mingw has none, and clang 14's ThreadSanitizer does
 * not see glibc's thrd_create. */
#if defined(__has_include)
#if __has_include(<pthread.h>)
#include <pthread.h>
#define HAVE_PTHREADS 1
#endif
#endif

static int passed, failed;
#define CHECK(ok)                                                                                  \
    ((ok) ? (void)++passed                                                                         \
          : (void)(++failed, fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #ok)))
#define SAME(a, b) (memcmp(&(a), &(b), sizeof(a)) == 0)
#define TEN "0123456789"
#define HEX64 "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF"

typedef struct {
    unsigned char data[4096];
    size_t size;
} input;

static const char *const examples[2] = {VALIDATE_EXAMPLES "/calibration.dat",
                                        VALIDATE_EXAMPLES "/calibration-altered.dat"};

/* CR LF, lone CRs, NULs, key lines, long lines and a 0x1A. */
#define BASE(text) {text, sizeof text - 1}
static const struct { const char *text; size_t size; } bases[] = {
    BASE(""),
    BASE("HQDHWHARDWAREVERSION=3.2\r\nA first\r\n# note\r\nB second\r\n"),
    BASE("A1\nHQDHWHARDWAREVERSION=1\nB2\nHQDHWHARDWAREVERSION=2" TEN TEN TEN TEN TEN TEN "\nC"),
    BASE("A x\0y\n\0\0\nB tail\r\n\0"),
    BASE("A" TEN TEN TEN TEN TEN TEN TEN "01234567G" HEX64 "\n"
         "B" TEN TEN TEN TEN TEN TEN TEN TEN "#\n"),
    BASE("A before\r\nB\x1A" "A after\r\nG" HEX64 "\r\n"),
    BASE("A\rB\r\r\nC\r\n\rH\r"),
};
#define INPUTS (2 + 4 * (int)(sizeof bases / sizeof bases[0]))

/* Inputs 0 and 1 are the examples; then each base with 0, 1, 2 (signed)
 * and 3 signature lines. */
static void make_input(int i, input *in)
{
    static const char extra[] = "G" HEX64 "\r\n";
    const char *text;
    if (i < 2) {
        FILE *file = fopen(examples[i], "rb");
        in->size = file != NULL ? fread(in->data, 1, sizeof in->data, file) : 0;
        if (file != NULL) fclose(file);
        return;
    }
    i -= 2;
    text = bases[i / 4].text;
    in->size = bases[i / 4].size;
    memcpy(in->data, text, in->size);
    if (i % 4 >= 2) validate_sign(text, in->size, in->data, sizeof in->data, &in->size);
    if (i % 2 == 1) {
        memcpy(in->data + in->size, extra, sizeof extra - 1);
        in->size += sizeof extra - 1;
    }
}

/* Chunks of 0 to most bytes, or all of 1 byte. */
static validate_status check_in_chunks(validate_checker *checker, const input *in, size_t most,
                                       validate_result *result)
{
    static unsigned random = 1;
    size_t at, n;
    memset(result, 0, sizeof *result);
    for (at = 0; at < in->size; at += n) {
        random = random * 1103515245u + 12345u;
        n = most == 1 ? 1 : (random >> 16) % (most + 1);
        n = n < in->size - at ? n : in->size - at;
        validate_checker_update(checker, in->data + at, n);
    }
    return validate_checker_final(checker, result);
}

static void check_sign_and_explain(const input *in, validate_status status)
{
    static input out, again;
    static char report[8192], part[16];
    const char *verdict = status == VALIDATE_PASSED
                              ? "Validation check passed, data indicated as correct\n"
                              : "Validation check failed\nFile data may have been altered\n";
    size_t needed = 0, length = 0, whole = 0;
    CHECK(validate_sign(in->data, in->size, NULL, 0, &needed) == VALIDATE_ERROR_SPACE);
    CHECK(validate_sign(in->data, in->size, out.data, needed, &out.size) == VALIDATE_PASSED &&
          out.size == needed && validate_sign_bound(in->size) >= needed);
    CHECK(validate_check_bytes(out.data, out.size, NULL) == VALIDATE_PASSED);
    CHECK(validate_sign(out.data, out.size, again.data, sizeof again.data, &again.size) ==
              VALIDATE_PASSED && again.size == out.size && !memcmp(again.data, out.data, out.size));

    CHECK(validate_explain(in->data, in->size, "f", report, sizeof report, &whole) == status);
    CHECK(whole == strlen(report) && whole > strlen(verdict) &&
          strcmp(report + whole - strlen(verdict), verdict) == 0);
    CHECK(validate_explain(in->data, in->size, "f", part, sizeof part, &length) ==
              VALIDATE_ERROR_SPACE && length == whole && strlen(part) == sizeof part - 1 &&
          strncmp(part, report, sizeof part - 1) == 0);
    CHECK(validate_explain(in->data, in->size, "f", report, whole, &length) ==
              VALIDATE_ERROR_SPACE && strlen(report) == whole - 1);
}

/* What an error leaves in a result: its status and error number alone. */
static int empty_beyond_status(const validate_result *result)
{
    static const validate_result zero;
    const size_t from = offsetof(validate_result, digest);
    const size_t to = offsetof(validate_result, key_line) + sizeof zero.key_line;
    return memcmp((const char *)result + from, (const char *)&zero + from, to - from) == 0 &&
           result->key_line_number == 0 && result->digested_pieces == 0 &&
           result->ignored_pieces == 0 && result->signature_pieces == 0;
}

#ifdef HAVE_PTHREADS
static input thread_inputs[3];
static validate_result thread_expected[3];

static void *check_many_times(void *same)
{
    validate_checker *checker = validate_checker_new();
    validate_result result;
    int ok = checker != NULL, i, k;
    for (i = 0; i < 200 && ok; ++i) {
        for (k = 0; k < 5; ++k) {
            memset(&result, 0, sizeof result);
            if (k < 3) {
                validate_checker_update(checker, thread_inputs[k].data, thread_inputs[k].size);
                validate_checker_final(checker, &result);
            } else {
                validate_check_file(examples[k - 3], &result);
            }
            ok &= SAME(result, thread_expected[k % 3]);
        }
    }
    validate_checker_free(checker);
    *(int *)same = ok;
    return NULL;
}
#endif

int main(void)
{
    static const size_t chunk_sizes[] = {1, 2, 5, 90, 5000};
    validate_checker *checker = validate_checker_new();
    validate_result whole, other;
    validate_status status;
    input in;
    char version[32];
    size_t size, i;
    int n;

    for (n = 0; n < INPUTS; ++n) {
        make_input(n, &in);
        memset(&whole, 0, sizeof whole);
        status = validate_check_bytes(in.data, in.size, &whole);
        /* A third signature line after a 0x1A is never read. */
        CHECK((n > 1 && n % 4 == 1) || status == (n % 4 ? VALIDATE_ALTERED : VALIDATE_PASSED));
        if (n < 2) {
            memset(&other, 0, sizeof other);
            CHECK(validate_check_file(examples[n], &other) == status && SAME(whole, other));
            validate_checker_update(checker, "G left over\n", 12);
            CHECK(validate_checker_check_file(checker, examples[n], &other) == status &&
                  SAME(whole, other));
        }
        for (i = 0; i < sizeof chunk_sizes / sizeof chunk_sizes[0]; ++i) {
            validate_checker_update(checker, "G left over\n", 12);
            CHECK(validate_checker_reset(checker) == VALIDATE_PASSED);
            CHECK(check_in_chunks(checker, &in, chunk_sizes[i], &other) == status &&
                  SAME(whole, other));
        }
        check_sign_and_explain(&in, status);
    }

    for (n = 0; n < 2; ++n) { /* a missing file, a folder */
        memset(&whole, 0xA5, sizeof whole);
        CHECK(validate_check_file(n ? VALIDATE_EXAMPLES : VALIDATE_EXAMPLES "/none", &whole) ==
                  VALIDATE_ERROR_OPEN && whole.status == VALIDATE_ERROR_OPEN &&
              whole.error_number != 0 && empty_beyond_status(&whole));
    }
    {
        const validate_status statuses[] = {
            validate_check_bytes(NULL, 1, &whole), validate_check_file(NULL, &other),
            validate_checker_check_file(NULL, "f", &other),
            validate_checker_check_file(checker, NULL, &other),
            validate_checker_check_files(NULL, examples, 2, &other),
            validate_checker_check_files(checker, NULL, 1, &other),
            validate_checker_check_files(checker, examples, 1, NULL),
            validate_checker_reset(NULL), validate_checker_update(NULL, "A", 1),
            validate_checker_update(checker, NULL, 1), validate_checker_final(NULL, NULL),
            validate_sign(NULL, 1, in.data, 9, &size), validate_sign("A", 1, NULL, 9, &size),
            validate_sign("A", 1, in.data, 9, NULL),
            validate_explain(NULL, 1, "f", version, 9, &size),
            validate_explain("A", 1, NULL, version, 9, &size),
            validate_explain("A", 1, "f", NULL, 9, &size),
            validate_explain("A", 1, "f", version, 9, NULL)};
        for (i = 0; i < sizeof statuses / sizeof statuses[0]; ++i) {
            CHECK(statuses[i] == VALIDATE_ERROR_ARGUMENT);
        }
        CHECK(whole.status == VALIDATE_ERROR_ARGUMENT && other.status == VALIDATE_ERROR_ARGUMENT &&
              empty_beyond_status(&whole));
    }
    CHECK(validate_check_bytes(NULL, 0, NULL) == VALIDATE_ALTERED);
    CHECK(validate_checker_update(checker, NULL, 0) == VALIDATE_PASSED);
    validate_checker_free(checker);
    validate_checker_free(NULL);

    snprintf(version, sizeof version, "%d.%d.%d", VALIDATE_VERSION_MAJOR, VALIDATE_VERSION_MINOR,
             VALIDATE_VERSION_PATCH);
    CHECK(strcmp(validate_version(), version) == 0);
    for (n = VALIDATE_PASSED; n <= VALIDATE_ERROR_SIGN + 1; ++n) {
        CHECK(validate_status_message((validate_status)n) != NULL &&
              validate_status_message((validate_status)n)[0] != '\0');
    }

#ifdef HAVE_PTHREADS
    {
        pthread_t threads[8];
        int same[8];
        for (n = 0; n < 3; ++n) {
            make_input(n < 2 ? n : 2 + 2 * 4 + 2, &thread_inputs[n]);
            validate_check_bytes(thread_inputs[n].data, thread_inputs[n].size, &thread_expected[n]);
        }
        for (n = 0; n < 8; ++n) {
            CHECK(pthread_create(&threads[n], NULL, check_many_times, &same[n]) == 0);
        }
        for (n = 0; n < 8; ++n) CHECK(pthread_join(threads[n], NULL) == 0 && same[n]);
    }
#else
    printf("no threads here: the check on many threads at once is skipped\n");
#endif
    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
