// libFuzzer harness for the S-record reader. Besides crashes and sanitizer findings it checks
// the promises of a successful load, and feeds the record merger the same input read as raw
// records, comparing it with the plain model of the merging rule.

#include "../unit/images/SRecReference.h"
#include "FWUpdater/CSRec.h"
#include "FWUpdater/SRecMerger.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<SRecBlock> blocks;
    const bool ok = CSRec::ParseSRecText(reinterpret_cast<const char*>(data), size, blocks);
    if (ok != !blocks.empty()) {
        std::abort();
    }
    for (std::size_t i = 0; i + 1 < blocks.size(); ++i) {
        if (std::uint64_t{blocks[i].address} + blocks[i].data.size() > blocks[i + 1].address) {
            std::abort();
        }
    }

    // Raw records: 1 byte address (spread over a small window near 0 or near the top of the
    // address space), 1 byte size 0..7.
    std::vector<ReferenceRecord> records;
    for (std::size_t p = 0; p + 2 <= size && records.size() < 64;) {
        const std::uint32_t base = (data[p] & 0x80) ? 0xFFFFFFC0u : 0u;
        ReferenceRecord r;
        r.address = base + (data[p] & 0x3F);
        const std::size_t n = data[p + 1] & 7;
        p += 2;
        for (std::size_t k = 0; k < n && p < size; ++k) {
            r.data.push_back(data[p++]);
        }
        records.push_back(std::move(r));
    }
    std::vector<SRecBlock> expected, actual;
    const bool expectedOk = ReferenceMerge(records, expected);
    CSRecMerger merger;
    bool mergedOk = true;
    for (const ReferenceRecord& r : records) {
        if (!merger.AddRecord(r.address, r.data.data(), r.data.size())) {
            mergedOk = false;
            break;
        }
    }
    mergedOk = merger.Finish(actual) && mergedOk;
    if (mergedOk != expectedOk || actual.size() != expected.size()) {
        std::abort();
    }
    for (std::size_t i = 0; i < actual.size(); ++i) {
        if (actual[i].address != expected[i].address || actual[i].data != expected[i].data) {
            std::abort();
        }
    }
    return 0;
}
