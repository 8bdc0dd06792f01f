/* SPDX-License-Identifier: MIT */
/*
 * check_files: checks each data file named on the command line with
 * libvalidate and prints one line for it:
 *
 *   NAME: passed                  on standard output
 *   NAME: altered                 on standard output
 *   NAME: error: WHY (REASON)     on standard error
 *
 * Exit status: 0 when every file passed, 1 when any is altered, 2 when any
 * cannot be checked or no file is named.
 *
 *   cc -std=c99 check_files.c $(pkg-config --cflags --libs validate)
 */
#include <stdio.h>
#include <string.h>

#include <validate.h>

int main(int argc, char **argv)
{
    int altered = 0;
    int errors = 0;
    int i;

    if (argc < 2) {
        fprintf(stderr, "usage: %s FILE...\n", argv[0] != NULL ? argv[0] : "check_files");
        return 2;
    }

    for (i = 1; i < argc; ++i) {
        validate_result result;
        const validate_status status = validate_check_file(argv[i], &result);

        switch (status) {
        case VALIDATE_PASSED:
            printf("%s: passed\n", argv[i]);
            break;
        case VALIDATE_ALTERED:
            printf("%s: altered\n", argv[i]);
            altered = 1;
            break;
        default:
            /* The verdicts go out in order before the error that follows
             * them, when both streams lead to the same place. */
            fflush(stdout);
            if (result.error_number != 0) {
                fprintf(stderr, "%s: error: %s (%s)\n", argv[i], validate_status_message(status),
                        strerror(result.error_number));
            } else {
                fprintf(stderr, "%s: error: %s\n", argv[i], validate_status_message(status));
            }
            errors = 1;
            break;
        }
    }

    /* A verdict that could not be written is no verdict. */
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fprintf(stderr, "%s: cannot write to standard output\n", argv[0]);
        return 2;
    }
    if (errors) {
        return 2;
    }
    return altered ? 1 : 0;
}
