// The S-record reader: a successful load gives ascending, non-overlapping blocks. The same bytes,
// read as raw records, go to the record merger, compared with the plain model of its rule.

#include "../unit/images/SRecReference.h"
#include "FWUpdater/CSRec.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<SRecBlock> blocks;
    if (CSRec::ParseSRecText(reinterpret_cast<const char*>(data), size, blocks) == blocks.empty())
        std::abort();
    for (std::size_t i = 0; i + 1 < blocks.size(); ++i)
        if (std::uint64_t{blocks[i].address} + blocks[i].data.size() > blocks[i + 1].address)
            std::abort();

    // A raw record: 1 byte address (a small window near 0 or near the top of the address
    // space), 1 byte size 0..7, the data.
    std::vector<ReferenceRecord> records;
    for (std::size_t p = 0; p + 2 <= size && records.size() < 64;) {
        ReferenceRecord r;
        r.address = ((data[p] & 0x80) ? 0xFFFFFFC0u : 0u) + (data[p] & 0x3F);
        const std::size_t n = data[p + 1] & 7;
        for (p += 2; r.data.size() < n && p < size; ++p)
            r.data.push_back(data[p]);
        records.push_back(std::move(r));
    }
    std::vector<SRecBlock> expected, actual;
    const bool expectedOk = ReferenceMerge(records, expected);
    const bool mergedOk = ProductMerge(records, actual);
    const auto same = [](const SRecBlock& a_I, const SRecBlock& b_I) {
        return a_I.address == b_I.address && a_I.data == b_I.data;
    };
    if (mergedOk != expectedOk || !std::equal(actual.begin(), actual.end(), expected.begin(), expected.end(), same))
        std::abort();
    return 0;
}
