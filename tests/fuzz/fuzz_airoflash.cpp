// libFuzzer harness for the Airoha binary reader: whatever the bytes, the image equals them;
// a stream that delivers fewer bytes than its size fails and leaves the previous image.

#include "FWUpdater/CBinaryAiroFlash.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CBinaryAiroFlash airo;
    std::istringstream in(bytes, std::ios::in | std::ios::binary);
    const bool ok = airo.LoadFromStream(in);
    if (ok != (size > 0)) {
        std::abort();
    }
    if (ok && (airo.GetStartAddress() != 0 || airo.GetSize() != size || std::memcmp(airo.GetBuffer(), data, size) != 0)) {
        std::abort();
    }
    if (!ok && (airo.GetStartAddress() != -1 || airo.GetSize() != 0)) {
        std::abort();
    }
    return 0;
}
