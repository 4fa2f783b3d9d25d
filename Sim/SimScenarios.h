#pragma once
// The simulated tablets, by stable name. Each scenario's topology file and demo firmware live
// in data/scenarios/<name>/; the boards' hardware (block tables, interfaces, device tree) is
// defined here.
//
// Versions: every board keeps its application's version word (little-endian, binary-coded
// decimal) in the first two bytes of its application area, given by SimBoardSpec::versionAddress:
// 0x1000 on the pen boards, 0x0800 on the S-record touch boards, 0x8000 (the image's first bytes)
// on the Intel HEX touch board and 0x0000 on the Airoha bluetooth board. The boards leave the factory
// with version 1.05; the demo firmware files carry 1.10, so an update visibly changes it.

#include "CSimBus.h"

#include <cstdint>
#include <string>
#include <vector>

struct SimScenario
{
    std::string name;
    std::string topologyPath;
    std::vector<SimBoardSpec> boards;
};

std::vector<std::string> SimScenarioNames();

// The scenario's boards and the paths of its files under dataDir_I (the project's data/ folder);
// false for an unknown name.
bool GetSimScenario(const std::string& name_I, const std::string& dataDir_I, SimScenario& scenario_O);

// Puts every board of the scenario on the bus.
void PlugInSimScenario(const SimScenario& scenario_I, CSimBus& bus_I);

constexpr std::uint16_t kSimFactoryVersion = 0x0105;
constexpr std::uint16_t kSimDemoVersion = 0x0110;

// A deterministic application image: `length` bytes at `address`, the version word first.
std::vector<SRecBlock> MakeSimApplication(std::uint32_t address_I, std::uint32_t length_I, std::uint16_t version_I,
                                          std::uint32_t seed_I);

// Intel HEX data records (16 bytes each, 16-bit addresses) and an end record, CRLF line ends.
std::string ToIntelHexText(std::uint32_t address_I, const std::vector<std::uint8_t>& data_I);

// S3 records (32 data bytes each) with a header and an end record, CRLF line ends.
std::string ToSRecordText(const std::vector<SRecBlock>& image_I);

// The demo firmware files of every scenario, by file name relative to data/scenarios/: what the
// committed files must contain.
std::vector<std::pair<std::string, std::string>> SimDemoFirmwareFiles();
