#include "FWUpdater/CDiscovery.h"

#include "DebugOutput.h"
#include "FWUpdater/CFLDeviceInterface.h"
#include "StringUtils.h"

#include <algorithm>
#include <sstream>

#include "Settings/SettingsParser.h"
#include "StringUtils.h"

#ifndef VFWU_DEFAULT_VENDOR_ID
#error "VFWU_DEFAULT_VENDOR_ID must be defined by the build (CMake cache variable of the same name)"
#endif
static_assert(VFWU_DEFAULT_VENDOR_ID > 0 && VFWU_DEFAULT_VENDOR_ID <= 0xFFFF,
              "VFWU_DEFAULT_VENDOR_ID must be a 16-bit USB vendor id other than 0");

namespace
{

// Board keys read for every board map; a loaderBoard contributes only the first eight.
struct BoardKeys
{
    const char* mapKey;
    Board board;
};
const BoardKeys kBoards[] = {
    {"penBoard", eBoardPen},
    {"touchBoard", eBoardTouch},
    {"bluetoothBoard", eBoardBluetooth},
};

// "vid", "pid", "interface", "sectors", "init", "topology", "usageId", "usagePg".
void ReadBoardIdentity(const CSettingsMap& board_I, std::size_t index_I, CDevice& device_IO)
{
    device_IO.mVid[index_I] = CDiscovery::ParseHex(board_I.GetString("vid", ""), DefaultVendorId());
    device_IO.mPid[index_I] = CDiscovery::ParseHex(board_I.GetString("pid", ""), 0);
    device_IO.mInterface[index_I] = CDiscovery::ParseInterfaceKind(board_I.GetString("interface", "HID"));
    device_IO.mSectors[index_I] = static_cast<std::uint32_t>(board_I.GetInteger("sectors", 0));
    device_IO.mInitEeprom[index_I] = board_I.GetBool("init", false);
    device_IO.mTopology[index_I] = static_cast<std::uint8_t>(board_I.GetInteger("topology", 1));
    device_IO.mUsageId[index_I] = CDiscovery::ParseHex(board_I.GetString("usageId", ""), 0);
    device_IO.mUsagePg[index_I] = CDiscovery::ParseHex(board_I.GetString("usagePg", ""), 0);
}

} // namespace

std::uint32_t DefaultVendorId()
{
    return VFWU_DEFAULT_VENDOR_ID;
}

CDiscovery::CDiscovery(std::string topologyPath_I) : mTopologyPath(std::move(topologyPath_I)) {}

CDiscovery::~CDiscovery() = default;

bool CDiscovery::UpdateDeviceList()
{
    if (mTopologyMap.empty())
        LoadTopology();
    mDevices.clear();
    return true;
}

bool CDiscovery::LoadTopology()
{
    mTopologyMap.clear();
    mTopologyMap = BuildTopologyMap(LoadSettingsFile(mTopologyPath));
    return !mTopologyMap.empty();
}

CDevice CDiscovery::GetDeviceDescription(std::uint32_t vid_I, std::uint32_t pid_I) const
{
    const std::uint32_t key = (vid_I & 0xFFFF) + (pid_I & 0xFFFF);
    const auto it = mTopologyMap.find(key);
    return it != mTopologyMap.end() ? it->second : CDevice();
}

std::shared_ptr<CDevice> CDiscovery::GetDefaultDevice() const
{
    for (const auto& device : mDevices) {
        if (device && device->mLoaderMode)
            return device;
    }
    return mDevices.empty() ? nullptr : mDevices.front();
}

CDevice CDiscovery::DescriptionFromSettings(const CSettingsMap& model_I)
{
    CDevice device;
    device.mName = model_I.GetString("name", "");
    for (const BoardKeys& keys : kBoards) {
        const auto board = AsMap(model_I.Get(keys.mapKey));
        if (!board)
            continue;
        const auto index = static_cast<std::size_t>(keys.board);
        ReadBoardIdentity(*board, index, device);
        device.mUpdate[index] = board->GetString("update", "");
        device.mIntoBLMode[index] = board->GetBool("intoBLMode", true);
        if (keys.board == eBoardTouch)
            device.mTouchSupported = true;
        if (keys.board == eBoardBluetooth)
            device.mBluetoothSupported = true;
    }
    // The model as its loader presents itself: its ids replace the pen board's, while the pen
    // board's update file and loader-switch flag stay.
    if (const auto loader = AsMap(model_I.Get("loaderBoard"))) {
        device.mLoaderMode = true;
        ReadBoardIdentity(*loader, eBoardPen, device);
    }
    return device;
}

CDiscovery::TopologyMap CDiscovery::BuildTopologyMap(const CSettingsObjectPtr& document_I)
{
    TopologyMap table;
    const auto models = AsArray(document_I);
    if (!models)
        return table;
    for (std::size_t i = 0; i < models->Count(); ++i) {
        // An element that is not a map describes nothing and is skipped.
        const auto model = AsMap(models->Get(i));
        if (!model)
            continue;
        const CDevice device = DescriptionFromSettings(*model);
        const std::uint32_t penKey = device.mVid[eBoardPen] + device.mPid[eBoardPen];
        table[penKey] = device;
        if (device.mTouchSupported) {
            const std::uint32_t touchKey = device.mVid[eBoardTouch] + device.mPid[eBoardTouch];
            if (touchKey != penKey)
                table[touchKey] = device;
        }
        if (device.mBluetoothSupported) {
            const std::uint32_t btKey = device.mVid[eBoardBluetooth] + device.mPid[eBoardBluetooth];
            if (btKey != penKey)
                table[btKey] = device;
        }
    }
    return table;
}

std::uint32_t CDiscovery::ParseHex(const std::string& text_I, std::uint32_t default_I)
{
    std::size_t i = 0;
    while (i < text_I.size() && IsClassicSpace(static_cast<unsigned char>(text_I[i])))
        ++i;
    if (i + 1 < text_I.size() && text_I[i] == '0' && (text_I[i + 1] == 'x' || text_I[i + 1] == 'X'))
        i += 2;
    std::uint64_t value = 0;
    bool anyDigit = false;
    for (; i < text_I.size(); ++i) {
        const char c = text_I[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            break;
        value = value * 16 + static_cast<std::uint64_t>(digit);
        if (value > 0xFFFFFFFFu)
            return default_I; // does not fit 32 bits: the stream read would fail
        anyDigit = true;
    }
    return anyDigit ? static_cast<std::uint32_t>(value) : default_I;
}

std::int32_t CDiscovery::ParseInterfaceKind(const std::string& text_I)
{
    if (text_I.empty() || text_I == "HID")
        return 1;
    if (text_I == "BULK")
        return 2;
    if (text_I == "I2C")
        return 3;
    return 0;
}

std::shared_ptr<CDevice> CDiscovery::GetDevice(const std::string& path_I) const
{
    const std::string wanted = ToLower(path_I);
    for (const std::shared_ptr<CDevice>& device : mDevices) {
        const std::pair<const char*, const std::shared_ptr<CFLDeviceInterface>*> boards[] = {
            {"Pen", &device->mPenInterface}, {"Touch", &device->mTouchInterface}, {"Bluetooth", &device->mBluetoothInterface}};
        bool found = false;
        for (const auto& [label, interface] : boards) {
            if (!*interface)
                continue;
            const std::string path = (*interface)->GetPath();
            DebugPrint("%s GetDevice %s to %s\n", label, path_I.c_str(), path.c_str());
            if (path == path_I || ToLower(path) == wanted)
                found = true;
        }
        if (found)
            return device;
    }
    return nullptr;
}

CDiscovery::TabletIdentity CDiscovery::GetTabletIdentity(const CDevice& device_I)
{
    const std::shared_ptr<CFLDeviceInterface>* boards[] = {&device_I.mPenInterface, &device_I.mTouchInterface,
                                                           &device_I.mBluetoothInterface};
    for (std::size_t board = 0; board < kBoardCount; ++board) {
        if (!*boards[board])
            continue;
        TabletIdentity ancestors;
        for (std::uint8_t level = 1; level <= device_I.mTopology[board]; ++level)
            ancestors.push_back((*boards[board])->GetParentDeviceId(level));
        if (ancestors.empty() || ancestors.back().empty())
            return TabletIdentity();
        return ancestors;
    }
    return TabletIdentity();
}

int CDiscovery::TabletDistance(const TabletIdentity& a_I, const TabletIdentity& b_I)
{
    if (a_I.empty() || b_I.empty())
        return -1;
    const auto contains = [](const TabletIdentity& path_I, const std::string& id_I) {
        return std::find(path_I.begin(), path_I.end(), id_I) != path_I.end();
    };
    if (!contains(b_I, a_I.back()) && !contains(a_I, b_I.back()))
        return -1;
    int best = -1;
    for (std::size_t i = 0; i < a_I.size(); ++i) {
        for (std::size_t j = 0; j < b_I.size(); ++j) {
            if (a_I[i] == b_I[j] && (best < 0 || static_cast<int>(i + j) < best))
                best = static_cast<int>(i + j);
        }
    }
    return best;
}

std::shared_ptr<CDevice> CDiscovery::GetDeviceByIdentity(const TabletIdentity& identity_I) const
{
    std::shared_ptr<CDevice> closest;
    int closestDistance = -1;
    for (const std::shared_ptr<CDevice>& device : mDevices) {
        if (!device)
            continue;
        const int distance = TabletDistance(identity_I, GetTabletIdentity(*device));
        if (distance >= 0 && (closestDistance < 0 || distance < closestDistance)) {
            closest = device;
            closestDistance = distance;
        }
    }
    return closest;
}

std::string CDiscovery::Describe(const CDevice& device_I)
{
    if (!device_I.mPenInterface)
        return std::string();
    std::ostringstream text;
    text << "[" << device_I.mName << "] (" << (device_I.mLoaderMode ? "LOADER" : "NORMAL") << " MODE)\n";
    struct BoardText
    {
        const std::shared_ptr<CFLDeviceInterface>& mInterface;
        int mIndex;
        const char* mHeader;
        const char* mSuffix;
        bool mSupported;
        const char* mNotFound;
        const char* mNotSupported;
    };
    const BoardText boards[] = {
        {device_I.mPenInterface, 0, "PEN INTERFACE:", " (Non-HidRouter)", true, "", ""},
        {device_I.mTouchInterface, 1, "TOUCH INTERFACE:", "", device_I.mTouchSupported, "TOUCH INTERFACE NOT FOUND",
         "TOUCH INTERFACE NOT SUPPORTED"},
        {device_I.mBluetoothInterface, 2, "BLUETOOTH INTERFACE:", "", device_I.mBluetoothSupported,
         "BLUETOOTH INTERFACE NOT FOUND", "BLUETOOTH INTERFACE NOT SUPPORTED"},
    };
    for (const BoardText& board : boards) {
        if (!board.mInterface) {
            text << (board.mSupported ? board.mNotFound : board.mNotSupported) << "\n";
            continue;
        }
        const size_t i = static_cast<size_t>(board.mIndex);
        text << (board.mInterface->IsFirmwareLoader() ? "LOADER INTERFACE:" : board.mHeader) << "\n";
        text << "\tSectors = " << device_I.mSectors[i] << "\n";
        text << "\tUsageId" << board.mSuffix << " = " << device_I.mUsageId[i] << "\n";
        text << "\tUsagePage" << board.mSuffix << " = " << device_I.mUsagePg[i] << "\n";
        text << "\tInit Eeprom = " << (device_I.mInitEeprom[i] ? "YES" : "NO") << "\n";
        text << board.mInterface->GetDeviceInfo();
    }
    return text.str();
}
