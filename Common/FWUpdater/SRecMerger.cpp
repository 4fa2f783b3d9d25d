#include "FWUpdater/SRecMerger.h"

#include <algorithm>
#include <cstring>
#include <iterator>

bool CSRecMerger::AddRecord(std::uint32_t address_I, const std::uint8_t* data_I, std::size_t size_I)
{
    if (mFailed) {
        return false;
    }
    mFailed = !Merge(address_I, data_I, size_I);
    return !mFailed;
}

bool CSRecMerger::Merge(std::uint32_t address_I, const std::uint8_t* data_I, std::size_t size_I)
{
    const std::uint64_t a = address_I;
    const std::uint64_t e = a + size_I;

    // Gather the blocks that could take the record; the one created first wins.
    std::uint32_t best = kNone;
    auto consider = [&best](std::uint32_t index_I) { best = std::min(best, index_I); };

    if (!mNonEmptyByStart.empty()) {
        // P: the last non-empty block starting at or below a. With disjoint blocks, P is the only
        // one that can contain a; the one that ends at a is P itself or, when P starts at a, the
        // block just below P.
        auto it = mNonEmptyByStart.upper_bound(a);
        if (it != mNonEmptyByStart.begin()) {
            auto p = std::prev(it);
            const Block& pb = mBlocks[p->second];
            if (pb.end >= a) {
                consider(p->second); // contains a, or ends at a
            }
            if (p->first == a && p != mNonEmptyByStart.begin()) {
                auto q = std::prev(p);
                if (mBlocks[q->second].end == a) {
                    consider(q->second);
                }
            }
        }
        auto s = mNonEmptyByStart.find(e); // starts where the record ends
        if (s != mNonEmptyByStart.end()) {
            consider(s->second);
        }
    }
    if (!mEmptyAt.empty()) {
        auto x = mEmptyAt.lower_bound({a, 0});
        if (x != mEmptyAt.end() && x->first == a) {
            consider(x->second);
        }
        x = mEmptyAt.lower_bound({e, 0});
        if (x != mEmptyAt.end() && x->first == e) {
            consider(x->second);
        }
    }

    if (best == kNone) {
        const auto index = static_cast<std::uint32_t>(mBlocks.size());
        Block block;
        block.start = a;
        block.end = e;
        block.bytes.assign(data_I, data_I + size_I);
        mBlocks.push_back(std::move(block));
        if (size_I == 0) {
            // a cannot lie inside a non-empty block: that block would have taken the record.
            mEmptyAt.insert({a, index});
            return true;
        }
        if (Conflicts(a, e, a, e, index)) {
            return false;
        }
        mNonEmptyByStart.emplace(a, index);
        return true;
    }

    Block& b = mBlocks[best];
    const bool wasEmpty = b.start == b.end;
    if (a >= b.start && a < b.end) {
        return true; // starts inside gathered data: dropped
    }
    if (size_I == 0) {
        return true; // appending or prepending nothing changes nothing
    }
    if (a == b.end) {
        if (wasEmpty) {
            mEmptyAt.erase({b.start, best});
            if (Conflicts(b.start, e, b.start, e, best)) {
                return false;
            }
            mNonEmptyByStart.emplace(b.start, best);
        } else if (Conflicts(a, e, b.start, e, best)) {
            return false;
        }
        Append(b, data_I, size_I);
        b.end = e;
        return true;
    }
    // The record ends where b starts.
    if (wasEmpty) {
        mEmptyAt.erase({b.start, best});
        if (Conflicts(a, b.end, a, b.end, best)) {
            return false;
        }
        mNonEmptyByStart.emplace(a, best);
    } else {
        if (Conflicts(a, b.start, a, b.end, best)) {
            return false;
        }
        auto node = mNonEmptyByStart.extract(b.start);
        node.key() = a;
        mNonEmptyByStart.insert(std::move(node));
    }
    Prepend(b, data_I, size_I);
    b.start = a;
    return true;
}

bool CSRecMerger::Conflicts(std::uint64_t lo_I, std::uint64_t hi_I, std::uint64_t emptyLo_I, std::uint64_t emptyHi_I,
                            std::uint32_t self_I) const
{
    auto it = mNonEmptyByStart.lower_bound(lo_I);
    if (it != mNonEmptyByStart.begin()) {
        auto p = std::prev(it);
        if (p->second != self_I && mBlocks[p->second].end > lo_I) {
            return true;
        }
    }
    for (; it != mNonEmptyByStart.end() && it->first < hi_I; ++it) {
        if (it->second != self_I) {
            return true;
        }
    }
    auto x = mEmptyAt.lower_bound({emptyLo_I + 1, 0});
    return x != mEmptyAt.end() && x->first < emptyHi_I;
}

void CSRecMerger::Append(Block& block_IO, const std::uint8_t* data_I, std::size_t size_I)
{
    block_IO.bytes.insert(block_IO.bytes.end(), data_I, data_I + size_I);
}

void CSRecMerger::Prepend(Block& block_IO, const std::uint8_t* data_I, std::size_t size_I)
{
    if (block_IO.head < size_I) {
        // Leave as much room in front as the block holds, so repeated prepends move each byte
        // a bounded number of times in total.
        const std::size_t used = block_IO.bytes.size() - block_IO.head;
        const std::size_t room = std::max<std::size_t>(used + size_I, 256);
        std::vector<std::uint8_t> grown;
        grown.reserve(room + used);
        grown.resize(room);
        grown.insert(grown.end(), block_IO.bytes.begin() + static_cast<std::ptrdiff_t>(block_IO.head), block_IO.bytes.end());
        block_IO.bytes.swap(grown);
        block_IO.head = room;
    }
    block_IO.head -= size_I;
    std::memcpy(block_IO.bytes.data() + block_IO.head, data_I, size_I);
}

bool CSRecMerger::Finish(std::vector<SRecBlock>& blocks_O)
{
    blocks_O.clear();
    std::vector<Block> blocks;
    blocks.swap(mBlocks);
    mNonEmptyByStart.clear();
    mEmptyAt.clear();
    const bool failed = mFailed;
    mFailed = false;
    if (failed || blocks.empty()) {
        return false;
    }
    std::stable_sort(blocks.begin(), blocks.end(), [](const Block& x, const Block& y) {
        if (x.start != y.start) {
            return x.start < y.start;
        }
        return (x.end - x.start) < (y.end - y.start);
    });
    for (std::size_t i = 0; i + 1 < blocks.size(); ++i) {
        if (blocks[i].end > blocks[i + 1].start) {
            return false;
        }
    }
    blocks_O.reserve(blocks.size());
    for (Block& b : blocks) {
        SRecBlock out;
        out.address = static_cast<std::uint32_t>(b.start);
        if (b.head > 0) {
            b.bytes.erase(b.bytes.begin(), b.bytes.begin() + static_cast<std::ptrdiff_t>(b.head));
        }
        out.data = std::move(b.bytes);
        blocks_O.push_back(std::move(out));
    }
    return true;
}
