/* SPDX-License-Identifier: MIT */
/*
 * libvalidate: tells whether a signed text data file has been altered, as
 * validate does, and signs and explains data files, as datasig does.
 *
 * Ownership and lifetime
 *   - Every pointer passed in is only read (or, for outputs, written) during
 *     the call; the library keeps none of them.
 *   - A validate_result is the caller's, filled in by the call it is given
 *     to; it holds no pointers.
 *   - A validate_checker is made by validate_checker_new and is the caller's
 *     until it passes it to validate_checker_free. One checker serves one
 *     thread at a time; it can check any number of inputs one after another.
 *   - Strings returned by validate_version and validate_status_message are
 *     constants: never freed, valid for as long as the library is loaded.
 *   - The library has no global state: any number of threads may check at
 *     once, each with its own checker and result. It prints nothing, never
 *     exits or aborts, and no C++ exception leaves it.
 *
 * Texts are NUL-terminated byte strings. File names are UTF-8 on every
 * platform, Windows included.
 */
#ifndef VALIDATE_H
#define VALIDATE_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(VALIDATE_STATIC)
#if defined(VALIDATE_BUILDING_LIBRARY)
#define VALIDATE_API __declspec(dllexport)
#else
#define VALIDATE_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define VALIDATE_API __attribute__((visibility("default")))
#else
#define VALIDATE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define VALIDATE_VERSION_MAJOR 1
#define VALIDATE_VERSION_MINOR 2
#define VALIDATE_VERSION_PATCH 0

/* The digest of a file's content lines: SHA-512, 64 bytes. */
#define VALIDATE_DIGEST_SIZE 64
/* Room for one line of a data file as the check reads it (a piece of at
 * most 79 characters, its line end) and a NUL. */
#define VALIDATE_LINE_SIZE 84

/* What a call returns. The 1.1 checks return a verdict here, PASSED or
 * ALTERED, or an error. The calls added in 1.2 keep the two apart: they
 * return VALIDATE_OK or an error, and give the verdict in a
 * validate_findings (its verdict field). */
typedef enum validate_status {
    VALIDATE_OK = 0,             /* done; the value that 1.1 calls name VALIDATE_PASSED */
    VALIDATE_PASSED = 0,         /* the signature lines match */
    VALIDATE_ALTERED = 1,        /* they do not, or are missing */
    VALIDATE_ERROR_OPEN = 2,     /* the file cannot be opened: missing, unreadable, a folder */
    VALIDATE_ERROR_READ = 3,     /* the file opened, but a read failed */
    VALIDATE_ERROR_MEMORY = 4,   /* out of memory */
    VALIDATE_ERROR_ARGUMENT = 5, /* a null pointer where one is not allowed */
    VALIDATE_ERROR_SPACE = 6,    /* the output buffer is too small; nothing is lost, see the call */
    VALIDATE_ERROR_SIGN = 7      /* the file cannot be signed so that it passes the check */
} validate_status;

/* What the check found. Filled in whole by every call that takes one, also
 * on an error (then all but status and error_number are zero or empty). */
typedef struct validate_result {
    validate_status status;
    /* The system's error number (errno) of a failed open or read; else 0. */
    int error_number;
    unsigned char digest[VALIDATE_DIGEST_SIZE];
    /* The signature lines the content requires: "G" and 64 uppercase
     * hexadecimal digits. */
    char expected[2][VALIDATE_LINE_SIZE];
    /* The file's first and second signature lines as read, line end
     * included ("" when missing). Only their first 65 characters count. */
    char found[2][VALIDATE_LINE_SIZE];
    /* The line each was read from, from 1; 0 when missing. */
    uint64_t found_line[2];
    /* The key line in effect (the last one), whole as it was digested, and
     * its line; "" and 0 when the file has none. */
    char key_line[VALIDATE_LINE_SIZE];
    uint64_t key_line_number;
    /* The pieces of at most 79 characters the file was read in, by class. */
    uint64_t digested_pieces;
    uint64_t ignored_pieces;
    uint64_t signature_pieces;
} validate_result;

/* The library's version, "MAJOR.MINOR.PATCH". */
VALIDATE_API const char *validate_version(void);

/* A short English text for a status, such as "the file cannot be opened". */
VALIDATE_API const char *validate_status_message(validate_status status);

/* Checks a whole data file held in memory. Returns VALIDATE_PASSED,
 * VALIDATE_ALTERED or an error; result (may be NULL) receives the details. */
VALIDATE_API validate_status validate_check_bytes(const void *data, size_t size,
                                                  validate_result *result);

/* Checks the data file at path, read as validate reads it. */
VALIDATE_API validate_status validate_check_file(const char *path, validate_result *result);

/* A streaming checker: new, then update with the file's bytes in any number
 * of chunks of any sizes (the result does not depend on how the bytes are
 * split), then final. final readies the checker for a new input; a checker
 * that checks many files keeps the key set-up of the last key line. */
typedef struct validate_checker validate_checker;

/* NULL when out of memory. */
VALIDATE_API validate_checker *validate_checker_new(void);
/* Frees the checker; NULL is allowed. */
VALIDATE_API void validate_checker_free(validate_checker *checker);
/* Starts a new input, dropping whatever was given since the last final. */
VALIDATE_API validate_status validate_checker_reset(validate_checker *checker);
/* Takes the next size bytes of the input. Returns VALIDATE_PASSED (0) when
 * it took them. Bytes after a 0x1A byte are taken but never read, as in a
 * file. */
VALIDATE_API validate_status validate_checker_update(validate_checker *checker, const void *data,
                                                     size_t size);
/* Ends the input and gives the verdict, as validate_check_bytes would on
 * the whole input. */
VALIDATE_API validate_status validate_checker_final(validate_checker *checker,
                                                    validate_result *result);

/* Checks the data file at path with the checker, as validate_check_file
 * does, dropping whatever was given to the checker since its last final. A
 * program that checks many files keeps a checker per thread: files in a row
 * that share a key line then set up its key once. */
VALIDATE_API validate_status validate_checker_check_file(validate_checker *checker,
                                                         const char *path,
                                                         validate_result *result);

/* Checks count files with the checker, results[i] for paths[i], as
 * validate_checker_check_file on each in turn would, but faster where they
 * have key lines of their own: up to eight key set-ups run side by side. A
 * NULL path gets VALIDATE_ERROR_ARGUMENT in its result alone. Returns
 * VALIDATE_PASSED when every file passed, else the status of the first that
 * did not; VALIDATE_ERROR_ARGUMENT, and no result written, when checker is
 * NULL, or paths or results is NULL while count is not 0. */
VALIDATE_API validate_status validate_checker_check_files(validate_checker *checker,
                                                          const char *const *paths, size_t count,
                                                          validate_result *results);

/* Signs a data file held in memory: its signature lines replaced by the two
 * it requires, as datasig sign writes it. The signed file, out_size bytes,
 * goes to out when capacity allows; otherwise VALIDATE_ERROR_SPACE, nothing
 * written, and *out_size says how much room it needs. out may be NULL when
 * capacity is 0. validate_sign_bound gives a capacity that always suffices. */
VALIDATE_API validate_status validate_sign(const void *data, size_t size, void *out,
                                           size_t capacity, size_t *out_size);
VALIDATE_API size_t validate_sign_bound(size_t size);

/* The report datasig explain prints for a data file held in memory, its
 * verdict lines included, with LF line ends; name is what it calls the file.
 * The report, *length bytes, is written to out with a NUL after it when
 * capacity has room for both; otherwise as much as fits, NUL-terminated
 * (when capacity > 0), and VALIDATE_ERROR_SPACE. Returns the verdict. */
VALIDATE_API validate_status validate_explain(const void *data, size_t size, const char *name,
                                              char *out, size_t capacity, size_t *length);

/* ---- Findings (1.2)
 *
 * What a check finds, beyond its verdict: everything validate_result holds,
 * and the warnings that datasig explain prints, as data. The caller sets
 * size to sizeof(validate_findings) before the call, and the library writes
 * no more than size bytes: a program built on this header keeps working
 * against a later library whose struct has grown at its end, and a later
 * program against this library gets the fields this one knows (the rest
 * left as the caller set them). This was chosen over accessor functions on
 * an opaque result so that a finding costs no allocation and no free, and
 * is read as plain fields, as in Win32's cbSize structs. Warnings past the
 * room that size leaves are counted in warning_count but not written. */

typedef enum validate_verdict {
    VALIDATE_VERDICT_NONE = 0,     /* no verdict: the file could not be checked (see status) */
    VALIDATE_VERDICT_PASSED = 1,   /* the signature lines match */
    VALIDATE_VERDICT_ALTERED = 2,  /* they do not: validate says the data may have been altered */
    VALIDATE_VERDICT_UNSIGNED = 3  /* the file has no signature line at all; it fails as an
                                    * altered file does, but was never signed */
} validate_verdict;

/* What the signature does not protect, or why a file cannot pass. */
typedef enum validate_warning_kind {
    VALIDATE_WARNING_AFTER_EOF_MARK = 1,      /* bytes after a 0x1A byte are never read;
                                               * count: how many */
    VALIDATE_WARNING_UNCHECKED_PART = 2,      /* a part of a long line past its 79th character
                                               * begins with a character that is not A, B, C or
                                               * H (byte): it is not checked */
    VALIDATE_WARNING_STRAY_SIGNATURE = 3,     /* a part of a long line begins with G and fills
                                               * signature slot slot */
    VALIDATE_WARNING_NUL_BYTE = 4,            /* a NUL byte at column ends the text the check
                                               * sees: columns up to last_column are not checked */
    VALIDATE_WARNING_LOWERCASE_SIGNATURE = 5, /* a signature line in lowercase: with slot 0, a
                                               * line that begins with g, which is ignored; with
                                               * slot 1 or 2, a G line with lowercase digits,
                                               * which cannot match */
    VALIDATE_WARNING_MISSING_SIGNATURE = 6,   /* fewer than two signature lines; count: how
                                               * many (0 or 1), other_line: the line of one */
    VALIDATE_WARNING_EXTRA_SIGNATURE = 7      /* signature line count (the third, fourth ...)
                                               * replaces the one from other_line in slot slot */
} validate_warning_kind;

typedef struct validate_warning {
    validate_warning_kind kind;
    /* The signature slot concerned, 1 (first) or 2 (second); 0 for none. */
    int slot;
    /* Where: the line from 1 (0 for the whole file), and the columns of the
     * characters concerned, from 1 (0 when none). */
    uint64_t line;
    uint64_t column;
    uint64_t last_column;
    /* Another line the warning names, and a count, as its kind says. */
    uint64_t other_line;
    uint64_t count;
    /* The first byte of an unchecked part. */
    unsigned char byte;
} validate_warning;

/* Warnings a validate_findings of this header has room for. */
#define VALIDATE_FINDINGS_WARNINGS 32

typedef struct validate_findings {
    /* Set by the caller to sizeof(validate_findings); at least
     * offsetof(validate_findings, warnings). */
    size_t size;
    /* VALIDATE_OK when the file was checked, else the error. */
    validate_status status;
    validate_verdict verdict;
    /* The system's error number (errno) of a failed open or read; else 0. */
    int error_number;
    unsigned char digest[VALIDATE_DIGEST_SIZE];
    /* As in validate_result. */
    char expected[2][VALIDATE_LINE_SIZE];
    char found[2][VALIDATE_LINE_SIZE];
    uint64_t found_line[2];
    char key_line[VALIDATE_LINE_SIZE];
    uint64_t key_line_number;
    /* How many key lines the file has; the last is the one in effect. */
    uint64_t key_lines;
    /* What of the key line the key takes: its first 51 characters. */
    char key_prefix[VALIDATE_LINE_SIZE];
    uint64_t digested_pieces;
    uint64_t ignored_pieces;
    uint64_t signature_pieces;
    /* Every warning found, in the order datasig explain lists them; the
     * first of them (as many as fit) in warnings. */
    uint64_t warning_count;
    validate_warning warnings[VALIDATE_FINDINGS_WARNINGS];
} validate_findings;

/* The calls below check as their 1.1 namesakes do, and fill in findings,
 * whose size the caller has set. They return VALIDATE_OK when the file was
 * checked (the verdict is in findings), else the error, which findings
 * holds too; VALIDATE_ERROR_ARGUMENT, and nothing written, when findings is
 * NULL or its size too small. */
VALIDATE_API validate_status validate_inspect_bytes(const void *data, size_t size,
                                                    validate_findings *findings);
VALIDATE_API validate_status validate_inspect_file(const char *path, validate_findings *findings);
/* Ends the checker's input, as validate_checker_final does. */
VALIDATE_API validate_status validate_checker_finish(validate_checker *checker,
                                                     validate_findings *findings);
VALIDATE_API validate_status validate_checker_inspect_file(validate_checker *checker,
                                                           const char *path,
                                                           validate_findings *findings);
/* findings is an array of count structs, each with size set to the same
 * value. Returns VALIDATE_OK when every file was checked, whatever its
 * verdict, else the first error; each file's own status is in its findings. */
VALIDATE_API validate_status validate_checker_inspect_files(validate_checker *checker,
                                                            const char *const *paths,
                                                            size_t count,
                                                            validate_findings *findings);

/* The name of a kind of warning, such as "nul_byte": the enumerator's name
 * after VALIDATE_WARNING_, in lowercase; "unknown" for another value. A
 * constant, as validate_status_message's texts are. */
VALIDATE_API const char *validate_warning_kind_name(validate_warning_kind kind);

/* The line datasig explain prints for a warning, without a line end. */
VALIDATE_API validate_status validate_warning_text(const validate_warning *warning, char *out,
                                                   size_t capacity, size_t *length);

/* The report of datasig explain, as validate_explain gives it. Every output
 * buffer of the 1.2 calls follows one rule: *length is set to the text's
 * length, and the text with a NUL after it is written only when capacity
 * is more than that; otherwise nothing is written and the call returns
 * VALIDATE_ERROR_SPACE. The verdict is in findings (may be NULL). */
VALIDATE_API validate_status validate_explain_report(const void *data, size_t size,
                                                     const char *name, char *out,
                                                     size_t capacity, size_t *length,
                                                     validate_findings *findings);

#ifdef __cplusplus
}
#endif

#endif
