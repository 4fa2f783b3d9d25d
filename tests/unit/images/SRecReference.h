#pragma once
// The S-record merging rule written plainly, quadratic on purpose: the production merger must give
// exactly its result. Shared by the unit tests and the fuzzer.

#include "FWUpdater/SRecBlock.h"
#include "FWUpdater/SRecMerger.h"

#include <algorithm>
#include <cstdint>
#include <vector>

struct ReferenceRecord
{
    std::uint32_t address = 0;
    std::vector<std::uint8_t> data;
};

// Merges, sorts and checks; false (and an empty list) when nothing was merged or blocks overlap.
inline bool ReferenceMerge(const std::vector<ReferenceRecord>& records_I, std::vector<SRecBlock>& blocks_O)
{
    blocks_O.clear();
    for (const ReferenceRecord& r : records_I) {
        const std::uint64_t a = r.address, e = a + r.data.size();
        bool taken = false;
        for (auto b = blocks_O.begin(); b != blocks_O.end() && !taken; ++b) {
            const std::uint64_t start = b->address, end = start + b->data.size();
            taken = true;
            if (a >= start && a < end) {
                // starts inside the block: dropped
            } else if (a == end) {
                b->data.insert(b->data.end(), r.data.begin(), r.data.end());
            } else if (e == start) {
                b->data.insert(b->data.begin(), r.data.begin(), r.data.end());
                b->address = r.address;
            } else {
                taken = false;
            }
        }
        if (!taken)
            blocks_O.push_back(SRecBlock{r.address, r.data});
    }
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

// The production merger over the same records, in their order; false when it refuses one or the
// result.
inline bool ProductMerge(const std::vector<ReferenceRecord>& records_I, std::vector<SRecBlock>& blocks_O)
{
    CSRecMerger merger;
    bool ok = true;
    for (std::size_t i = 0; i < records_I.size() && ok; ++i)
        ok = merger.AddRecord(records_I[i].address, records_I[i].data.data(), records_I[i].data.size());
    return merger.Finish(blocks_O) && ok;
}
