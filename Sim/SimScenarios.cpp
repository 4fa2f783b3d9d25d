#include "SimScenarios.h"

#include "FWUpdater/InterfaceKind.h"
#include "StringUtils.h"

#include <algorithm>

#include <cstdio>

namespace {

constexpr std::uint32_t kPenAppAddress = 0x1000;
constexpr std::uint32_t kPenAppLength = 0x5000;
constexpr std::uint32_t kTouchAppAddress = 0x0800;
constexpr std::uint32_t kTouchAppLength = 0x1800;
constexpr std::uint32_t kHexAppAddress = 0x8000;
constexpr std::uint32_t kHexAppLength = 0x1000;
constexpr std::uint32_t kAirohaImageSize = 0x9000;
constexpr std::uint32_t kBulkClassGuidFirst = 0x5c9e1b2a; // the tablet's own USB interface class (made up)

const char kHidClass[] = "{4d1e55b2-f16f-11cf-88cb-001111000030}";

// Windows-form interface path of a HID node: \\?\hid#vid_ffff&pid_XXXX#<instance>#{class}.
std::string HidPath(std::uint16_t pid_I, const std::string& instance_I)
{
    char text[160];
    std::snprintf(text, sizeof text, "\\\\?\\hid#vid_ffff&pid_%04x#%s#%s", pid_I, instance_I.c_str(), kHidClass);
    return text;
}

// HID node -> its USB device -> the tablet's internal hub: boards of one tablet meet two levels up.
std::vector<std::string> ParentIds(std::uint16_t pid_I, const std::string& instance_I, const std::string& tablet_I)
{
    char hid[96];
    char usb[96];
    std::snprintf(hid, sizeof hid, "HID\\VID_FFFF&PID_%04X\\%s", pid_I, instance_I.c_str());
    std::snprintf(usb, sizeof usb, "USB\\VID_FFFF&PID_%04X\\%s", pid_I, tablet_I.c_str());
    return {hid, usb, "USB\\VID_FFFF&PID_0001\\HUB" + tablet_I, "USB\\ROOT_HUB30\\4&SIMROOT&0&0"};
}

SimInterfaceSpec Interface(std::uint16_t pid_I, std::uint16_t usagePage_I, std::uint16_t usage_I, const std::string& tablet_I,
                           const char* tag_I)
{
    const std::string instance = "8&" + tablet_I + "&0&" + tag_I;
    SimInterfaceSpec spec;
    spec.path = HidPath(pid_I, ToLower(instance));
    spec.productId = pid_I;
    spec.usagePage = usagePage_I;
    spec.usage = usage_I;
    spec.parentIds = ParentIds(pid_I, instance, tablet_I);
    return spec;
}

// The bulk loader's USB node: \\?\usb#vid_ffff&pid_XXXX#<serial>#{class}; device -> hub.
SimInterfaceSpec UsbInterface(std::uint16_t pid_I, const std::string& tablet_I)
{
    char path[160];
    std::snprintf(path, sizeof path, "\\\\?\\usb#vid_ffff&pid_%04x#%s#{%08x-7d3e-4f1b-9a60-0c8e5a3d2b71}", pid_I,
                  ToLower(tablet_I).c_str(), kBulkClassGuidFirst);
    char usb[96];
    std::snprintf(usb, sizeof usb, "USB\\VID_FFFF&PID_%04X\\%s", pid_I, tablet_I.c_str());
    SimInterfaceSpec spec;
    spec.path = path;
    spec.productId = pid_I;
    spec.parentIds = {usb, "USB\\VID_FFFF&PID_0001\\HUB" + tablet_I, "USB\\ROOT_HUB30\\4&SIMROOT&0&0", "ROOT"};
    return spec;
}

SimSRecLoaderConfig TouchLoader()
{
    // Small enough for the I2C tunnel: 16 blocks of 2 KiB, 128-byte block writes.
    SimSRecLoaderConfig config;
    config.protocolType = 0;
    config.readSize = 32;
    config.blockSize = 128;
    config.wordSize = 4;
    config.checksumSupport = true;
    config.blocks.push_back({0x0000, 0x0800, 0x8000 | 4});
    for (std::uint32_t address = 0x0800; address < 0x8000; address += 0x0800)
        config.blocks.push_back({address, 0x0800, 4});
    return config;
}

SimBoardSpec TouchI2CBoard(const std::string& tablet_I)
{
    SimBoardSpec spec;
    spec.kind = ESimBoardKind::eSRecI2C;
    spec.name = "touch";
    spec.board = 1;
    spec.transport = eInterfaceKindI2C;
    spec.intoBLMode = false; // the bridge's node stays; the board switches behind it
    spec.normal = Interface(0x0101, 0xFF0E, 0x0001, tablet_I, "0001");
    spec.srec = TouchLoader();
    spec.versionAddress = kTouchAppAddress;
    spec.factoryImage = MakeSimApplication(kTouchAppAddress, kTouchAppLength, kSimFactoryVersion, 3);
    return spec;
}

SimBoardSpec ImageBoard(const std::string& tablet_I, bool airoha_I)
{
    SimBoardSpec spec;
    spec.kind = ESimBoardKind::eImage;
    spec.name = airoha_I ? "bluetooth" : "touch";
    spec.board = airoha_I ? 2 : 1;
    spec.transport = eInterfaceKindHID;
    spec.intoBLMode = false;
    spec.normal = airoha_I ? Interface(0x0103, 0xFF0F, 0x0001, tablet_I, "0002")
                           : Interface(0x0102, 0xFF0E, 0x0001, tablet_I, "0001");
    spec.image.kind = airoha_I ? ESimImageKind::eAiroha : ESimImageKind::eIntelHex;
    spec.versionAddress = airoha_I ? 0x0000 : kHexAppAddress;
    if (airoha_I) {
        // The reserved range 0x3000-0x7FFF keeps the loader's own factory data.
        spec.factoryImage = MakeSimApplication(0x0000, 0x3000, kSimFactoryVersion, 5);
        spec.factoryImage.push_back(MakeSimApplication(0x8000, kAirohaImageSize - 0x8000, 0x0000, 6).front());
    } else {
        spec.factoryImage = MakeSimApplication(kHexAppAddress, kHexAppLength, kSimFactoryVersion, 7);
    }
    return spec;
}

SimSRecLoaderConfig PenLoader(int protocolType_I)
{
    SimSRecLoaderConfig config;
    config.protocolType = protocolType_I;
    config.readSize = 64;
    config.blockSize = 256;
    config.wordSize = 4;
    config.checksumSupport = true;
    config.blocks.push_back({0x0000, 0x1000, 0x8000 | 4});
    for (std::uint32_t address = 0x1000; address < 0x28000; address += 0x1000)
        config.blocks.push_back({address, 0x1000, 4});
    return config;
}

SimBoardSpec PenBoard(const std::string& tablet_I, int protocolType_I, bool intoBLMode_I)
{
    SimBoardSpec spec;
    spec.name = "pen";
    spec.board = 0;
    spec.transport = eInterfaceKindHID;
    spec.intoBLMode = intoBLMode_I;
    spec.normal = Interface(0x0100, 0xFF0D, 0x0001, tablet_I, "0000");
    spec.loader = Interface(0x0094, 0xFF00, 0x0001, tablet_I, "0000");
    spec.srec = PenLoader(protocolType_I);
    spec.versionAddress = kPenAppAddress;
    spec.factoryImage = MakeSimApplication(kPenAppAddress, kPenAppLength, kSimFactoryVersion, 1);
    // The protected loader block holds the boot loader itself.
    spec.factoryImage.push_back(MakeSimApplication(0x0000, 0x1000, 0x0001, 99).front());
    return spec;
}

} // namespace


std::vector<SRecBlock> MakeSimApplication(std::uint32_t address_I, std::uint32_t length_I, std::uint16_t version_I,
                                          std::uint32_t seed_I)
{
    SRecBlock block;
    block.address = address_I;
    block.data.resize(length_I);
    std::uint32_t x = 0x9E3779B9u ^ (seed_I * 0x85EBCA6Bu);
    for (std::uint32_t i = 0; i < length_I; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        block.data[i] = static_cast<std::uint8_t>(x);
    }
    if (length_I >= 2) {
        block.data[0] = static_cast<std::uint8_t>(version_I);
        block.data[1] = static_cast<std::uint8_t>(version_I >> 8);
    }
    return {block};
}

std::string ToSRecordText(const std::vector<SRecBlock>& image_I)
{
    std::string text = "S00F000076656C6C756D2D64656D6F2E\r\n"; // "vellum-demo."
    char line[96];
    for (const SRecBlock& block : image_I) {
        for (std::size_t offset = 0; offset < block.data.size(); offset += 32) {
            const std::size_t n = std::min<std::size_t>(32, block.data.size() - offset);
            const std::uint32_t address = block.address + static_cast<std::uint32_t>(offset);
            const unsigned count = static_cast<unsigned>(n + 5);
            unsigned sum = count + (address >> 24) + ((address >> 16) & 0xFF) + ((address >> 8) & 0xFF) + (address & 0xFF);
            int pos = std::snprintf(line, sizeof line, "S3%02X%08X", count, address);
            for (std::size_t i = 0; i < n; ++i) {
                sum += block.data[offset + i];
                pos += std::snprintf(line + pos, sizeof line - static_cast<std::size_t>(pos), "%02X", block.data[offset + i]);
            }
            std::snprintf(line + pos, sizeof line - static_cast<std::size_t>(pos), "%02X\r\n", (~sum) & 0xFF);
            text += line;
        }
    }
    text += "S70500000000FA\r\n";
    return text;
}

std::string ToIntelHexText(std::uint32_t address_I, const std::vector<std::uint8_t>& data_I)
{
    std::string text;
    char line[64];
    for (std::size_t offset = 0; offset < data_I.size(); offset += 16) {
        const std::size_t n = std::min<std::size_t>(16, data_I.size() - offset);
        const std::uint32_t address = (address_I + static_cast<std::uint32_t>(offset)) & 0xFFFF;
        unsigned sum = static_cast<unsigned>(n) + (address >> 8) + (address & 0xFF);
        int pos = std::snprintf(line, sizeof line, ":%02X%04X00", static_cast<unsigned>(n), address);
        for (std::size_t i = 0; i < n; ++i) {
            sum += data_I[offset + i];
            pos += std::snprintf(line + pos, sizeof line - static_cast<std::size_t>(pos), "%02X", data_I[offset + i]);
        }
        std::snprintf(line + pos, sizeof line - static_cast<std::size_t>(pos), "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
        text += line;
    }
    text += ":00000001FF\r\n";
    return text;
}

std::vector<std::string> SimScenarioNames()
{
    return {"basic", "protocol1", "bulk", "two-tablets"};
}

bool GetSimScenario(const std::string& name_I, const std::string& dataDir_I, SimScenario& scenario_O)
{
    SimScenario scenario;
    scenario.name = name_I;
    scenario.topologyPath = dataDir_I + "/scenarios/" + name_I + "/fw_loader.ini";
    if (name_I == "basic") {
        scenario.boards.push_back(PenBoard("SIM0001", 0, true));
        scenario.boards.push_back(TouchI2CBoard("SIM0001"));
    } else if (name_I == "two-tablets") {
        for (const char* tablet : {"SIM0001", "SIM0002"}) {
            scenario.boards.push_back(PenBoard(tablet, 0, true));
            scenario.boards.push_back(TouchI2CBoard(tablet));
        }
    } else if (name_I == "protocol1") {
        scenario.boards.push_back(PenBoard("SIM0101", 1, false));
        scenario.boards.push_back(ImageBoard("SIM0101", false));
        scenario.boards.push_back(ImageBoard("SIM0101", true));
    } else if (name_I == "bulk") {
        SimBoardSpec pen = PenBoard("SIM0301", 0, true);
        pen.kind = ESimBoardKind::eSRecBulk;
        pen.transport = eInterfaceKindBULK;
        pen.normal = UsbInterface(0x0105, "SIM0301");
        scenario.boards.push_back(pen);
    } else {
        return false;
    }
    scenario_O = std::move(scenario);
    return true;
}

void PlugInSimScenario(const SimScenario& scenario_I, CSimBus& bus_I)
{
    for (const SimBoardSpec& board : scenario_I.boards)
        bus_I.AddBoard(board);
}

std::vector<std::pair<std::string, std::string>> SimDemoFirmwareFiles()
{
    const std::string pen = ToSRecordText(MakeSimApplication(kPenAppAddress, kPenAppLength, kSimDemoVersion, 2));
    const std::string touch = ToSRecordText(MakeSimApplication(kTouchAppAddress, kTouchAppLength, kSimDemoVersion, 4));
    const std::string hex =
        ToIntelHexText(kHexAppAddress, MakeSimApplication(kHexAppAddress, kHexAppLength, kSimDemoVersion, 8).front().data);
    std::string airoha(kAirohaImageSize, '\xFF');
    const auto low = MakeSimApplication(0x0000, 0x3000, kSimDemoVersion, 9).front().data;
    const auto high = MakeSimApplication(0x8000, kAirohaImageSize - 0x8000, 0x0000, 10).front().data;
    std::copy(low.begin(), low.end(), airoha.begin());
    std::copy(high.begin(), high.end(), airoha.begin() + 0x8000);
    return {
        {"basic/basic.pen", pen},
        {"basic/basic.touch", touch},
        {"two-tablets/basic.pen", pen},
        {"two-tablets/basic.touch", touch},
        {"protocol1/protocol1.pen", pen},
        {"protocol1/protocol1.hex", hex},
        {"protocol1/protocol1.airoflash", airoha},
        {"bulk/bulk.pen", pen},
    };
}
