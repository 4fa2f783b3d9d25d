#pragma once
// The S-record merging rule written plainly from its description: a linear scan of the block
// list per record, bytes moved on every prepend, then a sort by address (an empty block before
// a non-empty one at the same address) and the overlap walk. Quadratic on purpose; the
// production merger must give exactly the same result. Shared by the unit tests and the fuzzer.

#include "FWUpdater/SRecBlock.h"

#include <algorithm>
#include <cstdint>
#include <vector>

struct ReferenceRecord
{
    std::uint32_t address = 0;
    std::vector<std::uint8_t> data;
};

inline void ReferenceAddRecord(std::vector<SRecBlock>& list_IO, const ReferenceRecord& record_I)
{
    const std::uint64_t a = record_I.address;
    const std::uint64_t e = a + record_I.data.size();
    for (SRecBlock& b : list_IO) {
        const std::uint64_t start = b.address;
        const std::uint64_t end = start + b.data.size();
        if (a >= start && a < end)
            return;
        if (a == end) {
            b.data.insert(b.data.end(), record_I.data.begin(), record_I.data.end());
            return;
        }
        if (e == start) {
            b.data.insert(b.data.begin(), record_I.data.begin(), record_I.data.end());
            b.address = record_I.address;
            return;
        }
    }
    list_IO.push_back(SRecBlock{record_I.address, record_I.data});
}

// Merges, sorts and checks; false (and an empty list) when nothing was merged or blocks overlap.
inline bool ReferenceMerge(const std::vector<ReferenceRecord>& records_I, std::vector<SRecBlock>& blocks_O)
{
    blocks_O.clear();
    for (const ReferenceRecord& r : records_I)
        ReferenceAddRecord(blocks_O, r);
    if (blocks_O.empty())
        return false;
    std::stable_sort(blocks_O.begin(), blocks_O.end(), [](const SRecBlock& x, const SRecBlock& y) {
        return x.address != y.address ? x.address < y.address : x.data.size() < y.data.size();
    });
    for (std::size_t i = 0; i + 1 < blocks_O.size(); ++i) {
        if (std::uint64_t{blocks_O[i].address} + blocks_O[i].data.size() > blocks_O[i + 1].address) {
            blocks_O.clear();
            return false;
        }
    }
    return true;
}
