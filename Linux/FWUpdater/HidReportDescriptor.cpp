#include "FWUpdater/HidReportDescriptor.h"

namespace {

// Item types and tags of the short item prefix (type in bits 2-3, tag in bits 4-7).
constexpr unsigned kTypeMain = 0;
constexpr unsigned kTypeGlobal = 1;
constexpr unsigned kTypeLocal = 2;
constexpr unsigned kMainCollection = 0xA;
constexpr unsigned kMainEndCollection = 0xC;
constexpr unsigned kGlobalUsagePage = 0x0;
constexpr unsigned kGlobalPush = 0xA;
constexpr unsigned kGlobalPop = 0xB;
constexpr unsigned kLocalUsage = 0x0;
constexpr std::uint8_t kLongItemPrefix = 0xFE;
// The kernel's own limit on nested global pushes.
constexpr std::size_t kMaxPushDepth = 4;

} // namespace

bool ParseTopLevelCollections(const std::uint8_t* data_I, std::size_t size_I,
                              std::vector<HidCollectionUsage>& collections_O)
{
    collections_O.clear();
    std::vector<HidCollectionUsage> found;
    std::vector<std::uint32_t> pageStack;
    std::uint32_t usagePage = 0;
    bool haveUsage = false;
    std::uint32_t firstUsage = 0;
    std::size_t firstUsageSize = 0;
    std::size_t depth = 0;

    std::size_t i = 0;
    while (i < size_I) {
        const std::uint8_t prefix = data_I[i];
        if (prefix == kLongItemPrefix) {
            // Long items carry nothing this parser needs; only their length matters.
            if (size_I - i < 3)
                return false;
            const std::size_t dataSize = data_I[i + 1];
            if (size_I - i - 3 < dataSize)
                return false;
            i += 3 + dataSize;
            continue;
        }
        std::size_t n = prefix & 3u;
        if (n == 3)
            n = 4;
        if (size_I - i - 1 < n)
            return false;
        std::uint32_t value = 0;
        for (std::size_t b = 0; b < n; ++b)
            value |= static_cast<std::uint32_t>(data_I[i + 1 + b]) << (8 * b);
        const unsigned type = (prefix >> 2) & 3u;
        const unsigned tag = prefix >> 4;

        if (type == kTypeMain) {
            if (tag == kMainCollection) {
                if (depth == 0) {
                    HidCollectionUsage c;
                    if (haveUsage && firstUsageSize == 4) {
                        c.usagePage = static_cast<std::uint16_t>(firstUsage >> 16);
                        c.usage = static_cast<std::uint16_t>(firstUsage);
                    } else {
                        c.usagePage = static_cast<std::uint16_t>(usagePage);
                        c.usage = haveUsage ? static_cast<std::uint16_t>(firstUsage) : 0;
                    }
                    found.push_back(c);
                }
                ++depth;
            } else if (tag == kMainEndCollection) {
                if (depth == 0)
                    return false;
                --depth;
            }
            // Local items last until the next main item, whatever it is.
            haveUsage = false;
        } else if (type == kTypeGlobal) {
            if (tag == kGlobalUsagePage) {
                usagePage = value;
            } else if (tag == kGlobalPush) {
                if (pageStack.size() >= kMaxPushDepth)
                    return false;
                pageStack.push_back(usagePage);
            } else if (tag == kGlobalPop) {
                if (pageStack.empty())
                    return false;
                usagePage = pageStack.back();
                pageStack.pop_back();
            }
        } else if (type == kTypeLocal) {
            if (tag == kLocalUsage && !haveUsage) {
                haveUsage = true;
                firstUsage = value;
                firstUsageSize = n;
            }
        }
        i += 1 + n;
    }
    if (depth != 0)
        return false;
    collections_O = std::move(found);
    return true;
}

bool ParseTopLevelCollections(const std::vector<std::uint8_t>& descriptor_I,
                              std::vector<HidCollectionUsage>& collections_O)
{
    return ParseTopLevelCollections(descriptor_I.data(), descriptor_I.size(), collections_O);
}

std::string MakeHidrawInterfacePath(const std::string& devnode_I, std::size_t collection_I)
{
    if (collection_I == 0)
        return devnode_I;
    return devnode_I + "#" + std::to_string(collection_I);
}

void SplitHidrawInterfacePath(const std::string& path_I, std::string& devnode_O, std::size_t& collection_O)
{
    devnode_O = path_I;
    collection_O = 0;
    const std::size_t hash = path_I.rfind('#');
    if (hash == std::string::npos || hash == 0)
        return;
    const std::string digits = path_I.substr(hash + 1);
    if (digits.empty() || digits.size() > 4 || digits[0] == '0')
        return;
    std::size_t index = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return;
        index = index * 10 + static_cast<std::size_t>(c - '0');
    }
    devnode_O = path_I.substr(0, hash);
    collection_O = index;
}
