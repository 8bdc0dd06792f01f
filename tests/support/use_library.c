/* SPDX-License-Identifier: MIT */
// A program on libvalidate as its users build it, from the installed header
// alone: prints the library's version and the status of the check of each
// file it is given, as numbers ("1.1.0 0 1 2": passed, altered, no file).
#include <validate.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    int i;
    printf("%s", validate_version());
    for (i = 1; i < argc; ++i) {
        validate_result result;
        printf(" %d", (int)validate_check_file(argv[i], &result));
    }
    printf("\n");
    return 0;
}
