// SPDX-License-Identifier: MIT
// Reading a data file whole for its check: from a source read to its end, or
// from bytes given in chunks as they come. The one way every caller starts
// a check.
#pragma once

#include <cstddef>

#include "check/check.hpp"
#include "core/pieces.hpp"
#include "core/text_stream.hpp"

// Reads the stream to its end, handling every piece as handle_piece does,
// a whole block of them at a time. False on a read error.
bool read_data_file(TextStream& stream, CheckContext& context);

// The whole check of a stream: started, read to its end, and the digest
// finished, so that check_passes(context) gives the verdict. False when a
// read failed.
bool check_stream(TextStream& stream, CheckContext& context);

// ---- Bytes as they come

// The same check, given the file's bytes in chunks of any sizes rather than
// reading them from a source: open, feed any number of times, end. Each
// chunk's whole pieces are handled at once; only the start of a piece that
// may go on in the next chunk waits in the stream. observer, when not null,
// is told of the pieces read the general way.
void check_feed_open(TextStream& stream, CheckContext& context, PieceObserver* observer = nullptr);
void check_feed(TextStream& stream, CheckContext& context, const unsigned char* data,
                std::size_t size);
// Handles what is left and finishes the digest.
void check_feed_end(TextStream& stream, CheckContext& context);
