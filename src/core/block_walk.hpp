// SPDX-License-Identifier: MIT
// The walk over the pieces that lie whole in the text stream's block.
#pragma once

#include "check/check.hpp"
#include "core/pieces.hpp"
#include "core/text_stream.hpp"

// Handles the pieces that lie whole in the block: each ends at an LF, or
// after 79 characters. Their content texts go to the digest in order. What
// is left, the start of a piece that may go on past the block, stays in the
// stream.
void handle_whole_pieces(TextStream& stream, CheckContext& context);
