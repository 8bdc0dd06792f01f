// SPDX-License-Identifier: MIT
// Signing a data file held in memory: its G lines dropped and the two
// expected signature lines added where the reader reads them last.
#include "core/sign.hpp"

#include <algorithm>
#include <vector>

#include "core/pieces.hpp"

namespace {

struct Composition {
    Bytes content; // what the reader reads, up to the signature lines
    bool crlf;
    std::size_t dropped_lines;
    std::vector<std::size_t> long_dropped_lines;
};

// A line's length as the reader counts it: without its LF, or its CR LF.
std::size_t line_length(Bytes::const_iterator line, Bytes::const_iterator lf,
                        Bytes::const_iterator read_end)
{
    const auto length = static_cast<std::size_t>(lf - line);
    return lf != read_end && length > 0 && lf[-1] == '\r' ? length - 1 : length;
}

void append(Bytes& bytes, const std::string& text)
{
    bytes.insert(bytes.end(), text.begin(), text.end());
}

// Keeps every line before read_end that does not begin with G and ends the
// last one with a line end. Lines are counted by their LFs, as the reader
// counts them.
Composition compose_content(Bytes::const_iterator begin, Bytes::const_iterator read_end)
{
    Composition result{{}, false, 0, {}};
    std::size_t crlf_ends = 0;
    std::size_t lf_ends = 0;
    std::size_t line_number = 1;
    for (auto line = begin; line != read_end; ++line_number) {
        const auto lf = std::find(line, read_end, '\n');
        const auto next = lf == read_end ? read_end : lf + 1;
        if (lf != read_end) {
            ++(lf != line && lf[-1] == '\r' ? crlf_ends : lf_ends);
        }
        if (*line == 'G') {
            ++result.dropped_lines;
            if (line_length(line, lf, read_end) > kPieceReadSize - 1) {
                result.long_dropped_lines.push_back(line_number);
            }
        } else {
            result.content.insert(result.content.end(), line, next);
        }
        line = next;
    }
    result.crlf = crlf_ends > lf_ends;
    if (!result.content.empty() && result.content.back() != '\n') {
        // A CR that ends the input is content; a CR LF after it keeps it so
        // (CR CR LF reads as CR LF), where an LF alone would make it a line end.
        const bool last_is_cr = result.content.back() == '\r';
        append(result.content, last_is_cr || result.crlf ? "\r\n" : "\n");
    }
    return result;
}

} // namespace

SignResult sign_bytes(const Bytes& file, OutputCheck check)
{
    const auto read_end = std::find(file.begin(), file.end(), kEofMark);
    Composition composition = compose_content(file.begin(), read_end);

    // The content read alone gives the same pieces as in the output, since
    // it ends with a line end: the digest, the key and which slot comes next.
    const Findings content = check_bytes(composition.content);
    const std::string line_end = composition.crlf ? "\r\n" : "\n";
    // An odd number of signature pieces leaves the second slot next.
    const bool second_is_next = content.signature_pieces % 2 == 1;

    SignResult result{false, std::move(composition.content), "", composition.crlf, second_is_next,
                      composition.dropped_lines, std::move(composition.long_dropped_lines)};
    const std::string first = content.expected[result.swapped ? 1 : 0];
    const std::string second = content.expected[result.swapped ? 0 : 1];
    append(result.output, first + line_end);
    append(result.output, second + line_end);
    result.output.insert(result.output.end(), read_end, file.end());

    if (!check(result.output)) {
        result.output.clear();
        result.problem = "the signed output would not pass the check";
        return result;
    }
    result.signed_ok = true;
    return result;
}
