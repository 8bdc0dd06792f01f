/* SPDX-License-Identifier: MIT */
/* The calls that give a validate_findings, as a C program uses them: the
 * same check as the calls of 1.1, the warnings of datasig explain as data,
 * and no byte written past the size the caller gives. */
#include "validate.h"

#include <stdio.h>
#include <string.h>

static int passed, failed;
#define CHECK(ok)                                                                                  \
    ((ok) ? (void)++passed                                                                         \
          : (void)(++failed, fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #ok)))
#define SAME(a, b) (memcmp(&(a), &(b), sizeof(a)) == 0)
#define TEXT(text) text, sizeof text - 1
#define GUARD 0xA5

static const char *const examples[2] = {VALIDATE_EXAMPLES "/calibration.dat",
                                        VALIDATE_EXAMPLES "/calibration-altered.dat"};

/* Never signed, with three NULs on lines of their own and bytes after a
 * 0x1A: five warnings. */
static const char warned[] = "A one\0\nB two\0\nC three\0\n\x1A" "after";

static void start(validate_findings *findings)
{
    memset(findings, GUARD, sizeof *findings);
    findings->size = sizeof *findings;
}

/* What validate_result and validate_findings both hold agrees. */
static int agree(const validate_findings *f, const validate_result *r)
{
    return memcmp(f->digest, r->digest, sizeof f->digest) == 0 &&
           memcmp(f->expected, r->expected, sizeof f->expected) == 0 &&
           memcmp(f->found, r->found, sizeof f->found) == 0 &&
           f->found_line[0] == r->found_line[0] && f->found_line[1] == r->found_line[1] &&
           strcmp(f->key_line, r->key_line) == 0 && f->key_line_number == r->key_line_number &&
           f->digested_pieces == r->digested_pieces && f->ignored_pieces == r->ignored_pieces &&
           f->signature_pieces == r->signature_pieces &&
           (f->verdict == VALIDATE_VERDICT_PASSED) == (r->status == VALIDATE_PASSED);
}

static void check_a_file(const char *path)
{
    static unsigned char data[8192];
    static validate_findings whole, chunked, from_file;
    validate_result result;
    validate_checker *checker = validate_checker_new();
    FILE *file = fopen(path, "rb");
    size_t size = file != NULL ? fread(data, 1, sizeof data, file) : 0, i;
    if (file != NULL) fclose(file);

    start(&whole);
    CHECK(validate_inspect_bytes(data, size, &whole) == VALIDATE_OK && whole.status == VALIDATE_OK);
    validate_check_bytes(data, size, &result);
    CHECK(agree(&whole, &result));
    start(&chunked);
    for (i = 0; i < size; ++i) validate_checker_update(checker, data + i, 1);
    CHECK(validate_checker_finish(checker, &chunked) == VALIDATE_OK && SAME(whole, chunked));
    start(&from_file);
    CHECK(validate_checker_inspect_file(checker, path, &from_file) == VALIDATE_OK &&
          SAME(whole, from_file));
    validate_checker_free(checker);
}

/* The report of datasig explain holds the text of each warning, and its
 * buffer is written whole or not at all. */
static void check_report(void)
{
    static char report[8192], small[64], line[256];
    validate_findings findings;
    size_t length = 0, needed = 0, i;
    start(&findings);
    CHECK(validate_explain_report(TEXT(warned), "f", report, sizeof report, &length, &findings) ==
              VALIDATE_OK &&
          length == strlen(report));
    CHECK(findings.verdict == VALIDATE_VERDICT_UNSIGNED && findings.warning_count == 5);
    CHECK(strcmp(validate_warning_kind_name(findings.warnings[0].kind), "nul_byte") == 0 &&
          strcmp(validate_warning_kind_name((validate_warning_kind)99), "unknown") == 0);
    for (i = 0; i < findings.warning_count; ++i) {
        CHECK(validate_warning_text(&findings.warnings[i], line, sizeof line, &needed) ==
                  VALIDATE_OK &&
              strstr(report, line) != NULL);
    }
    memset(small, GUARD, sizeof small);
    CHECK(validate_explain_report(TEXT(warned), "f", small, sizeof small, &needed, NULL) ==
              VALIDATE_ERROR_SPACE &&
          needed == length && (unsigned char)small[0] == GUARD);
    CHECK(validate_explain_report(TEXT(warned), "f", report, length, &needed, NULL) ==
          VALIDATE_ERROR_SPACE);
    CHECK(validate_warning_text(&findings.warnings[0], small, 4, &needed) == VALIDATE_ERROR_SPACE &&
          needed > 4 && (unsigned char)small[0] == GUARD);
}

/* A caller built on a header whose struct is smaller: only its bytes are
 * written, the guard after them untouched. */
static void check_smaller_size(void)
{
    static struct {
        validate_findings findings;
        unsigned char guard[64];
    } caller;
    const size_t size = offsetof(validate_findings, warnings) + 2 * sizeof(validate_warning);
    size_t i;
    int untouched = 1;
    memset(&caller, GUARD, sizeof caller);
    caller.findings.size = size;
    CHECK(validate_inspect_bytes(TEXT(warned), &caller.findings) == VALIDATE_OK);
    CHECK(caller.findings.size == size && caller.findings.warning_count == 5 &&
          caller.findings.warnings[1].kind == VALIDATE_WARNING_NUL_BYTE &&
          caller.findings.warnings[1].line == 2 && caller.findings.warnings[1].column == 6);
    for (i = size; i < sizeof caller; ++i) untouched &= ((unsigned char *)&caller)[i] == GUARD;
    CHECK(untouched);

    memset(&caller, GUARD, sizeof caller);
    caller.findings.size = offsetof(validate_findings, warnings) - 1;
    CHECK(validate_inspect_bytes(TEXT(warned), &caller.findings) == VALIDATE_ERROR_ARGUMENT &&
          caller.guard[0] == GUARD && caller.findings.verdict != VALIDATE_VERDICT_UNSIGNED);
}

static void check_files_and_errors(void)
{
    const char *paths[3] = {examples[0], VALIDATE_EXAMPLES "/none", examples[1]};
    validate_findings findings[3];
    validate_checker *checker = validate_checker_new();
    int n;
    for (n = 0; n < 3; ++n) start(&findings[n]);
    CHECK(validate_checker_inspect_files(checker, paths, 3, findings) == VALIDATE_ERROR_OPEN);
    CHECK(findings[0].verdict == VALIDATE_VERDICT_PASSED && findings[0].status == VALIDATE_OK);
    CHECK(findings[1].status == VALIDATE_ERROR_OPEN && findings[1].error_number != 0 &&
          findings[1].verdict == VALIDATE_VERDICT_NONE && findings[1].warning_count == 0);
    CHECK(findings[2].verdict == VALIDATE_VERDICT_ALTERED);
    CHECK(validate_inspect_file(VALIDATE_EXAMPLES, &findings[0]) == VALIDATE_ERROR_OPEN);
    CHECK(validate_inspect_bytes(NULL, 1, &findings[0]) == VALIDATE_ERROR_ARGUMENT &&
          findings[0].status == VALIDATE_ERROR_ARGUMENT);
    CHECK(validate_inspect_bytes("A", 1, NULL) == VALIDATE_ERROR_ARGUMENT);
    CHECK(validate_checker_finish(NULL, &findings[0]) == VALIDATE_ERROR_ARGUMENT);
    CHECK(validate_checker_inspect_files(checker, paths, 0, NULL) == VALIDATE_OK);
    validate_checker_free(checker);
}

int main(void)
{
    check_a_file(examples[0]);
    check_a_file(examples[1]);
    check_report();
    check_smaller_size();
    check_files_and_errors();
    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
