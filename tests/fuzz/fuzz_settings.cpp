// The settings text reader and the topology built from what it reads. A parsed document written
// with ToText reads back, and after that first pass (which rounds doubles to six decimals and
// turns a lone "SbyteS" member into bytes) writing and reading is an exact fixed point.

#include "DebugOutput.h"
#include "FWUpdater/CDiscovery.h"
#include "Settings/SettingsParser.h"

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

static void Check(bool condition_I)
{
    if (!condition_I)
        std::abort();
}

static void CheckTopology(const CSettingsObjectPtr& document_I)
{
    const CDiscovery::TopologyMap table = CDiscovery::BuildTopologyMap(document_I);
    for (const auto& [key, device] : table) {
        const bool touch = device.mTouchSupported && key == device.mVid[eBoardTouch] + device.mPid[eBoardTouch];
        const bool bt = device.mBluetoothSupported
                        && key == device.mVid[eBoardBluetooth] + device.mPid[eBoardBluetooth];
        Check(key == device.mVid[eBoardPen] + device.mPid[eBoardPen] || touch || bt);
        for (std::size_t b = 0; b < kBoardCount; ++b)
            Check(device.mInterface[b] >= 0 && device.mInterface[b] <= 3);
    }
    Check(AsArray(document_I) || table.empty());
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    SetDiagnosticSink([](const char*) {}); // stray bytes are reported one by one
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t pos = 0;
    if (const CSettingsObjectPtr value = ParseValue(text, pos)) {
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

    const CSettingsObjectPtr once = ParseSettings(document->ToText(0));
    Check(once != nullptr);
    const std::string second = once->ToText(0);
    const CSettingsObjectPtr twice = ParseSettings(second);
    Check(twice != nullptr && twice->Equals(once) && once->Equals(twice) && twice->ToText(0) == second);
    CheckTopology(once);
    return 0;
}
