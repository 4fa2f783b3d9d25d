#pragma once
// HID report descriptors for the simulated boards, for when they stand behind a real kernel
// (through uhid) instead of the simulated host: the kernel learns the boards' collections and
// feature reports only from these bytes.

#include <cstdint>
#include <vector>

struct SimFeatureReport
{
    std::uint8_t id = 0;
    std::uint16_t length = 0; // whole report, id included
};

// One top-level application collection on (usagePage, usage) declaring the given feature
// reports (8-bit fields, byte count = length - 1).
std::vector<std::uint8_t> SimVendorCollection(std::uint16_t usagePage_I, std::uint16_t usage_I,
                                              const std::vector<SimFeatureReport>& features_I);

// A pen collection of the digitizer page (usage 0x02) with one input report (tip switch and
// 16-bit X and Y): enough for the kernel's input layer to make an input device of the board,
// which carries the board's version in sysfs.
std::vector<std::uint8_t> SimDigitizerPenCollection(std::uint8_t reportId_I);

// The normal-mode reports of an S-record board (ping, reset, enter loader), the one
// vendor-wrapper report of a board on the vendor page, and the I2C bridge's mode, read and write
// reports (at their longer direction's length).
std::vector<SimFeatureReport> SimNormalModeFeatures();
std::vector<SimFeatureReport> SimVendorWrapperFeatures();
std::vector<SimFeatureReport> SimI2CBridgeFeatures();
