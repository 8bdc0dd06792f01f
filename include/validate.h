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
#define VALIDATE_VERSION_MINOR 1
#define VALIDATE_VERSION_PATCH 0

/* The digest of a file's content lines: SHA-512, 64 bytes. */
#define VALIDATE_DIGEST_SIZE 64
/* Room for one line of a data file as the check reads it (a piece of at
 * most 79 characters, its line end) and a NUL. */
#define VALIDATE_LINE_SIZE 84

typedef enum validate_status {
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

#ifdef __cplusplus
}
#endif

#endif
