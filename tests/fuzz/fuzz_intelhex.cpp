// libFuzzer harness for the Intel HEX reader: no crash, no read outside the text, and a
// successful load always describes an image at 0x8000 of whole 512-byte pages.

#include "FWUpdater/CIntelHex.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CIntelHex hex;
    const bool ok = hex.LoadFromText(reinterpret_cast<const char*>(data), size);
    if (ok) {
        if (hex.GetStartAddress() != 0x8000 || hex.GetDataLength() == 0 || hex.GetDataLength() % 512 != 0
            || hex.GetDataLength() > CIntelHex::kMaxDataLength) {
            std::abort();
        }
    } else if (hex.GetStartAddress() != -1 || hex.GetDataLength() != 0) {
        std::abort();
    }
    // A failed load after a good one keeps the good image.
    if (ok) {
        const std::vector<std::uint8_t> before(hex.GetImage(), hex.GetImage() + hex.GetDataLength());
        if (hex.LoadFromText(reinterpret_cast<const char*>(data), size > 0 ? size - 1 : 0)) {
            return 0; // still a valid text (e.g. trailing junk removed)
        }
        if (hex.GetStartAddress() != 0x8000 || std::vector<std::uint8_t>(hex.GetImage(), hex.GetImage() + hex.GetDataLength()) != before) {
            std::abort();
        }
    }
    return 0;
}
