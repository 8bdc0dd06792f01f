// SPDX-License-Identifier: MIT
// Finding what the signature does not protect, as the reader reads: told of
// each piece read the general way, and of the file's end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/findings.hpp"
#include "core/pieces.hpp"

class WarningCollector final : public PieceObserver {
public:
    // Keeps the first limit warnings; counts them all.
    explicit WarningCollector(std::size_t limit = SIZE_MAX) : limit_(limit) {}

    // Forgets the warnings of the last file.
    void start();

    // Room for n kept warnings, so that noting them allocates nothing.
    void reserve(std::size_t n)
    {
        kept_.reserve(n);
    }

    void note(const PieceFacts& piece) override;

    // Adds the warnings of the file's end, once the stream has been read to
    // it (the bytes after a 0x1A byte counted), and gives them all to
    // findings, which collect_findings has filled in.
    void finish(const TextStream& stream, const CheckContext& context, Findings& findings);

private:
    // False when the warning is only counted.
    bool add(const Warning& warning);
    void note_nul(const PieceFacts& piece);
    void note_ignored(const PieceFacts& piece);
    void note_signature(const PieceFacts& piece);

    std::size_t limit_;
    std::vector<Warning> kept_;
    std::uint64_t count_ = 0;
    // The NUL warning last added, which a run of NULs over the next pieces
    // of its line extends: its line, its last column, and where it is kept
    // (SIZE_MAX where it is only counted).
    bool nul_run_open_ = false;
    std::uint64_t nul_run_line_ = 0;
    std::uint64_t nul_run_end_ = 0;
    std::size_t nul_run_index_ = SIZE_MAX;
};
