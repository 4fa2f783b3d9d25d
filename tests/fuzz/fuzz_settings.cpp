// Fuzzes the settings text reader and the topology built from what it reads.
// Beyond "no crash, no leak, no undefined behaviour" it checks the writer against the reader:
// a parsed document written with ToText must read back, and after that first pass (which
// rounds doubles to six decimals and turns a lone "SbyteS" member into bytes) writing and
// reading must be an exact fixed point.

#include "DebugOutput.h"
#include "FWUpdater/CDiscovery.h"
#include "Settings/SettingsParser.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace
{

void Check(bool condition_I)
{
    if (!condition_I)
        std::abort();
}

void CheckTopology(const CSettingsObjectPtr& document_I)
{
    const CDiscovery::TopologyMap table = CDiscovery::BuildTopologyMap(document_I);
    for (const auto& [key, device] : table) {
        const bool pen = key == device.mVid[eBoardPen] + device.mPid[eBoardPen];
        const bool touch = device.mTouchSupported && key == device.mVid[eBoardTouch] + device.mPid[eBoardTouch];
        const bool bt = device.mBluetoothSupported &&
                        key == device.mVid[eBoardBluetooth] + device.mPid[eBoardBluetooth];
        Check(pen || touch || bt);
        for (std::size_t b = 0; b < kBoardCount; ++b)
            Check(device.mInterface[b] >= 0 && device.mInterface[b] <= 3);
    }
    if (!AsArray(document_I))
        Check(table.empty());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Stray bytes are reported one by one; formatting them is not what is being fuzzed.
    SetDiagnosticSink([](const char*) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    std::size_t pos = 0;
    const CSettingsObjectPtr value = ParseValue(text, pos);
    if (value) {
        Check(pos <= size);
        std::vector<std::uint8_t> encoded;
        value->Encode(encoded);
        Check(!encoded.empty());
    }

    const CSettingsObjectPtr document = ParseSettings(text);
    CheckTopology(document);
    if (!document)
        return 0;
    Check(document->GetTypeName() == "array" || document->GetTypeName() == "map");

    std::string dump;
    document->Dump(dump);
    Check(document->Clone()->Equals(document));

    const std::string first = document->ToText(0);
    const CSettingsObjectPtr once = ParseSettings(first);
    Check(once != nullptr);
    const std::string second = once->ToText(0);
    const CSettingsObjectPtr twice = ParseSettings(second);
    Check(twice != nullptr);
    Check(twice->Equals(once) && once->Equals(twice));
    Check(twice->ToText(0) == second);
    CheckTopology(once);
    return 0;
}
