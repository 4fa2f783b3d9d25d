#pragma once
// Merging of decoded S-record records into blocks of contiguous bytes.
//
// The result is exactly that of the plain rule, applied to every record in file order:
//   visit the blocks in the order they were created; the first block B for which
//     1. the record starts inside B          -> the record is dropped,
//     2. the record starts where B ends      -> its bytes are appended to B,
//     3. the record ends where B starts      -> its bytes are put in front of B (B moves down),
//   takes the record; if no block does, the record becomes a new block at the end of the list.
// followed by a sort by address and a check that no two blocks overlap.
//
// The plain rule scans the whole list for each record and moves a block's bytes for every
// record put in front of it, so a reversed or hostile file costs time quadratic in its size.
// This class finds the first block that takes a record through ordered indexes and lets a
// block's bytes grow at both ends in amortized constant time, so a load costs O(n log n).
//
// It relies on one observation: blocks only ever grow, so once two blocks share a byte (or an
// empty block lies strictly inside another block), the final overlap check must fail. AddRecord
// reports that moment and the caller can stop reading. Until then the non-empty blocks are
// pairwise disjoint, which is what makes the ordered lookups exact.

#include "FWUpdater/SRecBlock.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

class CSRecMerger
{
public:
    // Merges one record. Returns false when the blocks now overlap for good: the load can only
    // fail, and nothing more needs to be read (later calls return false, Finish fails).
    bool AddRecord(std::uint32_t address_I, const std::uint8_t* data_I, std::size_t size_I);

    // Sorts the blocks by address (a tie, possible only with an empty block, puts the empty
    // block first) and checks for overlaps. On success moves the blocks into blocks_O and
    // returns true; on failure (no block at all, or an overlap) blocks_O is left empty.
    // The merger is empty afterwards either way.
    bool Finish(std::vector<SRecBlock>& blocks_O);

    std::size_t BlockCount() const { return mBlocks.size(); }

private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    // Bytes live in mBytes[mHead, mBytes.size()); the room in front takes prepended records.
    struct Block
    {
        std::uint64_t start = 0;
        std::uint64_t end = 0;
        std::vector<std::uint8_t> bytes;
        std::size_t head = 0;
    };

    bool Merge(std::uint32_t address_I, const std::uint8_t* data_I, std::size_t size_I);
    void Append(Block& block_IO, const std::uint8_t* data_I, std::size_t size_I);
    void Prepend(Block& block_IO, const std::uint8_t* data_I, std::size_t size_I);
    // True when the range [lo_I, hi_I) that block self_I is about to cover shares a byte with
    // another non-empty block, or an empty block lies strictly between emptyLo_I and emptyHi_I
    // (the block's whole new extent).
    bool Conflicts(std::uint64_t lo_I, std::uint64_t hi_I, std::uint64_t emptyLo_I, std::uint64_t emptyHi_I,
                   std::uint32_t self_I) const;

    bool mFailed = false;
    std::vector<Block> mBlocks;                             // in creation order
    std::map<std::uint64_t, std::uint32_t> mNonEmptyByStart; // disjoint non-empty blocks
    std::set<std::pair<std::uint64_t, std::uint32_t>> mEmptyAt; // empty blocks: (address, index)
};
