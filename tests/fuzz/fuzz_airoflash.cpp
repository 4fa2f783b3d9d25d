// The Airoha binary reader: whatever the bytes, the image equals them; an empty stream fails and
// leaves no image.

#include "FWUpdater/CBinaryAiroFlash.h"

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CBinaryAiroFlash airo;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size), std::ios::in | std::ios::binary);
    const bool ok = airo.LoadFromStream(in);
    if (ok != (size > 0) || airo.GetStartAddress() != (ok ? 0 : -1) || airo.GetSize() != (ok ? size : 0))
        std::abort();
    if (ok && std::memcmp(airo.GetBuffer(), data, size) != 0)
        std::abort();
    return 0;
}
