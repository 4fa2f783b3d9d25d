// The Intel HEX reader: a successful load describes an image at 0x8000 of whole 512-byte pages,
// a failed one no image; a failed load after a good one keeps the good image.

#include "FWUpdater/CIntelHex.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CIntelHex hex;
    const char* text = reinterpret_cast<const char*>(data);
    if (!hex.LoadFromText(text, size)) {
        if (hex.GetStartAddress() != -1 || hex.GetDataLength() != 0)
            std::abort();
        return 0;
    }
    const std::size_t length = hex.GetDataLength();
    if (hex.GetStartAddress() != 0x8000 || length == 0 || length % 512 != 0 || length > CIntelHex::kMaxDataLength)
        std::abort();
    const std::vector<std::uint8_t> before(hex.GetImage(), hex.GetImage() + length);
    // Without its last byte the text may still be valid (trailing junk removed).
    if (hex.LoadFromText(text, size > 0 ? size - 1 : 0))
        return 0;
    if (hex.GetStartAddress() != 0x8000 || hex.GetDataLength() != length
        || !std::equal(before.begin(), before.end(), hex.GetImage()))
        std::abort();
    return 0;
}
