// SPDX-License-Identifier: MIT
// validate's run: the command line, the data file opened and checked, the
// messages and the exit status.
#include "tool/run.hpp"

#include <cstdio>

#include "check/check.hpp"
#include "platform/platform.hpp"
#include "tool/reader.hpp"

namespace {

// "\nvalidate: " what, name, "\n\n\n"; the name as the platform shows file names.
int report(const char* what, const char* name, int status)
{
    std::fputs("\nvalidate: ", stdout);
    std::fputs(what, stdout);
    write_text(name, stdout);
    std::fputs("\n\n\n", stdout);
    return status;
}

} // namespace

int run_validation(int argc, const char* const* argv)
{
    if (argc < 2) {
        std::fputs("\nvalidate: No file specified\n\n\n", stdout);
        return -1;
    }
    // Earlier arguments are only opened; closing each at once keeps any
    // number of them within the limit of open files.
    for (int i = 1; i < argc - 1; ++i) {
        std::FILE* file = open_data_file(argv[i]);
        if (file == nullptr) {
            return report("can't open ", argv[i], 1);
        }
        std::fclose(file);
    }
    const char* name = argv[argc - 1];
    std::FILE* file = open_data_file(name);
    if (file == nullptr) {
        return report("can't open ", name, 1);
    }

    static TextStream stream;
    text_stream_open(stream, read_from_file, file);
    CheckContext& context = run_check_context();
    const bool read_to_end = check_stream(stream, context);
    std::fclose(file);
    if (!read_to_end) {
        return report("can't read ", name, 1);
    }
    check_step(" ", CHECK_VERIFY, context.slots.first, context.slots.second);
    return 0;
}
